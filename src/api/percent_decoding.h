// Percent-decoding of captured path texts and query pieces: "+" is a space,
// "%XY" the byte 0xXY.
#pragma once

#include <string>
#include <string_view>

namespace tav {

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
