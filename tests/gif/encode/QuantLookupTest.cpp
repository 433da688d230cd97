// Colour lookups and the two dither engines on plain row buffers.
#include <gtest/gtest.h>

#include <vector>

#include "gif/encode/ColorLookup.h"
#include "gif/encode/Dither.h"

namespace gif {
namespace {

struct LookupCase {
  const char* name;
  uint8_t r, g, b;
  uint8_t index, outR, outG, outB;
};

void Check(TColorLookup& lookup, const LookupCase& c) {
  uint8_t r = 1, g = 1, b = 1;
  EXPECT_EQ(lookup.MatchColor(c.r, c.g, c.b, r, g, b), c.index) << c.name;
  EXPECT_EQ(r, c.outR) << c.name;
  EXPECT_EQ(g, c.outG) << c.name;
  EXPECT_EQ(b, c.outB) << c.name;
}

TEST(ColorLookup, ArithmeticLookups) {
  TNetscapeColorLookup web;
  TGrayScaleLookup grey;
  TMonochromeLookup mono;
  EXPECT_EQ(web.ColorCount, 216);
  EXPECT_EQ(grey.ColorCount, 256);
  EXPECT_EQ(mono.ColorCount, 2);
  for (const LookupCase& c : {
           LookupCase{"web thresholds", 47, 48, 255, 11, 0, 51, 255},
           LookupCase{"web white", 255, 255, 255, 215, 255, 255, 255},
           LookupCase{"web 252 is top", 252, 251, 0, 204, 255, 204, 0},
       })
    Check(web, c);
  for (const LookupCase& c : {
           LookupCase{"grey white", 255, 255, 255, 255, 255, 255, 255},
           LookupCase{"grey red", 255, 0, 0, 76, 76, 76, 76},
           LookupCase{"grey green", 0, 255, 0, 149, 149, 149, 149},
       })
    Check(grey, c);
  for (const LookupCase& c : {
           LookupCase{"mono 127 at the bound", 127, 127, 127, 0, 0, 0, 0},
           LookupCase{"mono 128", 128, 128, 128, 1, 255, 255, 255},
       })
    Check(mono, c);
}

TEST(ColorLookup, FastLookupNearestCachedPerCell) {
  const std::vector<platform::PALETTEENTRY> pal = {
      {10, 10, 10, 0}, {200, 0, 0, 0}, {10, 10, 10, 0}, {0, 0, 0, 0}, {100, 100, 100, 0}, {120, 100, 100, 0}};
  TFastColorLookup fast{std::span<const platform::PALETTEENTRY>(pal)};
  EXPECT_EQ(fast.ColorCount, 6);
  for (const LookupCase& c : {
           LookupCase{"duplicate goes to the lower index", 10, 10, 10, 0, 10, 10, 10},
           // (15,15,15) shares the cell of (10,10,10), which entry 0 pre-filled.
           LookupCase{"first entry of a cell answers it", 15, 15, 15, 0, 10, 10, 10},
           LookupCase{"nearest by absolute sum", 190, 20, 5, 1, 200, 0, 0},
           // 110 is 10 from both 100 and 120: the lower index wins the tie.
           LookupCase{"ties go low", 110, 100, 100, 4, 100, 100, 100},
           // Same cell as (110, 100, 100) but nearer entry 5: the cell keeps its answer.
           LookupCase{"cell cache", 111, 100, 100, 4, 100, 100, 100},
       })
    Check(fast, c);

  TFastColorLookup none{std::span<const platform::PALETTEENTRY>()};
  EXPECT_EQ(none.ColorCount, 0);
  Check(none, {"no entries", 50, 60, 70, 0, 0, 0, 0});
}

// Remembers the red value of every pixel it maps, in order; every colour is
// its own match, so no error spreads.
class RecordingLookup final : public TColorLookup {
public:
  uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& R, uint8_t& G, uint8_t& B) override {
    seen.push_back(Red);
    R = Red, G = Green, B = Blue;
    return Red;
  }
  std::vector<uint8_t> seen;
};

struct Rows {
  int32_t width, height;
  std::vector<uint8_t> src, dst;
  Rows(int32_t w, int32_t h) : width(w), height(h), src(size_t(w) * h * 3), dst(size_t(w) * h, 0xEE) {}
  void Fill(uint8_t r, uint8_t g, uint8_t b) {
    for (size_t i = 0; i < src.size(); i += 3) src[i] = b, src[i + 1] = g, src[i + 2] = r;
  }
  void Run(TDitherEngine& e) {
    DitherRows(
        e, [&](int32_t y) { return src.data() + size_t(y) * width * 3; },
        [&](int32_t y) { return dst.data() + size_t(y) * width; }, height);
  }
};

TEST(Dither, RowsAlternateDirectionWithAndWithoutDiffusion) {
  for (bool fs : {false, true}) {
    Rows rows(3, 3);
    for (int i = 0; i < 9; ++i) rows.src[size_t(i) * 3 + 2] = static_cast<uint8_t>(i);  // red = position
    RecordingLookup rec;
    std::unique_ptr<TDitherEngine> e =
        fs ? std::make_unique<TFloydSteinbergEngine>(3, &rec) : std::make_unique<TDitherEngine>(3, &rec);
    rows.Run(*e);
    EXPECT_EQ(rec.seen, (std::vector<uint8_t>{0, 1, 2, 5, 4, 3, 6, 7, 8})) << fs;
    // Each pixel lands at its own place whichever way the row runs.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(rows.dst[i], i) << fs;
  }
  // One pixel wide: every row still maps its pixel.
  Rows narrow(1, 4);
  RecordingLookup rec;
  TDitherEngine e(1, &rec);
  narrow.Run(e);
  EXPECT_EQ(rec.seen.size(), 4u);
}

TEST(Dither, FloydSteinbergSpreadsTheError) {
  // A grey of 128 on black and white becomes a pattern, and over a larger
  // area the mean of the output follows the input.
  struct Case {
    uint8_t grey;
  };
  for (Case c : {Case{128}, Case{100}, Case{30}}) {
    Rows rows(40, 40);
    rows.Fill(c.grey, c.grey, c.grey);
    TMonochromeLookup mono;
    TFloydSteinbergEngine fs(rows.width, &mono);
    rows.Run(fs);
    double whites = 0;
    for (uint8_t v : rows.dst) whites += v;
    const double mean = 255.0 * whites / double(rows.dst.size());
    EXPECT_GT(whites, 0);
    EXPECT_LT(whites, double(rows.dst.size()));
    EXPECT_NEAR(mean, c.grey, 4.0) << int(c.grey);
  }
  // A colour of the palette itself spreads nothing.
  Rows exact(17, 5);
  exact.Fill(51, 102, 153);
  TNetscapeColorLookup web;
  TFloydSteinbergEngine fs(exact.width, &web);
  exact.Run(fs);
  for (uint8_t v : exact.dst) EXPECT_EQ(v, 1 * 36 + 2 * 6 + 3);
}

}  // namespace
}  // namespace gif
