// Percent-decoding of captured path texts and query pieces: "+" is a space,
// "%XY" the byte 0xXY.
#pragma once

#include <string>
#include <string_view>

namespace tav {

// The value of a hexadecimal digit, or -1.
inline int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Appends the decoded text to out. A "%" among the last two characters is
// dropped (the characters after it are copied); a "%" whose two characters
// are not both hexadecimal digits is kept literally with them.
void appendPercentDecoded(std::string& out, std::string_view text);

inline std::string percentDecode(std::string_view text) {
    std::string out;
    appendPercentDecoded(out, text);
    return out;
}

}  // namespace tav
