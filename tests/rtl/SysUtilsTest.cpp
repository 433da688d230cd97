#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/rtl/Exceptions.h"

namespace {

using namespace platform;

TEST(SysUtils, MulDivRoundsHalfAwayFromZeroAndFlagsFailures) {
  struct Case { int32_t a, b, c, expected; };
  const Case cases[] = {
      {10, 10, 3, 33},          {1, 1, 2, 1},             {3, 1, 2, 2},
      {-1, 1, 2, -1},           {-3, 1, 2, -2},           {3, 1, -2, -2},
      {-3, -1, -2, -2},         {-3, 1, -2, 2},           {5, 1, 3, 2},
      {-5, 1, 3, -2},           {4, 1, 3, 1},             {-4, 1, 3, -1},
      {0, 7, 3, 0},             {7, 0, 0, -1},            {0, 0, 0, -1},
      {-7, 3, 0, -1},           {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
      {INT_MAX, 2, 1, -1},      {INT_MIN, 1, 1, INT_MIN}, {INT_MIN, -1, 1, -1},
      {96, 8, 72, 11},          {96, -8, 72, -11},        {65536, 65536, 65536, 65536},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
}

TEST(SysUtils, IntegerParsing) {
  struct Case { const char* text; bool ok; int32_t value; };
  const Case cases[] = {
      {"12", true, 12},                {" 12", true, 12},               {"\t  7", true, 7},
      {"-1", true, -1},                {"+5", true, 5},                 {"0", true, 0},
      {"007", true, 7},                {"$0000FF", true, 255},          {"$ff", true, 255},
      {"$aBcD", true, 0xABCD},         {"$7FFFFFFF", true, INT_MAX},    {"$FFFFFFFF", true, -1},
      {"$80000000", true, INT_MIN},    {"2147483647", true, INT_MAX},   {"-2147483648", true, INT_MIN},
      {"2147483648", false, 0},        {"-2147483649", false, 0},       {"99999999999999999999", false, 0},
      {"$123456789", false, 0},        {"$", false, 0},                 {"$G", false, 0},
      {"12x", false, 0},               {"12 ", false, 0},               {"", false, 0},
      {"   ", false, 0},               {"+", false, 0},                 {"-", false, 0},
      {"- 1", false, 0},               {"-$10", false, 0},              {"0x10", false, 0},
      {"1.5", false, 0},               {"abc", false, 0},               {"clRed", false, 0},
  };
  for (const Case& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(TryStrToInt(c.text, value), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value, c.value) << '"' << c.text << '"';
      EXPECT_EQ(StrToInt(c.text), c.value);
    } else {
      EXPECT_EQ(value, 12345) << "a refused text must leave the value alone";
    }
  }
}

TEST(SysUtils, StrToIntRaisesConvertErrorNamingTheText) {
  try {
    StrToInt("12x");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'12x' is not a valid integer value");
  }
}

TEST(SysUtils, CaseAndTrim) {
  EXPECT_EQ(UpperCase("Gif-\xC3\xA9z"), "GIF-\xC3\xA9Z");
  EXPECT_EQ(LowerCase("KELVANE1"), "kelvane1");
  EXPECT_TRUE(SameText("clRed", "CLRED"));
  EXPECT_FALSE(SameText("clRed", "clRe"));
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimLeft("  x "), "x ");
  EXPECT_EQ(TrimRight("  x "), "  x");
}

TEST(SysUtils, FileNameParts) {
  struct Case { const char* name; const char* path; const char* file; const char* ext; const char* bare; };
  const Case cases[] = {
      {"/cd/data/setup.exe", "/cd/data/", "setup.exe", ".exe", "/cd/data/setup"},
      {"archive.tar.gz", "", "archive.tar.gz", ".gz", "archive.tar"},
      {"/cd/Tools", "/cd/", "Tools", "", "/cd/Tools"},
      {".profile", "", ".profile", ".profile", ""},
      {"/a.b/readme", "/a.b/", "readme", "", "/a.b/readme"},
      {"/cd/", "/cd/", "", "", "/cd/"},
      {"name.", "", "name.", ".", "name"},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
    EXPECT_EQ(ChangeFileExt(c.name, ""), c.bare) << c.name;
  }
  EXPECT_EQ(ChangeFileExt("/x/logo.bmp", ".gif"), "/x/logo.gif");
  EXPECT_EQ(ChangeFileExt("/x.d/logo", ".gif"), "/x.d/logo.gif");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/cd"), "/cd/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/cd/"), "/cd/");
}

}  // namespace
