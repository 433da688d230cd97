// Encoder output, wrapped into a minimal GIF, read back by giflib and by the
// test's own reader to the same indices.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CodeReader.h"
#include "EncodeHelpers.h"
#include "Giflib.h"

namespace gif {
namespace {

using test::Kind;

enum class Pattern { Random, Runs, Gradient, Flat, DistinctPairs };
const char* PatternName(Pattern p) {
  switch (p) {
    case Pattern::Random: return "Random";
    case Pattern::Runs: return "Runs";
    case Pattern::Gradient: return "Gradient";
    case Pattern::Flat: return "Flat";
    case Pattern::DistinctPairs: return "DistinctPairs";
  }
  return "";
}

std::vector<uint8_t> MakePixels(Pattern p, int width, int height, int bits) {
  const int colors = 1 << bits;
  const size_t n = static_cast<size_t>(width) * height;
  std::mt19937 rng(static_cast<unsigned>(width * 31 + bits));
  std::vector<uint8_t> out(n);
  switch (p) {
    case Pattern::Random:
      for (auto& v : out) v = static_cast<uint8_t>(rng() % colors);
      break;
    case Pattern::Runs:  // random values in runs of random lengths up to 3000
      for (size_t i = 0; i < n;) {
        const size_t len = std::min<size_t>(n - i, 1 + rng() % (rng() % 8 == 0 ? 3000 : 12));
        std::fill_n(out.begin() + i, len, static_cast<uint8_t>(rng() % colors));
        i += len;
      }
      break;
    case Pattern::Gradient:
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) out[size_t(y) * width + x] = static_cast<uint8_t>((x / 3 + y / 5) % colors);
      break;
    case Pattern::Flat:
      std::fill(out.begin(), out.end(), static_cast<uint8_t>(colors - 1));
      break;
    case Pattern::DistinctPairs:
      out = test::DistinctPairs(n, colors);
      break;
  }
  return out;
}

using Param = std::tuple<Kind, int /*bits*/, bool /*interlaced*/, Pattern>;
class GiflibReadsOurData : public ::testing::TestWithParam<Param> {};

TEST_P(GiflibReadsOurData, SameIndices) {
  const auto [kind, bits, interlaced, pattern] = GetParam();
  // Big enough to fill the string table several times over.
  const int width = 181, height = pattern == Pattern::DistinctPairs ? 57 : 113;
  const auto pixels = MakePixels(pattern, width, height, bits);
  const auto data = test::EncodeFrame(kind, bits, width, height, interlaced, pixels, 1 << bits);

  const auto ours = test::ReadImageData(data);
  ASSERT_EQ(ours.Error, "");
  EXPECT_TRUE(ours.SawEnd);
  EXPECT_TRUE(ours.Terminated);
  EXPECT_EQ(ours.Consumed, data.size());
  EXPECT_TRUE(ours.Pixels == test::InStreamOrder(pixels, width, height, interlaced));

  const auto giflib = test::GiflibDecode(test::WrapInGif(width, height, bits, interlaced, data));
  ASSERT_EQ(giflib.Error, "");
  ASSERT_EQ(giflib.Frames.size(), 1u);
  EXPECT_TRUE(giflib.Frames[0] == pixels);
}

std::string CaseName(const ::testing::TestParamInfo<Param>& info) {
  return std::string(test::KindName(std::get<0>(info.param))) + "Bits" + std::to_string(std::get<1>(info.param)) +
         (std::get<2>(info.param) ? "Interlaced" : "") + PatternName(std::get<3>(info.param));
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, GiflibReadsOurData,
    ::testing::Combine(::testing::Values(Kind::LZW, Kind::RLE), ::testing::Range(1, 9), ::testing::Bool(),
                       ::testing::Values(Pattern::Random, Pattern::Runs, Pattern::Gradient, Pattern::Flat)),
    CaseName);

// One code per pixel: the string table fills and clears at the 4095-code boundary.
INSTANTIATE_TEST_SUITE_P(
    Boundary, GiflibReadsOurData,
    ::testing::Combine(::testing::Values(Kind::LZW, Kind::RLE), ::testing::Values(8), ::testing::Bool(),
                       ::testing::Values(Pattern::DistinctPairs)),
    CaseName);

}  // namespace
}  // namespace gif
