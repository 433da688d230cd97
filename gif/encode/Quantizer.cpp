#include "gif/encode/Quantizer.h"

#include <algorithm>
#include <cassert>

namespace gif {

namespace {
// Level L splits on bit 7 - L of each component.
constexpr uint8_t LevelMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
}  // namespace

TOctreeNode::TOctreeNode(int Level, int32_t& LeafTotal, std::array<TOctreeNode*, 8>& ReducibleHeads,
                         int TreeDepth) {
  Leaf = Level == TreeDepth;
  if (Leaf) {
    ++LeafTotal;
  } else {
    NextReducible = ReducibleHeads[static_cast<size_t>(Level)];
    ReducibleHeads[static_cast<size_t>(Level)] = this;
  }
}

TOctreeNode::~TOctreeNode() {
  for (int i = 7; i >= 0; --i) delete Children[static_cast<size_t>(i)];
}

TColorQuantizer::TColorQuantizer(int32_t ColorTarget, int32_t TreeDepth)
    : ColorTarget(std::max<int32_t>(ColorTarget, 1)), TreeDepth(std::clamp<int32_t>(TreeDepth, 1, 8)) {}

TColorQuantizer::~TColorQuantizer() { FreeSubtree(Root); }

bool TColorQuantizer::ScanRows(const TRowAt& RowAt, int32_t Width, int32_t Height) {
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* p = RowAt(y);
    for (int32_t x = 0; x < Width; ++x, p += 3) {
      InsertColor(Root, p[2], p[1], p[0], 0);
      while (LeafTotal > ColorTarget) MergeDeepest();
    }
  }
  return true;
}

void TColorQuantizer::InsertColor(TOctreeNode*& Node, uint8_t Red, uint8_t Green, uint8_t Blue, int Level) {
  // The descent as a loop: one level per step, creating missing nodes.
  TOctreeNode** slot = &Node;
  for (;;) {
    if (!*slot) *slot = new TOctreeNode(Level, LeafTotal, ReducibleHeads, TreeDepth);
    TOctreeNode* node = *slot;
    if (node->Leaf) {
      ++node->PixelTotal;
      node->SumRed += Red;
      node->SumGreen += Green;
      node->SumBlue += Blue;
      return;
    }
    const uint8_t mask = LevelMask[Level];
    const size_t index = ((Red & mask) ? 4u : 0u) | ((Green & mask) ? 2u : 0u) | ((Blue & mask) ? 1u : 0u);
    slot = &node->Children[index];
    ++Level;
  }
}

void TColorQuantizer::MergeDeepest() {
  int level = TreeDepth - 1;
  while (level > 0 && !ReducibleHeads[static_cast<size_t>(level)]) --level;
  TOctreeNode* node = ReducibleHeads[static_cast<size_t>(level)];
  // Only called with more leaves than the target, which needs an inner node.
  assert(node);
  if (!node) return;
  ReducibleHeads[static_cast<size_t>(level)] = node->NextReducible;
  node->NextReducible = nullptr;

  int64_t red = 0, green = 0, blue = 0;
  int32_t merged = 0;
  for (TOctreeNode*& child : node->Children) {
    if (!child) continue;
    red += child->SumRed;
    green += child->SumGreen;
    blue += child->SumBlue;
    node->PixelTotal += child->PixelTotal;
    delete child;
    child = nullptr;
    ++merged;
  }
  node->Leaf = true;
  node->SumRed = red;
  node->SumGreen = green;
  node->SumBlue = blue;
  LeafTotal -= merged - 1;
}

namespace {
void CollectLeaves(const TOctreeNode* Node, std::array<platform::TRGBQuad, 256>& Table, size_t& Next) {
  if (!Node) return;
  if (Node->Leaf) {
    if (Next >= Table.size()) return;
    platform::TRGBQuad& entry = Table[Next++];
    entry = {};
    if (Node->PixelTotal > 0) {
      entry.rgbRed = static_cast<uint8_t>(Node->SumRed / Node->PixelTotal);
      entry.rgbGreen = static_cast<uint8_t>(Node->SumGreen / Node->PixelTotal);
      entry.rgbBlue = static_cast<uint8_t>(Node->SumBlue / Node->PixelTotal);
    }
    return;
  }
  for (const TOctreeNode* child : Node->Children) CollectLeaves(child, Table, Next);
}
}  // namespace

void TColorQuantizer::FillColorTable(std::array<platform::TRGBQuad, 256>& Table) const {
  size_t next = 0;
  CollectLeaves(Root, Table, next);
}

void TColorQuantizer::FreeSubtree(TOctreeNode*& Node) {
  const bool whole = &Node == &Root;
  delete Node;
  Node = nullptr;
  if (whole) {
    LeafTotal = 0;
    ReducibleHeads.fill(nullptr);
  }
}

std::vector<platform::PALETTEENTRY> QuantizeEntries(const TColorQuantizer::TRowAt& RowAt, int32_t Width,
                                                    int32_t Height, int32_t Colors, int32_t Depth,
                                                    const platform::PALETTEENTRY* System) {
  // A table holds 256 entries; more colours than that is no palette at all.
  Colors = std::clamp<int32_t>(Colors, 1, 256);
  size_t first = 0;
  std::vector<platform::PALETTEENTRY> entries;
  if (System) {
    entries.resize(256);
    std::copy(System, System + 10, entries.begin());
    std::copy(System + 10, System + 20, entries.begin() + 246);
    Colors = 236;
    first = 10;
  } else {
    entries.resize(static_cast<size_t>(Colors));
  }

  std::array<platform::TRGBQuad, 256> table{};
  int32_t leaves = 0;
  {
    TColorQuantizer quantizer(Colors, Depth);
    quantizer.ScanRows(RowAt, Width, Height);
    quantizer.FillColorTable(table);
    leaves = quantizer.LeafTotal;
  }
  // The table fill leaves entries past the last leaf unset; repeating the
  // last leaf makes them harmless duplicates that a nearest-colour search
  // (ties to the lower index) never picks over the real one.
  for (int32_t i = leaves; i < Colors; ++i) table[static_cast<size_t>(i)] = i > 0 ? table[static_cast<size_t>(i - 1)] : platform::TRGBQuad{};
  for (int32_t i = 0; i < Colors; ++i) {
    const platform::TRGBQuad& q = table[static_cast<size_t>(i)];
    entries[first + static_cast<size_t>(i)] = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
  }
  return entries;
}

}  // namespace gif
