#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "CodeReader.h"
#include "EncodeHelpers.h"
#include "gif/encode/Encoders.h"

namespace gif {
namespace {

using test::EncodeFrame;
using test::Kind;
using test::ReadImageData;

struct CodeCase {
  const char* Name;
  int CodeSize;
  std::vector<uint8_t> Pixels;
  std::vector<int> Codes;
};

class RleCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(RleCodes, ExactCodeSequence) {
  const CodeCase& c = GetParam();
  const int n = static_cast<int>(c.Pixels.size());
  const auto read = ReadImageData(EncodeFrame(Kind::RLE, c.CodeSize, n, 1, false, c.Pixels));
  ASSERT_EQ(read.Error, "");
  EXPECT_EQ(read.Codes, c.Codes);
  EXPECT_EQ(read.Pixels, c.Pixels);
  EXPECT_TRUE(read.Terminated);
}

std::vector<uint8_t> Px(std::initializer_list<std::pair<int, int>> runs) {  // (value, count)
  std::vector<uint8_t> out;
  for (auto [v, n] : runs) out.insert(out.end(), n, static_cast<uint8_t>(v));
  return out;
}

std::vector<int> TableRunCodes() {
  std::vector<int> codes = {256, 9};
  for (int code = 258; code <= 275; ++code) codes.push_back(code);
  codes.insert(codes.end(), {266, 1});
  codes.insert(codes.end(), 25, 276);
  codes.insert(codes.end(), {1, 276, 266, 257});
  return codes;
}

INSTANTIATE_TEST_SUITE_P(
    Rle, RleCodes,
    ::testing::Values(
        // Runs of 1, 2, 3 and 4 from a fresh start.
        CodeCase{"TenFives", 8, Px({{5, 10}}), {256, 5, 258, 259, 260, 257}},
        // No run table: clear, the pixel, 258 for two, 258 again for the last two.
        CodeCase{"FiveAfterPlainCodes", 8, Px({{1, 1}, {2, 1}, {3, 1}, {7, 5}}),
                 {256, 1, 2, 3, 256, 7, 258, 258, 257}},
        CodeCase{"TwoEqualOutsideAFreshStart", 8, Px({{1, 1}, {2, 2}}), {256, 1, 2, 2, 257}},
        CodeCase{"ThreeEqual", 8, Px({{1, 1}, {2, 3}}), {256, 1, 2, 2, 2, 257}},
        CodeCase{"FourEqual", 8, Px({{1, 1}, {2, 4}}), {256, 1, 2, 2, 2, 2, 257}},
        // The table of runs of 9 built by the first run serves the second one.
        CodeCase{"RunReusesTable", 8, Px({{9, 10}, {1, 1}, {9, 8}}),
                 {256, 9, 258, 259, 260, 1, 260, 260, 257}},
        CodeCase{"SinglePixel", 8, Px({{42, 1}}), {256, 42, 257}},
        // 200 from a fresh start: runs 1..19 and a remainder of 10 leave run
        // codes up to 20 pixels (276); 500 then goes as 25 of them, 30 as one
        // of them and the code for 10.
        CodeCase{"LongerRunsUseTheTable", 8, Px({{9, 200}, {1, 1}, {9, 500}, {1, 1}, {9, 30}}),
                 TableRunCodes()},
        CodeCase{"SinglePixelCodeSize2", 2, Px({{3, 1}}), {4, 3, 5}}),
    [](const auto& info) { return info.param.Name; });

struct RhythmCase {
  int CodeSize;
  int WidenAfter;  // plain codes after a clear before the width grows (0: never)
  int ClearAfter;  // plain codes after a clear before the next clear
};

class PlainRhythm : public ::testing::TestWithParam<RhythmCase> {};

TEST_P(PlainRhythm, AlternatingValuesClearOnTime) {
  const RhythmCase& c = GetParam();
  std::vector<uint8_t> pixels(1000);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 2);
  const auto read = ReadImageData(EncodeFrame(Kind::RLE, c.CodeSize, 1000, 1, false, pixels));
  ASSERT_EQ(read.Error, "");
  EXPECT_EQ(read.Pixels, pixels);
  const int clear = 1 << c.CodeSize;
  int sinceClear = -1;
  for (size_t i = 0; i + 1 < read.Codes.size(); ++i) {
    if (read.Codes[i] == clear) {
      if (sinceClear >= 0) {
        EXPECT_EQ(sinceClear, c.ClearAfter) << "code " << i;
      }
      EXPECT_EQ(read.Widths[i], i == 0 || c.WidenAfter == 0 ? c.CodeSize + 1 : c.CodeSize + 2);
      sinceClear = 0;
      continue;
    }
    const bool wide = c.WidenAfter > 0 && sinceClear >= c.WidenAfter;
    EXPECT_EQ(read.Widths[i], c.CodeSize + 1 + (wide ? 1 : 0)) << "code " << i;
    ++sinceClear;
  }
}

INSTANTIATE_TEST_SUITE_P(Rle, PlainRhythm,
                         ::testing::Values(RhythmCase{2, 3, 9}, RhythmCase{3, 7, 9}, RhythmCase{4, 0, 14},
                                           RhythmCase{8, 0, 254}));

TEST(RleEncoder, LongRunWidthStopsAtTwelveBits) {
  // One value, long enough to pass the 3837 codes that fit between clears.
  const int width = 4000, height = 2000;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 77);
  const auto read = ReadImageData(EncodeFrame(Kind::RLE, 8, width, height, false, pixels));
  ASSERT_EQ(read.Error, "");
  EXPECT_TRUE(read.Pixels == pixels);
  EXPECT_EQ(*std::max_element(read.Widths.begin(), read.Widths.end()), 12);
  // Codes 1..1791 after the clear are narrower; from then on 12 bits.
  EXPECT_EQ(read.Widths[1791], 11);
  EXPECT_EQ(read.Widths[1792], 12);
  // The table limit forces the second clear after 3837 codes.
  EXPECT_EQ(read.Codes[3838], 256);
  EXPECT_EQ(std::count(read.Codes.begin(), read.Codes.begin() + 3838, 256), 1);
}

TEST(RleEncoder, IntegerSqrtIsTheFloorOfTheRoot) {
  for (int x = 0; x < 200000; ++x)
    ASSERT_EQ(TRLEEncoder::IntegerSqrt(x), static_cast<int>(std::floor(std::sqrt(double(x))))) << x;
  EXPECT_EQ(TRLEEncoder::IntegerSqrt(2147395600), 46340);
}

TEST(RleEncoder, CodesForRunCountsGrowingRuns) {
  struct Case {
    int Count, Limit, Codes;
  };
  for (const Case& c : {Case{1, 3837, 1}, Case{2, 3837, 2}, Case{3, 3837, 2}, Case{4, 3837, 3},
                        Case{5, 3837, 3}, Case{6, 3837, 3}, Case{7, 3837, 4}, Case{10, 3837, 4},
                        Case{6, 3, 3}, Case{7, 3, 4}, Case{12, 3, 6}, Case{0, 3837, 0}})
    EXPECT_EQ(TRLEEncoder::CodesForRun(c.Count, c.Limit), c.Codes) << c.Count << "/" << c.Limit;
}

}  // namespace
}  // namespace gif
