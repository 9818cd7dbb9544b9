// Text inside the programs is UTF-8; the Windows API speaks UTF-16 through
// its wide ("W") functions. Every string that crosses that boundary goes
// through these two conversions, so that names in any script (a user name in
// Greek, a folder in Chinese) reach the system unchanged.
//
// Malformed input is not an error: an invalid UTF-8 sequence (a stray
// continuation byte, a truncated or overlong sequence, an encoded surrogate)
// and a lone UTF-16 surrogate each become U+FFFD, the replacement character,
// and the rest of the text is converted as it is. A path with such a
// character names no existing file, so a damaged name fails at the system
// call instead of silently naming another file.
#pragma once

#include <string>
#include <string_view>

namespace brevaro::platform::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace brevaro::platform::win32
