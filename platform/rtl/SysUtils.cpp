#include "platform/rtl/SysUtils.h"

#include <cstdlib>
#include <limits>

#include "platform/rtl/Exceptions.h"

namespace platform {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  int64_t quotient = product / c;
  const int64_t remainder = product % c;
  if (2 * std::llabs(remainder) >= std::llabs(static_cast<int64_t>(c)))
    quotient += ((product < 0) != (c < 0)) ? -1 : 1;
  if (quotient > std::numeric_limits<int32_t>::max() ||
      quotient < std::numeric_limits<int32_t>::min())
    return -1;
  return static_cast<int32_t>(quotient);
}

namespace {

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

char ToUpper(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch; }
char ToLower(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch; }

// Position of the extension's dot in the name part, or npos.
size_t ExtensionDot(std::string_view fileName) {
  const size_t dot = fileName.find_last_of("./");
  if (dot == std::string_view::npos || fileName[dot] != '.') return std::string_view::npos;
  return dot;
}

}  // namespace

bool TryStrToInt(std::string_view s, int32_t& value) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i == s.size()) return false;

  if (s[i] == '$') {
    ++i;
    const size_t digits = s.size() - i;
    if (digits < 1 || digits > 8) return false;
    uint32_t result = 0;
    for (; i < s.size(); ++i) {
      const int digit = HexDigit(s[i]);
      if (digit < 0) return false;
      result = (result << 4) | static_cast<uint32_t>(digit);
    }
    value = static_cast<int32_t>(result);
    return true;
  }

  bool negative = false;
  if (s[i] == '+' || s[i] == '-') {
    negative = s[i] == '-';
    ++i;
  }
  if (i == s.size()) return false;
  // Accumulate the magnitude; the limit allows exactly -2147483648.
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    magnitude = magnitude * 10 + (s[i] - '0');
    if (magnitude > limit) return false;
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t value = 0;
  if (!TryStrToInt(s, value)) {
    const std::string text(s);
    throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
  }
  return value;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string UpperCase(std::string_view s) {
  std::string result(s);
  for (char& ch : result) ch = ToUpper(ch);
  return result;
}

std::string LowerCase(std::string_view s) {
  std::string result(s);
  for (char& ch : result) ch = ToLower(ch);
  return result;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  return true;
}

std::string TrimLeft(std::string_view s) {
  size_t first = 0;
  while (first < s.size() && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  return std::string(s.substr(first));
}

std::string TrimRight(std::string_view s) {
  size_t last = s.size();
  while (last > 0 && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return std::string(s.substr(0, last));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string ExtractFilePath(std::string_view fileName) {
  const size_t slash = fileName.rfind(PathDelim);
  return slash == std::string_view::npos ? std::string() : std::string(fileName.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view fileName) {
  const size_t slash = fileName.rfind(PathDelim);
  return std::string(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

std::string ExtractFileExt(std::string_view fileName) {
  const size_t dot = ExtensionDot(fileName);
  return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  const size_t dot = ExtensionDot(fileName);
  std::string result(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
  result += extension;
  return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != PathDelim) result += PathDelim;
  return result;
}

}  // namespace platform
