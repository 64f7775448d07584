// Host value records built from the input (bounded counts and depth, null
// texts, keys and empty arrays without a pointer, tags outside 0 to 10) are
// read into a tree; a tree that reads becomes a record of our own, which
// must read back to the same tree.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include <tav/plugin_abi.h>

#include "binding/host_value.h"
#include "formats/json.h"
#include "fuzz_check.h"

namespace {

constexpr int kMaxDepth = 6;
constexpr std::uint8_t kMaxCount = 5;
constexpr std::uint8_t kNullText = 15;  // a text length byte of 15 means a null text

// Builds a record from the input, one byte deciding each choice (zero when
// the input has run out); everything the record points at lives here.
class Builder {
public:
    Builder(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    TavHostValue value(int depth) {
        TavHostValue v{};
        const std::uint8_t op = byte();
        // Mostly the eleven tags, sometimes one beyond them.
        v.tag = op < 0xF0 ? op % 11u : op;
        switch (v.tag) {
            case TAV_HOST_BOOL:
                v.payload.boolean = byte();
                break;
            case TAV_HOST_SIGNED:
            case TAV_HOST_UNSIGNED:
            case TAV_HOST_FLOAT: {
                std::uint8_t bytes[8];
                for (std::uint8_t& b : bytes) {
                    b = byte();
                }
                std::memcpy(&v.payload.unsignedValue, bytes, sizeof bytes);
                break;
            }
            case TAV_HOST_STRING:
            case TAV_HOST_STRING_ALT:
                v.payload.text = text();
                break;
            case TAV_HOST_BLOB:
            case TAV_HOST_BLOB_ALT: {
                const std::string* bytes = bytesOfLength(byte() % 16u);
                v.payload.blob.count = static_cast<std::uint32_t>(bytes->size());
                v.payload.blob.bytes = bytes->empty() && (byte() & 1) != 0
                                           ? nullptr
                                           : reinterpret_cast<const std::uint8_t*>(bytes->data());
                break;
            }
            case TAV_HOST_ARRAY: {
                const std::uint32_t count = depth < kMaxDepth ? byte() % (kMaxCount + 1u) : 0;
                auto elements = std::make_unique<TavHostValue[]>(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    elements[i] = value(depth + 1);
                }
                v.payload.array.count = count;
                v.payload.array.elements = count != 0 ? elements.get() : nullptr;
                arrays_.push_back(std::move(elements));
                break;
            }
            case TAV_HOST_OBJECT: {
                const std::uint32_t count = depth < kMaxDepth ? byte() % (kMaxCount + 1u) : 0;
                auto entries = std::make_unique<TavHostEntry[]>(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    entries[i].key = text();
                    entries[i].value = value(depth + 1);
                    entries[i].flag = byte();
                }
                v.payload.object.count = count;
                v.payload.object.entries = count != 0 ? entries.get() : nullptr;
                entries_.push_back(std::move(entries));
                break;
            }
            default:
                break;
        }
        return v;
    }

private:
    std::uint8_t byte() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }

    const std::string* bytesOfLength(std::size_t length) {
        std::string& bytes = texts_.emplace_back();
        for (std::size_t i = 0; i < length; ++i) {
            bytes.push_back(static_cast<char>(byte()));
        }
        return &bytes;
    }

    // A zero-terminated text (a zero byte from the input ends it early).
    const char* text() {
        const std::uint8_t length = byte() % 16u;
        return length == kNullText ? nullptr : bytesOfLength(length)->c_str();
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::deque<std::string> texts_;
    std::deque<std::unique_ptr<TavHostValue[]>> arrays_;
    std::deque<std::unique_ptr<TavHostEntry[]>> entries_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Builder builder(data, size);
    const TavHostValue root = builder.value(0);

    tav::BindingErrorSink sink;
    tav::BindingValue value;
    if (!tav::hostToValue(sink, value, root, "<input>")) {
        tav::fuzz::check(sink.error && !sink.message.empty(), "a failure carries a message");
        return 0;
    }
    tav::HostValueRecord record;
    tav::fuzz::check(tav::valueToHost(nullptr, record, value), "a tree that read builds a record");
    tav::BindingErrorSink again;
    tav::BindingValue back;
    tav::fuzz::check(tav::hostToValue(again, back, record.root(), "<record>"), "our record reads");
    // Compared as JSON, where NaN prints as null and so equals itself.
    tav::fuzz::check(tav::writeJson(back) == tav::writeJson(value), "our record reads the same");

    const TavHostValue released = record.release();
    tav::freeHostValue(released);
    return 0;
}
