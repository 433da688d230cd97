#include "platform/graphics/FontEngine.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using platform::TFontRequest;

TEST(FontEngine, FamiliesResolveToInstalledLookAlikes) {
  struct Case {
    const char* Name;
    bool Bold, Italic;
    const char* Family;
  };
  const Case cases[] = {
      {"Times New Roman", false, false, "Liberation Serif"},
      {"times new roman", true, false, "Liberation Serif"},
      {"Arial", false, true, "Liberation Sans"},
      {"MS Sans Serif", false, false, "Liberation Sans"},
      {"MS Sans Serif", true, true, "Liberation Sans"},
      {"Courier New", false, false, "Liberation Mono"},
      {"DejaVu Serif", false, false, "DejaVu Serif"},  // an installed family is used as it is
      {"No Such Family 42", false, false, "Liberation Sans"},
      {"", false, false, "Liberation Sans"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const platform::TFontFile f = platform::ResolveFontFamily(c.Name, c.Bold, c.Italic);
    EXPECT_EQ(f.Family, c.Family);
    EXPECT_EQ(f.Bold, c.Bold);
    EXPECT_EQ(f.Italic, c.Italic);
    EXPECT_FALSE(f.Path.empty());
  }
}

TEST(FontEngine, HeightsFollowTheComponentLibraryRule) {
  struct Case {
    const char* Name;
    int Height;
    int Em;        // expected em size, 0: not checked
    int CellHeight;  // expected TextHeight, 0: not checked
  };
  const Case cases[] = {
      {"Times New Roman", -53, 53, 0},
      {"Arial", -16, 16, 0},
      {"Arial", 20, 0, 20},            // positive: the cell height itself
      {"Times New Roman", 61, 0, 61},
      {"Arial", -11, 11, 12},          // the same face as the next, its own metrics
      {"MS Sans Serif", -11, 11, 13},  // the classic 8-point cell
      {"MS Sans Serif", 0, 11, 13},    // the default height
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.Height));
    const TFontRequest font{.Name = c.Name, .Height = c.Height};
    const platform::TFontMetrics m = platform::GetFontMetrics(font);
    if (c.Em) {
      EXPECT_EQ(m.EmPixels, c.Em);
    }
    if (c.CellHeight) {
      EXPECT_EQ(m.Height, c.CellHeight);
    }
    EXPECT_EQ(m.Height, m.Ascent + m.Descent);
    EXPECT_EQ(platform::TextHeight(font), m.Height);
    EXPECT_GE(m.InternalLeading, 0);
    EXPECT_GT(m.AveCharWidth, 0);
    EXPECT_GE(m.MaxCharWidth, m.AveCharWidth);
  }
}

// The title of the launcher window: what is drawn must fill the measured box
// up to the glyphs' side bearings.
TEST(FontEngine, InstallInTimesNewRomanMeasuresAsItDraws) {
  const TFontRequest font{.Name = "Times New Roman", .Height = -53};
  const int width = platform::TextWidth(font, "Install");
  const int height = platform::TextHeight(font);
  // Liberation Serif shares Times New Roman's advance widths: the window's
  // layout gives the auto-sized title 132 pixels.
  EXPECT_NEAR(width, 132, 2);
  EXPECT_NEAR(height, 59, 2);

  const platform::TTextMask mask = platform::RenderText(font, "Install");
  EXPECT_EQ(mask.Advance, width);
  ASSERT_GT(mask.Width, 0);
  const int bearing = 53 / 10;
  EXPECT_LE(std::abs(mask.Left), bearing);
  EXPECT_LE(std::abs(mask.Left + mask.Width - width), bearing);
  // Latin letters without accents stay inside the cell, the capital reaching
  // near its top and the baseline well above its bottom.
  EXPECT_GE(mask.Top, 0);
  EXPECT_LE(mask.Top + mask.Height, height);
  const int ascent = platform::GetFontMetrics(font).Ascent;
  EXPECT_NEAR(mask.Top + mask.Height, ascent, 1);
  // Every column between the outer edges of "I" and "l" belongs to a glyph
  // box, and the ink is solid in the stems.
  int solid = 0;
  for (int y = 0; y < mask.Height; ++y)
    for (int x = 0; x < mask.Width; ++x) solid += mask.At(x, y) == 255;
  EXPECT_GT(solid, 200);
  // The same text drawn twice is the same (cached glyphs change nothing).
  EXPECT_EQ(platform::RenderText(font, "Install").Coverage, mask.Coverage);
}

TEST(FontEngine, StylesChangeWidthAndAddLines) {
  const TFontRequest plain{.Name = "Arial", .Height = -20};
  TFontRequest bold = plain;
  bold.Bold = true;
  EXPECT_GT(platform::TextWidth(bold, "Pellisto"), platform::TextWidth(plain, "Pellisto"));

  // Underline and strike-out paint full rows across the advance, below the
  // baseline and in the middle of the lower-case letters.
  const int ascent = platform::GetFontMetrics(plain).Ascent;
  for (bool underline : {true, false}) {
    SCOPED_TRACE(underline ? "underline" : "strike-out");
    TFontRequest styled = plain;
    (underline ? styled.Underline : styled.StrikeOut) = true;
    const platform::TTextMask m = platform::RenderText(styled, "a a");
    const platform::TTextMask base = platform::RenderText(plain, "a a");
    int fullRow = -1;
    for (int y = 0; y < m.Height && fullRow < 0; ++y) {
      bool full = true;
      for (int x = -m.Left; x < m.Advance - m.Left; ++x) full = full && m.At(x, y) == 255;
      if (full) fullRow = y + m.Top;
    }
    ASSERT_GE(fullRow, 0);
    if (underline)
      EXPECT_GE(fullRow, ascent);
    else
      EXPECT_TRUE(fullRow < ascent && fullRow > ascent - 20 * 2 / 3) << fullRow;
    EXPECT_EQ(m.Advance, base.Advance);
  }
}

TEST(FontEngine, BlankAndEmptyTextGiveAnEmptyMask) {
  const TFontRequest font{.Name = "Arial", .Height = -12};
  for (const char* text : {"", " ", "   "}) {
    const platform::TTextMask m = platform::RenderText(font, text);
    EXPECT_EQ(m.Width * m.Height, 0) << '"' << text << '"';
    EXPECT_EQ(m.Advance, platform::TextWidth(font, text));
  }
  EXPECT_EQ(platform::TextWidth(font, ""), 0);
  EXPECT_GT(platform::TextWidth(font, " "), 0);
}

TEST(FontEngine, Utf8WithLatin1Fallback) {
  struct Case {
    const char* Bytes;
    std::u32string Chars;
  };
  const Case cases[] = {
      {"abc", U"abc"},
      {"caf\xC3\xA9", U"caf\u00E9"},
      {"caf\xE9", U"caf\u00E9"},              // Latin-1
      {"\xE2\x82\xAC 5", U"\u20AC 5"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"\xC0\xAF", U"\u00C0\u00AF"},          // overlong
      {"\xE2\x82", U"\u00E2\u0082"},          // cut short
      {"\xED\xA0\x80", U"\u00ED\u00A0\u0080"},  // surrogate
      {"\xF4\x90\x80\x80", U"\u00F4\u0090\u0080\u0080"},  // past U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(platform::DecodeText(c.Bytes), c.Chars) << c.Bytes;
  const TFontRequest font{.Name = "Arial", .Height = -12};
  EXPECT_EQ(platform::TextWidth(font, "caf\xE9"), platform::TextWidth(font, "caf\xC3\xA9"));
}

TEST(FontEngine, CharactersTheFaceLacksComeFromAnotherFace) {
  // Liberation Sans has no arrows block glyph U+21E8; DejaVu Sans does.
  const TFontRequest font{.Name = "Arial", .Height = -16};
  const platform::TTextMask m = platform::RenderText(font, "\xE2\x87\xA8");
  const platform::TTextMask dejavu = platform::RenderText({.Name = "DejaVu Sans", .Height = -16}, "\xE2\x87\xA8");
  EXPECT_GT(m.Width, 4);
  EXPECT_EQ(m.Coverage, dejavu.Coverage);
  EXPECT_EQ(m.Advance, dejavu.Advance);
}

TEST(FontEngine, ThreadsMeasureAlike) {
  const std::vector<TFontRequest> fonts = {{.Name = "Arial", .Height = -13},
                                           {.Name = "Times New Roman", .Height = -27, .Italic = true},
                                           {.Name = "Courier New", .Height = 18, .Bold = true}};
  std::vector<int> expected;
  for (const auto& f : fonts) expected.push_back(platform::TextWidth(f, "The quick brown fox"));
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        const size_t i = size_t(t + round) % fonts.size();
        if (platform::TextWidth(fonts[i], "The quick brown fox") != expected[i]) ++bad[size_t(t)];
        platform::RenderText(fonts[i], "jump");
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad, std::vector<int>(4, 0));
}

}  // namespace
