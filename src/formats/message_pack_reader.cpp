#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "formats/message_pack.h"
#include "formats/nesting_stack.h"
#include "formats/value_tree_sink.h"
#include "text/message.h"

namespace tav {
namespace {

// Every message of the decoder. Positions and sizes print in decimal.
constexpr const char* kInvalidData = "Invalid MessagePack data at position %1.";
// The decoder itself needs no recursion, but everything that later copies,
// walks or destroys the tree does. %1 is the bound.
constexpr const char* kTooDeep =
    "Invalid MessagePack data at position %2. Nesting exceeds %1 levels.";
constexpr const char* kKeyNotString =
    "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr const char* kTruncated8 =
    "Invalid MessagePack data. 8-bit integer value at position %1 is truncated.";
constexpr const char* kTruncated16 =
    "Invalid MessagePack data. 16-bit integer value at position %1 is truncated.";
constexpr const char* kTruncated32 =
    "Invalid MessagePack data. 32-bit integer value at position %1 is truncated.";
constexpr const char* kTruncated64 =
    "Invalid MessagePack data. 64-bit integer value at position %1 is truncated.";
constexpr const char* kStringTruncated =
    "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
constexpr const char* kBytesTruncated =
    "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";

// Reads lead bytes and hands each value to the tree sink. The format has no
// end markers: the entries left in each open container tell when it is
// complete.
class Decoder {
public:
    Decoder(const std::uint8_t* bytes, std::uint32_t length)
        : bytes_(bytes),
          length_(length),
          sink_(result_.value, ElementStaging::Off, KeyPrediction::On) {}

    BindingResult run(std::uint32_t& position) {
        if (position_ < length_) {
            readValue(bytes_[position_++]);  // the root
        }
        while (result_.ok && position_ < length_) {
            while (!left_.empty() && left_.back() == 0) {
                left_.pop_back();
                sink_.close();
            }
            if (left_.empty()) {
                break;  // the first value is complete; what follows is the caller's
            }
            --left_.back();
            if (sink_.inStructure()) {
                // A map entry: its key, then (when the input goes on) its value.
                if (!readKey(bytes_[position_++]) || position_ == length_) {
                    break;
                }
                sink_.key(pendingKey_);
            }
            readValue(bytes_[position_++]);
        }
        position = position_;
        sink_.finish();
        return std::move(result_);
    }

private:
    // False after a failure.
    bool readKey(std::uint8_t lead) {
        std::uint32_t size = 0;
        if ((lead & 0xE0u) == 0xA0u) {
            size = lead & 0x1Fu;
        } else if (lead == 0xD9 || lead == 0xDA || lead == 0xDB) {
            if (!readLength(lead == 0xD9 ? 1 : lead == 0xDA ? 2 : 4, size)) {
                return false;
            }
        } else {
            fail(makeMessage(kKeyNotString, position_));
            return false;
        }
        const std::uint8_t* text = nullptr;
        if (!readPayload(size, kStringTruncated, text)) {
            return false;
        }
        // The input outlives the decoding, so the key is not copied.
        pendingKey_ = std::string_view(reinterpret_cast<const char*>(text), size);
        return true;
    }

    void readValue(std::uint8_t lead) {
        if (lead <= 0x7F) {
            sink_.slot().setInt64(lead);
        } else if (lead <= 0x8F) {
            openMap(lead & 0x0Fu);
        } else if (lead <= 0x9F) {
            openArray(lead & 0x0Fu);
        } else if (lead <= 0xBF) {
            readString(lead & 0x1Fu);
        } else if (lead >= 0xE0) {
            sink_.slot().setInt64(static_cast<std::int8_t>(lead));
        } else {
            readTyped(lead);
        }
    }

    // The lead bytes 0xC0 to 0xDF.
    void readTyped(std::uint8_t lead) {
        std::uint64_t field = 0;
        std::uint32_t size = 0;
        switch (lead) {
            case 0xC0:
                // The slot stays as it is: empty when fresh, the earlier
                // value for a repeated map key.
                sink_.slot();
                return;
            case 0xC2:
            case 0xC3:
                sink_.slot().setBool(lead == 0xC3);
                return;
            case 0xC4:
            case 0xC5:
            case 0xC6:
                if (readLength(lead == 0xC4 ? 1 : lead == 0xC5 ? 2 : 4, size)) {
                    readBlob(size);
                }
                return;
            case 0xCA:
                if (readField(4, field)) {
                    sink_.slot().setDouble(std::bit_cast<float>(static_cast<std::uint32_t>(field)));
                }
                return;
            case 0xCB:
                if (readField(8, field)) {
                    sink_.slot().setDouble(std::bit_cast<double>(field));
                }
                return;
            case 0xCC:
            case 0xCD:
            case 0xCE:
            case 0xCF:
                if (readField(1u << (lead - 0xCC), field)) {
                    sink_.slot().setUInt64(field);
                }
                return;
            case 0xD0:
            case 0xD1:
            case 0xD2:
            case 0xD3: {
                const unsigned width = 1u << (lead - 0xD0);
                if (readField(width, field)) {
                    // Sign-extend from the field's top bit.
                    const unsigned shift = 64 - 8 * width;
                    sink_.slot().setInt64(static_cast<std::int64_t>(field << shift) >> shift);
                }
                return;
            }
            case 0xD9:
            case 0xDA:
            case 0xDB:
                if (readLength(lead == 0xD9 ? 1 : lead == 0xDA ? 2 : 4, size)) {
                    readString(size);
                }
                return;
            case 0xDC:
            case 0xDD:
                if (readLength(lead == 0xDC ? 2 : 4, size)) {
                    openArray(size);
                }
                return;
            case 0xDE:
            case 0xDF:
                if (readLength(lead == 0xDE ? 2 : 4, size)) {
                    openMap(size);
                }
                return;
            default:  // 0xC1, ext and fixext
                fail(makeMessage(kInvalidData, position_));
                return;
        }
    }

    void openMap(std::uint32_t pairs) {
        // A repeated key's structure keeps its members.
        if (sink_.openStructure() == nullptr) {
            fail(ValueTreeSink::depthMessage(kTooDeep, position_));
            return;
        }
        left_.push_back(pairs);
    }

    void openArray(std::uint32_t count) {
        // A repeated key's collection is overwritten from index 0.
        BindingValue* array = sink_.openCollection(ReopenedCollection::Overwrite);
        if (array == nullptr) {
            fail(ValueTreeSink::depthMessage(kTooDeep, position_));
            return;
        }
        // Storage grows as elements arrive: an announced count costs nothing
        // until its elements are actually present, even through every level
        // of nesting. Small arrays, the common ones, get exact room at once
        // rather than a reallocation per element.
        constexpr std::uint32_t kExactRoom = 16;
        array->reserve(std::min({count, length_ - position_, kExactRoom}));
        left_.push_back(count);
    }

    void readString(std::uint32_t size) {
        const std::uint8_t* text = nullptr;
        if (readPayload(size, kStringTruncated, text)) {
            sink_.slot().setString(std::string_view(reinterpret_cast<const char*>(text), size));
        }
    }

    void readBlob(std::uint32_t size) {
        const std::uint8_t* bytes = nullptr;
        if (readPayload(size, kBytesTruncated, bytes)) {
            sink_.slot().setBlob(std::span<const std::uint8_t>(bytes, size));
        }
    }

    // A big-endian field of width 1, 2, 4 or 8 bytes.
    bool readField(unsigned width, std::uint64_t& out) {
        if (length_ - position_ < width) {
            const char* message = width == 1   ? kTruncated8
                                  : width == 2 ? kTruncated16
                                  : width == 4 ? kTruncated32
                                               : kTruncated64;
            fail(makeMessage(message, position_));
            return false;
        }
        out = 0;
        for (unsigned i = 0; i < width; ++i) {
            out = (out << 8) | bytes_[position_ + i];
        }
        position_ += width;
        return true;
    }

    bool readLength(unsigned width, std::uint32_t& out) {
        std::uint64_t field = 0;
        if (!readField(width, field)) {
            return false;
        }
        out = static_cast<std::uint32_t>(field);
        return true;
    }

    bool readPayload(std::uint32_t size, const char* message, const std::uint8_t*& out) {
        if (size > length_ - position_) {
            fail(makeMessage(message, size, position_));
            return false;
        }
        out = bytes_ + position_;
        position_ += size;
        return true;
    }

    void fail(const std::string& message) {
        sink_.finish();
        result_.fail(message);
    }

    const std::uint8_t* bytes_;
    std::uint32_t length_;
    std::uint32_t position_ = 0;
    BindingResult result_;
    ValueTreeSink sink_;
    // Elements or key-value pairs still to come in each open container,
    // innermost last.
    NestingStack<std::uint32_t> left_;
    std::string_view pendingKey_;  // the last key read; used by the next value
};

}  // namespace

BindingResult readMessagePack(const std::uint8_t* bytes, std::uint32_t length,
                              std::uint32_t& position) {
    if (bytes == nullptr) {
        length = 0;
    }
    return Decoder(bytes, length).run(position);
}

BindingResult readMessagePack(std::span<const std::uint8_t> bytes, std::uint32_t& position) {
    const std::size_t length =
        std::min<std::size_t>(bytes.size(), std::numeric_limits<std::uint32_t>::max());
    return readMessagePack(bytes.data(), static_cast<std::uint32_t>(length), position);
}

}  // namespace tav
