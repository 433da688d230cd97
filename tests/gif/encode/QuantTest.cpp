// Octree quantiser: exact colours below the target, folding, tree order,
// the palette layouts, bounded leaves on many colours.
#include <gtest/gtest.h>

#include <vector>

#include "gif/encode/Quantizer.h"

namespace gif {
namespace {

struct Rgb {
  uint8_t r, g, b;
};

// One row of 24-bit pixels (blue, green, red) per call of RowAt.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bytes;
  Picture(int32_t w, int32_t h, const std::vector<Rgb>& pixels) : width(w), height(h) {
    for (const Rgb& p : pixels) bytes.insert(bytes.end(), {p.b, p.g, p.r});
  }
  TColorQuantizer::TRowAt Rows() const {
    return [this](int32_t y) { return bytes.data() + static_cast<size_t>(y) * width * 3; };
  }
};

std::vector<Rgb> Table(const TColorQuantizer& q) {
  std::array<platform::TRGBQuad, 256> t{};
  q.FillColorTable(t);
  std::vector<Rgb> out;
  for (int32_t i = 0; i < q.LeafTotal; ++i) out.push_back({t[i].rgbRed, t[i].rgbGreen, t[i].rgbBlue});
  return out;
}

bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
void PrintTo(Rgb c, std::ostream* os) { *os << "(" << +c.r << "," << +c.g << "," << +c.b << ")"; }

int64_t CountPixels(const TOctreeNode* n) {
  if (!n) return 0;
  if (n->Leaf) return n->PixelTotal;
  int64_t sum = 0;
  for (const TOctreeNode* c : n->Children) sum += CountPixels(c);
  return sum;
}

TEST(Quantizer, FewColoursStayExactInTreeOrder) {
  // Level 0 child index is red bit * 4 + green bit * 2 + blue bit: black (0),
  // (100, 200, 50) (2), (200, 10, 10) (4), white (7); repeats do not add leaves.
  Picture pic(3, 2, {{255, 255, 255}, {200, 10, 10}, {0, 0, 0}, {100, 200, 50}, {0, 0, 0}, {255, 255, 255}});
  TColorQuantizer q(8, 8);
  EXPECT_TRUE(q.ScanRows(pic.Rows(), pic.width, pic.height));
  EXPECT_EQ(q.LeafTotal, 4);
  EXPECT_EQ(Table(q), (std::vector<Rgb>{{0, 0, 0}, {100, 200, 50}, {200, 10, 10}, {255, 255, 255}}));
}

TEST(Quantizer, ThreePrimariesFoldToTheirMean) {
  // The three colours part at the root; folding single-child chains lowers
  // nothing, so the root itself folds in the end: one leaf, below the target.
  Picture pic(3, 1, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}});
  TColorQuantizer q(2, 8);
  q.ScanRows(pic.Rows(), pic.width, pic.height);
  EXPECT_EQ(q.LeafTotal, 1);
  EXPECT_TRUE(q.Root->Leaf);
  EXPECT_EQ(Table(q), (std::vector<Rgb>{{85, 85, 85}}));
}

TEST(Quantizer, ManyColoursStayWithinTargetAndKeepEveryPixel) {
  std::vector<Rgb> px;
  for (int i = 0; i < 64 * 64; ++i)
    px.push_back({static_cast<uint8_t>(i * 4), static_cast<uint8_t>(i / 16), static_cast<uint8_t>(i * 7)});
  Picture pic(64, 64, px);
  for (int32_t target : {1, 16, 255}) {
    TColorQuantizer q(target, 8);
    q.ScanRows(pic.Rows(), pic.width, pic.height);
    EXPECT_LE(q.LeafTotal, target);
    EXPECT_GE(q.LeafTotal, 1);
    EXPECT_EQ(CountPixels(q.Root), 64 * 64) << target;
  }
}

TEST(Quantizer, EntriesWithSystemColoursAndFillers) {
  std::vector<platform::PALETTEENTRY> system(20);
  for (int i = 0; i < 20; ++i) system[i] = {static_cast<uint8_t>(i), 1, 2, 0};
  Picture pic(2, 1, {{0, 0, 0}, {250, 250, 250}});

  auto with = QuantizeEntries(pic.Rows(), pic.width, pic.height, 99, 8, system.data());
  ASSERT_EQ(with.size(), 256u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(with[i], system[i]) << i;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(with[246 + i], system[10 + i]) << i;
  EXPECT_EQ(with[10], (platform::PALETTEENTRY{0, 0, 0, 0}));
  EXPECT_EQ(with[11], (platform::PALETTEENTRY{250, 250, 250, 0}));
  // Past the last leaf: the last leaf again, up to the system block.
  for (int i = 12; i < 246; ++i) EXPECT_EQ(with[i], with[11]) << i;

  struct Case {
    int32_t colors;
    size_t size;
  };
  for (Case c : {Case{4, 4}, Case{1, 1}, Case{0, 1}, Case{512, 256}}) {
    auto plain = QuantizeEntries(pic.Rows(), pic.width, pic.height, c.colors, 8, nullptr);
    ASSERT_EQ(plain.size(), c.size) << c.colors;
    if (c.size >= 2) {
      EXPECT_EQ(plain[1], (platform::PALETTEENTRY{250, 250, 250, 0}));
    }
    EXPECT_EQ(plain.back(), plain.size() == 1 ? plain[0] : plain[1]);
  }
  // No pixels at all: defined black entries.
  auto empty = QuantizeEntries(pic.Rows(), 0, 0, 3, 8, nullptr);
  EXPECT_EQ(empty, std::vector<platform::PALETTEENTRY>(3));
}

}  // namespace
}  // namespace gif
