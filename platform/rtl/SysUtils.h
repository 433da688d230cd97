#pragma once
// Small run-time helpers: Windows-style MulDiv, integer parsing as the
// settings file uses it, ASCII case and trimming, file-name parts.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// a * b / c with a 64-bit intermediate, rounded half away from zero;
// -1 when c is 0 or the result does not fit 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The platform family the program runs on. Linux behaves as the NT family;
// tests may pose as another family to reach the code paths kept for it.
inline constexpr int32_t VER_PLATFORM_WIN32s = 0;
inline constexpr int32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr int32_t VER_PLATFORM_WIN32_NT = 2;
inline int32_t Win32Platform = VER_PLATFORM_WIN32_NT;

// Accepts leading blanks, then either "$" and 1 to 8 hex digits (either
// case; 8 digits give the 32-bit pattern, so "$FFFFFFFF" is -1), or an
// optional sign and decimal digits within the 32-bit signed range. Nothing
// may follow.
bool TryStrToInt(std::string_view s, int32_t& value);
// As TryStrToInt; raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(std::string_view s);
std::string IntToStr(int64_t value);

std::string UpperCase(std::string_view s);  // ASCII letters only
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // ASCII, ignoring case
// Remove control characters and blanks (codes up to 32) at the ends.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// File-name parts; "/" separates folders. A dot inside a folder name is not
// an extension.
inline constexpr char PathDelim = '/';
std::string ExtractFilePath(std::string_view fileName);  // folder part ending in "/"
std::string ExtractFileName(std::string_view fileName);  // after the last "/"
std::string ExtractFileExt(std::string_view fileName);   // last "." and after, or ""
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
std::string IncludeTrailingPathDelimiter(std::string_view path);

}  // namespace platform
