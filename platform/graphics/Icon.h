#pragma once
// TIcon: a picture read from an .ico file. The file may hold several images
// (DIB entries of 1 to 32 bits with their AND masks, or PNG entries); the
// one that best fits the standard icon size is shown, drawn with its
// transparency. The file itself is kept and written back unchanged.

#include <cstdint>
#include <vector>

#include "platform/graphics/Graphic.h"

namespace platform {

class TIcon : public TGraphic {
public:
  TIcon() = default;
  const char* ClassName() const noexcept override { return "TIcon"; }

  // From another TIcon: an independent copy; nullptr empties the icon.
  void Assign(const TPersistent* Source) override;

  // Stretched to Rect; fully transparent pixels leave the canvas alone,
  // partly transparent ones blend with it.
  void Draw(TCanvas& Canvas, const TRect& Rect) override;
  bool GetEmpty() override { return pixels_.empty(); }
  int32_t GetWidth() override { return width_; }
  int32_t GetHeight() override { return height_; }
  bool GetTransparent() override { return true; }
  // An icon's size is its image's: EInvalidGraphicOperation
  // "Cannot change the size of an icon".
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;

  // Reads an .ico file from the stream's position to its end. A damaged file
  // raises EInvalidGraphic "Icon image is not valid" and leaves the icon as
  // it was.
  void LoadFromStream(TStream& Stream) override;
  // Writes the file that was read; an empty icon writes nothing.
  void SaveToStream(TStream& Stream) override;

  // The size every icon is fitted to when a file offers several.
  static constexpr int32_t StandardSize = 32;

  // The chosen image as straight (not premultiplied) 0xAARRGGBB values,
  // rows from the top; for tests and for converting to other pictures.
  uint32_t Pixel(int32_t X, int32_t Y) const { return pixels_[static_cast<size_t>(Y) * width_ + X]; }
  // Whether the chosen image has partial transparency (an alpha channel)
  // rather than only a mask.
  bool HasAlpha() const { return hasAlpha_; }
  int EntryCount() const { return entryCount_; }
  // Bits per pixel of the chosen image (32 for PNG entries).
  int BitCount() const { return bitCount_; }

private:
  std::vector<uint8_t> file_;
  std::vector<uint32_t> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool hasAlpha_ = false;
  int entryCount_ = 0;
  int bitCount_ = 0;
};

}  // namespace platform
