#pragma once
// Reading settings files: the profile-string lookup and a small reader
// object on top of it. Reading never raises; odd content yields defaults.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/Object.h"

namespace platform {

// The value of Key in Section of FileName, or Default (without its trailing
// blanks) when the file, section or key is missing. Section and key names
// ignore ASCII letter case; the first matching section is the one searched
// and its first matching key wins. Blanks around names and values are
// trimmed and one pair of enclosing quotes (double or single) is removed.
// The result is cut to Size - 1 characters, as a buffer of Size characters
// with its terminating zero would hold it.
std::string GetPrivateProfileString(std::string_view Section, std::string_view Key,
                                    std::string_view Default, uint32_t Size,
                                    const std::string& FileName);

// The same lookup on settings text already in memory.
std::string ProfileStringFromText(std::string_view Text, std::string_view Section,
                                  std::string_view Key, std::string_view Default, uint32_t Size);

class TIniFile : public TObject {
public:
  const char* ClassName() const noexcept override { return "TIniFile"; }

  // Values longer than this minus one are cut.
  static constexpr uint32_t ValueBufferSize = 1024;

  explicit TIniFile(std::string FileName) : fileName_(std::move(FileName)) {}
  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view Section, std::string_view Ident,
                         std::string_view Default) const;
  // The value as an integer (integer parsing rules of TryStrToInt), or
  // Default when it is missing or not an integer.
  int32_t ReadInteger(std::string_view Section, std::string_view Ident, int32_t Default) const;
  bool SectionExists(std::string_view Section) const;
  bool ValueExists(std::string_view Section, std::string_view Ident) const;

private:
  std::string fileName_;
};

}  // namespace platform
