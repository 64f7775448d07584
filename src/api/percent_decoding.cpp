#include "api/percent_decoding.h"

namespace tav {

void appendPercentDecoded(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c != '%') {
            out += c;
        } else if (i + 2 < text.size()) {
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) {
                // Not an escape: keeping it literally loses nothing, where
                // reading the digits anyway would invent a byte.
                out += c;
            } else {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
            }
        }
        // A "%" with fewer than two characters after it is dropped.
    }
}

}  // namespace tav
