#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "platform/graphics/Colors.h"
#include "platform/rtl/Exceptions.h"

namespace platform {
namespace {

struct NamedColor {
  const char* name;
  TColor value;
};

constexpr NamedColor kNames[] = {
    {"clBlack", 0x000000},      {"clMaroon", 0x000080},   {"clGreen", 0x008000},  {"clOlive", 0x008080},
    {"clNavy", 0x800000},       {"clPurple", 0x800080},   {"clTeal", 0x808000},   {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},     {"clRed", 0x0000FF},      {"clLime", 0x00FF00},   {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},       {"clFuchsia", 0xFF00FF},  {"clAqua", 0xFFFF00},   {"clWhite", 0xFFFFFF},
    {"clScrollBar", 0x80000000}, {"clBackground", 0x80000001}, {"clActiveCaption", 0x80000002},
    {"clInactiveCaption", 0x80000003}, {"clMenu", 0x80000004}, {"clWindow", 0x80000005},
    {"clWindowFrame", 0x80000006}, {"clMenuText", 0x80000007}, {"clWindowText", 0x80000008},
    {"clCaptionText", 0x80000009}, {"clActiveBorder", 0x8000000A}, {"clInactiveBorder", 0x8000000B},
    {"clAppWorkSpace", 0x8000000C}, {"clHighlight", 0x8000000D}, {"clHighlightText", 0x8000000E},
    {"clBtnFace", 0x8000000F}, {"clBtnShadow", 0x80000010}, {"clGrayText", 0x80000011},
    {"clBtnText", 0x80000012}, {"clInactiveCaptionText", 0x80000013}, {"clBtnHighlight", 0x80000014},
    {"cl3DDkShadow", 0x80000015}, {"cl3DLight", 0x80000016}, {"clInfoText", 0x80000017},
    {"clInfoBk", 0x80000018}, {"clNone", 0x1FFFFFFF},
};
static_assert(std::size(kNames) == 42);

// Alternating case: "cLbLaCk".
std::string MixCase(std::string s) {
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>(i % 2 ? std::toupper(static_cast<unsigned char>(s[i]))
                                   : std::tolower(static_cast<unsigned char>(s[i])));
  return s;
}

TEST(Colors, EveryNameMatchesInAnyLetterCase) {
  for (const NamedColor& c : kNames) {
    for (const std::string& text : {std::string(c.name), MixCase(c.name)}) {
      TColor value = 0xDEADBEEF;
      ASSERT_TRUE(TryStringToColor(text, value)) << text;
      EXPECT_EQ(value, c.value) << text;
    }
    std::string ident;
    ASSERT_TRUE(ColorToIdent(c.value, ident));
    EXPECT_EQ(ident, c.name);
  }
}

TEST(Colors, ValuesThatAreNotNamesFollowTheIntegerRules) {
  struct Case {
    const char* text;
    bool valid;
    TColor value;
  };
  const Case cases[] = {
      {"$0000FF", true, clRed},  {"$0000ff", true, clRed},     {"-1", true, 0xFFFFFFFF},
      {" 12", true, 12},         {"+5", true, 5},              {"$FFFFFFFF", true, 0xFFFFFFFF},
      {"red", false, 0},         {"$", false, 0},              {"12x", false, 0},
      {"$123456789", false, 0},  {"", false, 0},               {"12 ", false, 0},
      {"clRed ", false, 0},      {"2147483648", false, 0},     {"0x10", false, 0},
  };
  for (const Case& c : cases) {
    TColor value = 0;
    EXPECT_EQ(TryStringToColor(c.text, value), c.valid) << '"' << c.text << '"';
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  EXPECT_THROW(StringToColor("red"), EConvertError);
  EXPECT_EQ(StringToColor("clwhite"), clWhite);
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  EXPECT_EQ(ColorToString(clAqua), "clAqua");
}

TEST(Colors, SystemColoursResolveThroughTheClassicScheme) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clWindow), RGB(255, 255, 255));
  EXPECT_EQ(ColorToRGB(clWindowText), RGB(0, 0, 0));
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(192, 192, 192));
  EXPECT_EQ(ColorToRGB(clNone), clNone);
  EXPECT_EQ(GetSysColor(COLOR_INFOBK), RGB(255, 255, 225));
  EXPECT_EQ(GetSysColor(99), 0u);
  EXPECT_EQ(GetRValue(RGB(1, 2, 3)), 1);
  EXPECT_EQ(GetBValue(RGB(1, 2, 3)), 3);
}

}  // namespace
}  // namespace platform
