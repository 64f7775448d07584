#include "binding/host_value.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "binding/conversion_messages.h"
#include "binding/shape_predictor.h"
#include "binding/type_registry.h"
#include "diag/allocation.h"
#include "text/message.h"

namespace tav {
namespace {

// Host records come from another module: deeper nesting than any real answer
// is refused rather than allowed to exhaust the stack.
constexpr int kMaxHostDepth = 512;

const char* hostTagKindName(std::uint32_t tag) {
    static constexpr BindingValueKind kKinds[] = {
        BindingValueKind::Empty,      BindingValueKind::Bool,      BindingValueKind::Signed,
        BindingValueKind::Unsigned,   BindingValueKind::Float,     BindingValueKind::String,
        BindingValueKind::String,     BindingValueKind::Blob,      BindingValueKind::Blob,
        BindingValueKind::Collection, BindingValueKind::Structure,
    };
    return tag < std::size(kKinds) ? BindingValue::kindName(kKinds[tag]) : "";
}

// level counts the nesting from 1 for the outermost value: the records of a
// list take their keys and trees from the record before them.
bool readHost(BindingErrorSink& sink, BindingValue& target, const TavHostValue& host,
              std::string_view name, int depth, detail::ShapePredictor& shapes, std::size_t level) {
    if (depth > kMaxHostDepth) {
        sink.message = makeMessage(messages::kHostTooDeep, name);
        sink.error = true;
        return false;
    }
    const auto& p = host.payload;
    switch (host.tag) {
        case TAV_HOST_EMPTY:
            target.reset();
            return true;
        case TAV_HOST_BOOL:
            target.setBool(p.boolean != 0);
            return true;
        case TAV_HOST_SIGNED:
            target.setInt64(p.signedValue);
            return true;
        case TAV_HOST_UNSIGNED:
            target.setUInt64(p.unsignedValue);
            return true;
        case TAV_HOST_FLOAT:
            target.setDouble(p.floatValue);
            return true;
        case TAV_HOST_STRING:
        case TAV_HOST_STRING_ALT:
            target.setString(p.text);  // null reads as the empty text
            return true;
        case TAV_HOST_BLOB:
        case TAV_HOST_BLOB_ALT:
            target.setBlob(p.blob.bytes != nullptr
                               ? std::span<const std::uint8_t>(p.blob.bytes, p.blob.count)
                               : std::span<const std::uint8_t>());
            return true;
        case TAV_HOST_ARRAY: {
            target.makeCollection();
            const std::uint32_t count = p.array.elements != nullptr ? p.array.count : 0;
            if (count > BindingValue::kMaxElements) {
                sink.message = makeMessage(messages::kHostTooLarge, name);
                sink.error = true;
                return false;
            }
            // The count comes from another module: room grows with the
            // elements actually read, not with the announcement.
            target.reserve(std::min<std::uint32_t>(count, 1024));
            for (std::uint32_t i = 0; i < count; ++i) {
                if (!readHost(sink, target.append(), p.array.elements[i], name, depth + 1, shapes,
                              level + 1)) {
                    return false;
                }
            }
            return true;
        }
        case TAV_HOST_OBJECT: {
            target.makeStructure();
            const std::uint32_t count = p.object.entries != nullptr ? p.object.count : 0;
            // Predicted members join the tree when the structure closes,
            // whichever way it is left.
            shapes.open(target, level);
            bool read = true;
            try {
                for (std::uint32_t i = 0; i < count && read; ++i) {
                    const TavHostEntry& entry = p.object.entries[i];
                    const char* key = entry.key != nullptr ? entry.key : "";
                    read = readHost(sink, shapes.key(target, key, level), entry.value, name,
                                    depth + 1, shapes, level + 1);
                }
            } catch (...) {
                shapes.close(level);
                throw;
            }
            shapes.close(level);
            return read;
        }
        default:
            sink.message =
                makeMessage(messages::kHostIncompatibleType, name, hostTagKindName(host.tag));
            sink.error = true;
            return false;
    }
}

// Two passes over the value: the first measures the records and the bytes
// the second writes, so the whole record takes a single allocation.
class HostWriter {
public:
    explicit HostWriter(const BindingTypeRegistry* registry) : registry_(registry) {}

    bool measure(const BindingValue& value) {
        switch (value.kind()) {
            case BindingValueKind::String:
                return addBytes(value.size() + 1);
            case BindingValueKind::Blob:
                return fitsCount(value.size()) && addBytes(value.size());
            case BindingValueKind::Enum:
                if (const auto name = enumName(value.asEnum())) {
                    return addBytes(name->size() + 1);
                }
                return true;
            case BindingValueKind::Collection:
                if (!fitsCount(value.size()) || !addRecords(value.size() * sizeof(TavHostValue))) {
                    return false;
                }
                for (const BindingValue& element : value.elements()) {
                    if (!measure(element)) {
                        return false;
                    }
                }
                return true;
            case BindingValueKind::Structure:
                if (!fitsCount(value.size()) || !addRecords(value.size() * sizeof(TavHostEntry))) {
                    return false;
                }
                for (const BindingMember& member : value.members()) {
                    if (!addBytes(member.key().size() + 1) || !measure(member.value())) {
                        return false;
                    }
                }
                return true;
            default:
                return true;
        }
    }

    std::size_t total() const { return records_ + bytes_; }

    void write(unsigned char* block, TavHostValue& root, const BindingValue& value) {
        recordCursor_ = block;
        byteCursor_ = block + records_;
        fill(root, value);
    }

private:
    static bool fitsCount(std::size_t count) {
        return count <= std::numeric_limits<std::uint32_t>::max();
    }

    bool add(std::size_t& total, std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() - records_ - bytes_) {
            return false;
        }
        total += n;
        return true;
    }
    bool addBytes(std::size_t n) { return add(bytes_, n); }
    bool addRecords(std::size_t n) { return add(records_, n); }

    std::optional<std::string_view> enumName(const BindingEnumValue& e) const {
        if (registry_ == nullptr || e.type == nullptr) {
            return std::nullopt;
        }
        return registry_->enumName(*e.type, e.number);
    }

    const char* copyText(std::string_view text) {
        char* out = reinterpret_cast<char*>(byteCursor_);
        if (!text.empty()) {
            std::memcpy(out, text.data(), text.size());
        }
        out[text.size()] = '\0';
        byteCursor_ += text.size() + 1;
        return out;
    }

    template <class Record>
    Record* takeRecords(std::size_t count) {
        // Packed records: byte alignment is all they need.
        auto* records = reinterpret_cast<Record*>(recordCursor_);
        recordCursor_ += count * sizeof(Record);
        return records;
    }

    void fill(TavHostValue& out, const BindingValue& value) {
        std::memset(&out, 0, sizeof out);
        auto& p = out.payload;
        switch (value.kind()) {
            case BindingValueKind::Empty:
                out.tag = TAV_HOST_EMPTY;
                break;
            case BindingValueKind::Bool:
                out.tag = TAV_HOST_BOOL;
                p.boolean = value.asBool() ? 1 : 0;
                break;
            case BindingValueKind::Signed:
                out.tag = TAV_HOST_SIGNED;
                p.signedValue = value.asInt64();
                break;
            case BindingValueKind::Unsigned:
                out.tag = TAV_HOST_UNSIGNED;
                p.unsignedValue = value.asUInt64();
                break;
            case BindingValueKind::Float:
                out.tag = TAV_HOST_FLOAT;
                p.floatValue = value.asDouble();
                break;
            case BindingValueKind::String:
                out.tag = TAV_HOST_STRING;
                p.text = copyText(value.asString());
                break;
            case BindingValueKind::Blob: {
                const auto bytes = value.asBlob();
                out.tag = TAV_HOST_BLOB;
                if (!bytes.empty()) {
                    std::memcpy(byteCursor_, bytes.data(), bytes.size());
                }
                p.blob.bytes = byteCursor_;
                p.blob.count = static_cast<std::uint32_t>(bytes.size());
                byteCursor_ += bytes.size();
                break;
            }
            case BindingValueKind::Enum: {
                const BindingEnumValue e = value.asEnum();
                if (const auto name = enumName(e)) {
                    out.tag = TAV_HOST_STRING;
                    p.text = copyText(*name);
                } else {
                    out.tag = TAV_HOST_SIGNED;
                    p.signedValue = e.number;
                }
                break;
            }
            case BindingValueKind::Collection: {
                const auto elements = value.elements();
                TavHostValue* records = takeRecords<TavHostValue>(elements.size());
                for (std::size_t i = 0; i < elements.size(); ++i) {
                    fill(records[i], elements[i]);
                }
                out.tag = TAV_HOST_ARRAY;
                p.array.elements = records;
                p.array.count = static_cast<std::uint32_t>(elements.size());
                break;
            }
            case BindingValueKind::Structure: {
                TavHostEntry* entries = takeRecords<TavHostEntry>(value.size());
                std::size_t i = 0;
                for (const BindingMember& member : value.members()) {
                    TavHostEntry& entry = entries[i++];
                    entry.key = copyText(member.key());
                    fill(entry.value, member.value());
                    entry.flag = 1;
                }
                out.tag = TAV_HOST_OBJECT;
                p.object.entries = entries;
                p.object.count = static_cast<std::uint32_t>(value.size());
                break;
            }
        }
    }

    const BindingTypeRegistry* registry_;
    std::size_t records_ = 0;
    std::size_t bytes_ = 0;
    unsigned char* recordCursor_ = nullptr;
    unsigned char* byteCursor_ = nullptr;
};

}  // namespace

bool hostToValue(BindingErrorSink& sink, BindingValue& target, const TavHostValue& host,
                 std::string_view name, int depth) {
    detail::ShapePredictor shapes;
    return readHost(sink, target, host, name, depth, shapes, 1);
}

void HostValueRecord::Free::operator()(unsigned char* block) const noexcept {
    diag::deallocate(block);
}

TavHostValue HostValueRecord::release() noexcept {
    const TavHostValue root = root_;
    // The block is reached again through root's payload (freeHostValue).
    [[maybe_unused]] unsigned char* const block = storage_.release();
    root_ = TavHostValue{};
    size_ = 0;
    return root;
}

void freeHostValue(const TavHostValue& root) noexcept {
    // The writer lays the root's own records or bytes first in the block.
    const void* block = nullptr;
    switch (root.tag) {
        case TAV_HOST_STRING:
        case TAV_HOST_STRING_ALT:
            block = root.payload.text;
            break;
        case TAV_HOST_BLOB:
        case TAV_HOST_BLOB_ALT:
            block = root.payload.blob.bytes;
            break;
        case TAV_HOST_ARRAY:
            block = root.payload.array.elements;
            break;
        case TAV_HOST_OBJECT:
            block = root.payload.object.entries;
            break;
        default:
            break;
    }
    diag::deallocate(const_cast<void*>(block));
}

bool valueToHost(const BindingTypeRegistry* registry, HostValueRecord& out,
                 const BindingValue& value) {
    out = HostValueRecord();
    HostWriter writer(registry);
    if (!writer.measure(value)) {
        return false;
    }
    if (writer.total() != 0) {
        auto* block = static_cast<unsigned char*>(diag::allocate(writer.total()));
        if (block == nullptr) {
            diag::throwBadAlloc();
        }
        out.storage_.reset(block);
        out.size_ = writer.total();
    }
    writer.write(out.storage_.get(), out.root_, value);
    return true;
}

}  // namespace tav
