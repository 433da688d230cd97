#include "platform/rtl/IniFiles.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "platform/rtl/SysUtils.h"

namespace platform {

namespace {

// The whole file, or nothing when it is missing or not a regular file (a
// folder or a pipe of that name must not block or fail the reader).
std::optional<std::string> ReadFile(const std::string& fileName) {
  struct stat info;
  if (fileName.empty() || stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return std::nullopt;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  // Editors on other systems often start a UTF-8 file with a byte order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
  return text;
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

struct TLookup {
  bool sectionFound = false;
  std::optional<std::string> value;
};

// Scans the first section named Section; with a Key, also looks for the
// first matching key in it. Lines that are neither a section header, a
// comment nor "name=value" are ignored, as are pairs before any section.
TLookup Lookup(std::string_view text, std::string_view section, const std::string_view* key) {
  const std::string wantedSection = Trim(section);
  const std::string wantedKey = key ? Trim(*key) : std::string();
  TLookup result;
  bool inSection = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = Trim(text.substr(start, end - start));
    start = end + 1;

    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      if (close == std::string::npos) continue;  // malformed header
      if (inSection) break;  // only the first matching section counts
      inSection = SameText(Trim(std::string_view(line).substr(1, close - 1)), wantedSection);
      if (inSection) {
        result.sectionFound = true;
        if (!key) break;
      }
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (SameText(Trim(std::string_view(line).substr(0, equals)), wantedKey)) {
      result.value = Unquote(Trim(std::string_view(line).substr(equals + 1)));
      break;
    }
  }
  return result;
}

}  // namespace

namespace {

std::string Finish(std::optional<std::string> value, std::string_view Default, uint32_t Size) {
  std::string result = value ? std::move(*value) : TrimRight(Default);
  const size_t limit = Size == 0 ? 0 : Size - 1;
  if (result.size() > limit) result.resize(limit);
  return result;
}

}  // namespace

std::string ProfileStringFromText(std::string_view Text, std::string_view Section,
                                  std::string_view Key, std::string_view Default, uint32_t Size) {
  return Finish(Lookup(Text, Section, &Key).value, Default, Size);
}

std::string GetPrivateProfileString(std::string_view Section, std::string_view Key,
                                    std::string_view Default, uint32_t Size,
                                    const std::string& FileName) {
  std::optional<std::string> value;
  if (const auto text = ReadFile(FileName)) value = Lookup(*text, Section, &Key).value;
  return Finish(std::move(value), Default, Size);
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Ident,
                                 std::string_view Default) const {
  return GetPrivateProfileString(Section, Ident, Default, ValueBufferSize, fileName_);
}

int32_t TIniFile::ReadInteger(std::string_view Section, std::string_view Ident,
                              int32_t Default) const {
  int32_t value = Default;
  if (!TryStrToInt(ReadString(Section, Ident, ""), value)) return Default;
  return value;
}

bool TIniFile::SectionExists(std::string_view Section) const {
  const auto text = ReadFile(fileName_);
  return text && Lookup(*text, Section, nullptr).sectionFound;
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
  const auto text = ReadFile(fileName_);
  return text && Lookup(*text, Section, &Ident).value.has_value();
}

}  // namespace platform
