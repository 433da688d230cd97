#pragma once
// Drawing helpers shared by frame drawing, the picture's Draw and the
// painter. The frame's own rendering operations (RenderFrame, MaskReady,
// DrawFrame, ScaleFrameRect) are members of TGIFSubImage.

#include <cstdint>
#include <vector>

#include "platform/graphics/Gdi.h"

namespace gif {

// Copies the source rectangle, stretched to the destination rectangle,
// leaving the destination unchanged wherever the monochrome bitmap selected
// into MaskDC has a 1 bit. Raises EOutOfResources when a GDI object cannot
// be made.
bool MaskedStretchBlt(platform::HDC DstDC, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                      platform::HDC SrcDC, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                      platform::HDC MaskDC, int32_t MaskX, int32_t MaskY);

// Top-left corners of the tiles over R: columns from R.Left + OffsetX in
// steps of StepX while left of R.Right, each column from R.Top + OffsetY in
// steps of StepY while above R.Bottom; column by column, top to bottom.
// A step below 1 counts as 1, so a zero-sized screen cannot loop forever.
std::vector<platform::TPoint> TilePositions(const platform::TRect& R, int32_t OffsetX, int32_t OffsetY,
                                            int32_t StepX, int32_t StepY);

// Bytes per row of a frame's transparency mask (padded to 16 bits).
constexpr int32_t MaskRowBytes(int32_t Width) { return ((Width + 15) / 16) * 2; }

}  // namespace gif
