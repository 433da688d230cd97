#pragma once
// Octree colour quantisation: every pixel colour goes into a tree that splits
// the RGB cube one bit per level; whenever the tree holds more leaves than
// colours wanted, the deepest inner node is folded into a leaf carrying the
// mean of its pixels. The leaves that remain, in tree order, are the palette.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/graphics/BmpCodec.h"  // TRGBQuad
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"

namespace platform {
class TBitmap;
}

namespace gif {

class TDIBReader;

class TOctreeNode : public platform::TObject {
public:
  // A node made at TreeDepth is a leaf (counted in LeafTotal); any other is
  // an inner node, pushed on the front of its level's reducible list.
  TOctreeNode(int Level, int32_t& LeafTotal, std::array<TOctreeNode*, 8>& ReducibleHeads, int TreeDepth);
  ~TOctreeNode() override;  // frees the children, 7 down to 0
  TOctreeNode(const TOctreeNode&) = delete;
  TOctreeNode& operator=(const TOctreeNode&) = delete;
  const char* ClassName() const noexcept override { return "TOctreeNode"; }

  bool Leaf = false;
  // 64 bits: one leaf may gather every pixel of a picture far beyond
  // 2^31 / 255 pixels, where 32-bit sums would overflow.
  int64_t PixelTotal = 0;
  int64_t SumRed = 0, SumGreen = 0, SumBlue = 0;
  TOctreeNode* NextReducible = nullptr;  // null for leaves
  std::array<TOctreeNode*, 8> Children{};  // index = red bit * 4 + green bit * 2 + blue bit
};

// The quantiser owns the whole tree.
class TColorQuantizer : public platform::TObject {
public:
  // ColorTarget: most leaves allowed (at least 1); TreeDepth: the level at
  // which leaves are made (1 to 8; every caller passes 8).
  TColorQuantizer(int32_t ColorTarget, int32_t TreeDepth);
  ~TColorQuantizer() override;
  TColorQuantizer(const TColorQuantizer&) = delete;
  TColorQuantizer& operator=(const TColorQuantizer&) = delete;
  const char* ClassName() const noexcept override { return "TColorQuantizer"; }

  // Row R of a 24-bit picture: Width pixels of blue, green, red.
  using TRowAt = std::function<const uint8_t*(int32_t Row)>;
  // Inserts every pixel, rows 0 to Height - 1, folding the tree after each
  // one so it never holds more than ColorTarget leaves. Always true.
  bool ScanRows(const TRowAt& RowAt, int32_t Width, int32_t Height);
  // The same over the rows of a 24-bit reader's bitmap.
  bool ScanImage(TDIBReader& Reader);

  void InsertColor(TOctreeNode*& Node, uint8_t Red, uint8_t Green, uint8_t Blue, int Level);
  void MergeDeepest();
  // Fills the first LeafTotal entries with the leaves' mean colours in tree
  // order (children 0 to 7, depth first); the rest stay as they were.
  void FillColorTable(std::array<platform::TRGBQuad, 256>& Table) const;
  void FreeSubtree(TOctreeNode*& Node);

  TOctreeNode* Root = nullptr;
  int32_t LeafTotal = 0;
  std::array<TOctreeNode*, 8> ReducibleHeads{};
  int32_t ColorTarget;
  int32_t TreeDepth;
};

// A palette of Colors entries (1 to 256) from the colours of Reader's rows,
// depth Depth. With system colours: 256 entries, the 20 static colours at
// 0-9 and 246-255 and 236 quantised colours from 10. Entries past the last
// leaf repeat the last leaf's colour (black when there is none), so they
// never win a nearest-colour search against a real one. Owned by the caller.
platform::HPALETTE QuantizedPalette(TDIBReader& Reader, int32_t Colors, int32_t Depth, bool WithSystemColors);
// The same through a 24-bit reader made on Bitmap (which becomes 24-bit).
platform::HPALETTE OptimizedPalette(platform::TBitmap& Bitmap, int32_t Colors, int32_t Depth,
                                    bool WithSystemColors);

// The entries QuantizedPalette creates its palette from, for the rows of a
// 24-bit picture; System is null or the 20 static colours to keep.
std::vector<platform::PALETTEENTRY> QuantizeEntries(const TColorQuantizer::TRowAt& RowAt, int32_t Width,
                                                    int32_t Height, int32_t Colors, int32_t Depth,
                                                    const platform::PALETTEENTRY* System);

}  // namespace gif
