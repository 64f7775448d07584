#include "log/log_categories.h"

namespace tav {
namespace {

constinit LogCategoryTable gCategories;

}  // namespace

int LogCategoryTable::find(std::uint32_t packed) const {
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        if (codes_[slot].load(std::memory_order_acquire) == packed) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

std::uint64_t LogCategoryTable::Register(const char* code) {
    if (code == nullptr || code[0] == '\0') {
        return 0;
    }
    const char second = code[1];
    const char third = second != '\0' ? code[2] : '\0';
    const std::uint32_t packed = pack(code[0], second, third);
    if (const int slot = find(packed); slot >= 0) {
        return std::uint64_t{1} << slot;
    }

    // Claim the next slot without ever moving the index past the table, so
    // that a full table stays full instead of wrapping around.
    std::uint32_t last = lastUsed_.load();
    do {
        if (last + 1 >= kSlots) {
            return 0;
        }
    } while (!lastUsed_.compare_exchange_weak(last, last + 1));
    codes_[last + 1].store(packed, std::memory_order_release);

    // Two threads registering the same new code at once each claim a slot;
    // both answer with the lower one so that they log under the same bit.
    return std::uint64_t{1} << find(packed);
}

void LogCategoryTable::Code(unsigned bit, char (&out)[4]) const {
    const std::uint32_t packed =
        bit < kSlots ? codes_[bit].load(std::memory_order_acquire) : std::uint32_t{0};
    if (packed == 0) {
        out[0] = out[1] = out[2] = '?';
        out[3] = '\0';
        return;
    }
    for (int i = 0; i < 3; ++i) {
        out[i] = static_cast<char>((packed >> (8 * i)) & 0xFF);
    }
    out[3] = '\0';
}

std::size_t LogCategoryTable::Names(std::uint64_t mask, char* buffer, std::size_t size) const {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::size_t length = 0;
    auto put = [&](char c) {
        if (length + 1 < size) {
            buffer[length++] = c;
        }
    };
    bool first = true;
    for (unsigned bit = 0; bit < kSlots; ++bit) {
        if ((mask & (std::uint64_t{1} << bit)) == 0) {
            continue;
        }
        if (!first) {
            put(';');
        }
        first = false;
        char code[4];
        Code(bit, code);
        for (const char* c = code; *c != '\0'; ++c) {
            put(*c);
        }
    }
    buffer[length] = '\0';
    return length;
}

std::uint64_t registerLogCategory(const char* code) {
    return gCategories.Register(code);
}

std::size_t logCategoryNames(std::uint64_t mask, char* buffer, std::size_t size) {
    return gCategories.Names(mask, buffer, size);
}

}  // namespace tav
