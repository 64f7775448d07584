#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "formats/message_pack.h"
#include "text/message.h"

namespace tav {
namespace {

// Every message of the decoder. Positions and sizes print in decimal.
constexpr const char* kInvalidData = "Invalid MessagePack data at position %1.";
// Our own bound: the decoder itself needs no recursion, but everything that
// later copies, walks or destroys the tree does.
constexpr const char* kTooDeep =
    "Invalid MessagePack data at position %1. Nesting exceeds 512 levels.";
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

// Marks a frame whose value has not been read yet. Real counts stay below
// 2^33 (twice the largest pair count), so the sentinel cannot collide.
constexpr std::uint64_t kUnread = std::numeric_limits<std::uint64_t>::max();

// A value being filled. While count is kUnread the frame waits for its lead
// byte; afterwards it is an open container and index walks up to count
// (entries for a map: key and value alternate, so count is twice the pairs,
// which is why both are 64-bit). Telling the two states apart by a flag
// rather than by the target's kind matters when a duplicate map key points
// at a member that already holds a container.
struct Frame {
    BindingValue* target;
    std::uint64_t index;
    std::uint64_t count;
};

class Decoder {
public:
    Decoder(const std::uint8_t* bytes, std::uint32_t length) : bytes_(bytes), length_(length) {}

    BindingResult run(std::uint32_t& position) {
        frames_.reserve(16);
        frames_.push_back({&result_.value, 0, kUnread});
        while (result_.ok && position_ < length_) {
            bool keyMode = false;
            BindingValue* target = selectTarget(keyMode);
            if (target == nullptr && !keyMode) {
                break;  // the first value is complete; what follows is the caller's
            }
            const std::uint8_t lead = bytes_[position_++];
            if (keyMode) {
                readKey(lead);
            } else {
                readValue(lead, *target);
            }
        }
        position = position_;
        return std::move(result_);
    }

private:
    // The value the next lead byte fills: null in key mode (the key belongs
    // to the top frame's map) and null without key mode when nothing is left
    // to fill.
    BindingValue* selectTarget(bool& keyMode) {
        while (!frames_.empty()) {
            Frame& top = frames_.back();
            if (top.count == kUnread) {
                return top.target;
            }
            if (top.index == top.count) {
                frames_.pop_back();
                continue;
            }
            const std::uint64_t index = top.index++;
            BindingValue* child = nullptr;
            if (top.target->kind() == BindingValueKind::Collection) {
                // An array count is 32-bit, so the index fits size_t.
                child = &top.target->element(static_cast<std::size_t>(index));
            } else if (index % 2 == 0) {
                keyMode = true;
                return nullptr;
            } else {
                child = &top.target->member(pendingKey_);
            }
            // Elements and members stay where they are while they are being
            // filled: a collection only grows after its open child is done.
            frames_.push_back({child, 0, kUnread});
            return child;
        }
        return nullptr;
    }

    void readKey(std::uint8_t lead) {
        std::uint32_t size = 0;
        if (lead >= 0xA0 && lead <= 0xBF) {
            size = lead & 0x1Fu;
        } else if (lead == 0xD9 || lead == 0xDA || lead == 0xDB) {
            if (!readLength(lead == 0xD9 ? 1 : lead == 0xDA ? 2 : 4, size)) {
                return;
            }
        } else {
            fail(makeMessage(kKeyNotString, position_));
            return;
        }
        const std::uint8_t* text = nullptr;
        if (readPayload(size, kStringTruncated, text)) {
            // The input outlives the decoding, so the key is not copied.
            pendingKey_ = std::string_view(reinterpret_cast<const char*>(text), size);
        }
    }

    void readValue(std::uint8_t lead, BindingValue& target) {
        if (lead <= 0x7F) {
            target.setInt64(lead);
        } else if (lead <= 0x8F) {
            openMap(target, lead & 0x0Fu);
            return;
        } else if (lead <= 0x9F) {
            openArray(target, lead & 0x0Fu);
            return;
        } else if (lead <= 0xBF) {
            if (!readString(target, lead & 0x1Fu)) {
                return;
            }
        } else if (lead >= 0xE0) {
            target.setInt64(static_cast<std::int8_t>(lead));
        } else if (!readTyped(lead, target)) {
            return;
        }
        frames_.pop_back();
    }

    // The lead bytes 0xC0 to 0xDF. Returns true when a scalar was read;
    // containers leave their frame open and return false, as do failures.
    bool readTyped(std::uint8_t lead, BindingValue& target) {
        std::uint64_t field = 0;
        std::uint32_t size = 0;
        switch (lead) {
            case 0xC0:
                // A fresh target is already empty; a duplicate map key's
                // member takes the later value.
                target.reset();
                return true;
            case 0xC2:
            case 0xC3:
                target.setBool(lead == 0xC3);
                return true;
            case 0xC4:
            case 0xC5:
            case 0xC6:
                return readLength(lead == 0xC4   ? 1
                                  : lead == 0xC5 ? 2
                                                 : 4,
                                  size) &&
                       readBlob(target, size);
            case 0xCA:
                if (!readField(4, field)) {
                    return false;
                }
                target.setDouble(std::bit_cast<float>(static_cast<std::uint32_t>(field)));
                return true;
            case 0xCB:
                if (!readField(8, field)) {
                    return false;
                }
                target.setDouble(std::bit_cast<double>(field));
                return true;
            case 0xCC:
            case 0xCD:
            case 0xCE:
            case 0xCF:
                if (!readField(1u << (lead - 0xCC), field)) {
                    return false;
                }
                target.setUInt64(field);
                return true;
            case 0xD0:
            case 0xD1:
            case 0xD2:
            case 0xD3: {
                const unsigned width = 1u << (lead - 0xD0);
                if (!readField(width, field)) {
                    return false;
                }
                // Sign-extend from the field's top bit.
                const unsigned shift = 64 - 8 * width;
                target.setInt64(static_cast<std::int64_t>(field << shift) >> shift);
                return true;
            }
            case 0xD9:
            case 0xDA:
            case 0xDB:
                return readLength(lead == 0xD9   ? 1
                                  : lead == 0xDA ? 2
                                                 : 4,
                                  size) &&
                       readString(target, size);
            case 0xDC:
            case 0xDD:
                if (readLength(lead == 0xDC ? 2 : 4, size)) {
                    openArray(target, size);
                }
                return false;
            case 0xDE:
            case 0xDF:
                if (readLength(lead == 0xDE ? 2 : 4, size)) {
                    openMap(target, size);
                }
                return false;
            default:  // 0xC1, ext and fixext
                fail(makeMessage(kInvalidData, position_));
                return false;
        }
    }

    // The frame of the container being opened is the top one, so the number
    // of frames is its depth.
    bool withinDepth() {
        if (frames_.size() > kMessagePackMaxDepth) {
            fail(makeMessage(kTooDeep, position_));
            return false;
        }
        return true;
    }

    void openMap(BindingValue& target, std::uint32_t pairs) {
        if (!withinDepth()) {
            return;
        }
        target.makeStructure();  // a duplicate key's structure keeps its members
        Frame& frame = frames_.back();
        frame.index = 0;
        frame.count = std::uint64_t{pairs} * 2;
    }

    void openArray(BindingValue& target, std::uint32_t count) {
        if (!withinDepth()) {
            return;
        }
        target.makeCollection();  // a duplicate key's collection is overwritten from 0
        // Storage grows as elements arrive: an announced count costs nothing
        // until its elements are actually present. Small arrays get exact room.
        target.reserve(std::min<std::uint32_t>(count, 4));
        Frame& frame = frames_.back();
        frame.index = 0;
        frame.count = count;
    }

    bool readString(BindingValue& target, std::uint32_t size) {
        const std::uint8_t* text = nullptr;
        if (!readPayload(size, kStringTruncated, text)) {
            return false;
        }
        target.setString(std::string_view(reinterpret_cast<const char*>(text), size));
        return true;
    }

    bool readBlob(BindingValue& target, std::uint32_t size) {
        const std::uint8_t* bytes = nullptr;
        if (!readPayload(size, kBytesTruncated, bytes)) {
            return false;
        }
        target.setBlob(std::span<const std::uint8_t>(bytes, size));
        return true;
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
        frames_.clear();
        result_.fail(message);
    }

    const std::uint8_t* bytes_;
    std::uint32_t length_;
    std::uint32_t position_ = 0;
    BindingResult result_;
    std::vector<Frame> frames_;
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
