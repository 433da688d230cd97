#include "platform/rtl/IniFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::GetPrivateProfileString;
using platform::TIniFile;

// A settings file with the given bytes, removed at the end of the test.
struct IniFile {
  std::string folder, path;
  explicit IniFile(const std::string& content) {
    std::string pattern = (fs::temp_directory_path() / "pellisto-ini-XXXXXX").string();
    folder = mkdtemp(pattern.data());
    path = folder + "/options.ini";
    std::ofstream(path, std::ios::binary) << content;
  }
  ~IniFile() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

const std::string kLauncherIni =
    "; settings of the launcher\r\n"
    "label=outside any section\r\n"
    "[Other]\r\n"
    "label=wrong section\r\n"
    "  [ KELVANE1 ]  \r\n"
    "  Label  =  Hello world  \r\n"
    "label=second label loses\r\n"
    "labelcolor=\"clRed\"\r\n"
    "buttoncolor='$00FF00'\r\n"
    "quoted=\" keeps inner blanks \"\r\n"
    "mixed=\"abc'\r\n"
    "lonequote=\"\r\n"
    "twice=\"\"x\"\"\r\n"
    "empty=\r\n"
    "this line has no equals sign\r\n"
    "[broken header\r\n"
    ";buttonheight=99\r\n"
    "url = http://example.org/a=b \r\n"
    "[kelvane1]\r\n"
    "image=duplicate section is not searched\r\n"
    "[empty section]\r\n"
    "[tail]\n"
    "last=no final newline";

TEST(IniFiles, LookupRules) {
  IniFile ini(kLauncherIni);
  struct Case { const char* section; const char* key; const char* def; const char* expected; };
  const Case cases[] = {
      {"kelvane1", "label", "Install", "Hello world"},
      {"Kelvane1", "LABEL", "Install", "Hello world"},
      {"kelvane1", "labelcolor", "", "clRed"},
      {"kelvane1", "buttoncolor", "", "$00FF00"},
      {"kelvane1", "quoted", "", " keeps inner blanks "},
      {"kelvane1", "mixed", "", "\"abc'"},
      {"kelvane1", "lonequote", "", "\""},
      {"kelvane1", "twice", "", "\"x\""},
      {"kelvane1", "empty", "dflt", ""},
      {"kelvane1", "buttonheight", "33", "33"},
      {"kelvane1", "url", "", "http://example.org/a=b"},
      {"kelvane1", "image", "", ""},
      {"other", "label", "", "wrong section"},
      {"empty section", "label", "none", "none"},
      {"tail", "last", "", "no final newline"},
      {"missing", "label", "Install", "Install"},
      {"kelvane1", "missing", "trailing blanks go  ", "trailing blanks go"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, c.def, 1024, ini.path), c.expected)
        << "[" << c.section << "] " << c.key;
    EXPECT_EQ(platform::ProfileStringFromText(kLauncherIni, c.section, c.key, c.def, 1024),
              c.expected);
  }
}

TEST(IniFiles, ValuesAreCutToTheBuffer) {
  const std::string longValue(2000, 'v');
  IniFile ini("[s]\nk=" + longValue + "\nq=\"" + longValue + "\"\n");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", 1024, ini.path), std::string(1023, 'v'));
  EXPECT_EQ(GetPrivateProfileString("s", "q", "", 1024, ini.path), std::string(1023, 'v'));
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", 4, ini.path), "vvv");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", 1, ini.path), "");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", 0, ini.path), "");
  EXPECT_EQ(GetPrivateProfileString("s", "none", "default", 4, ini.path), "def");
  EXPECT_EQ(TIniFile(ini.path).ReadString("s", "k", ""), std::string(1023, 'v'));
}

TEST(IniFiles, OddFilesGiveDefaults) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  const std::string contents[] = {
      "",
      junk,
      std::string("[s]\0k=hidden\n", 13),
      "\xEF\xBB\xBF[other]\nk=v",
      "k=v\n[s",
      "[s]\r\r\r=\n=novalue\n",
  };
  for (const std::string& content : contents) {
    IniFile ini(content);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "def", 1024, ini.path), "def");
  }
  IniFile folderNamedIni("");
  fs::remove(folderNamedIni.path);
  fs::create_directory(folderNamedIni.path);
  EXPECT_EQ(GetPrivateProfileString("s", "k", "def", 1024, folderNamedIni.path), "def");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "def", 1024, "/nonexistent/options.ini"), "def");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "def", 1024, ""), "def");
}

TEST(IniFiles, ByteOrderMarkAndLoneCarriageReturns) {
  IniFile ini("\xEF\xBB\xBF[s]\rk=one\rj=two");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", 1024, ini.path), "one");
  EXPECT_EQ(GetPrivateProfileString("s", "j", "", 1024, ini.path), "two");
}

TEST(IniFiles, ReaderObject) {
  IniFile ini("[kelvane1]\nbuttonheight= 50 \nbad=abc\nhex=$10\n[keyless]\n");
  const TIniFile reader(ini.path);
  EXPECT_EQ(reader.FileName(), ini.path);
  EXPECT_EQ(reader.ReadInteger("kelvane1", "buttonheight", 33), 50);
  EXPECT_EQ(reader.ReadInteger("kelvane1", "bad", 33), 33);
  EXPECT_EQ(reader.ReadInteger("kelvane1", "hex", 0), 16);
  EXPECT_EQ(reader.ReadInteger("kelvane1", "missing", -7), -7);
  EXPECT_TRUE(reader.SectionExists("KELVANE1"));
  EXPECT_TRUE(reader.SectionExists("keyless"));
  EXPECT_FALSE(reader.SectionExists("none"));
  EXPECT_TRUE(reader.ValueExists("kelvane1", "bad"));
  EXPECT_FALSE(reader.ValueExists("keyless", "bad"));
  EXPECT_FALSE(TIniFile("/nonexistent.ini").SectionExists("kelvane1"));
}

}  // namespace
