#pragma once
// TMetafile: a picture made of drawing records, read from a Windows
// metafile (.wmf, placeable or plain) or an enhanced metafile (.emf).
// Drawing plays the records into the target rectangle: mapping modes and
// transforms, pens, brushes, fonts, the common shapes, text, paths and
// embedded bitmaps. Records it does not know are skipped; a malformed one
// ends the playback. The file is kept and written back unchanged.

#include <cstdint>
#include <vector>

#include "platform/graphics/Graphic.h"

namespace platform {

class TMetafile : public TGraphic {
public:
  TMetafile() = default;
  const char* ClassName() const noexcept override { return "TMetafile"; }

  // From another TMetafile: an independent copy; nullptr empties it.
  void Assign(const TPersistent* Source) override;

  // Plays the records with the picture's frame mapped onto Rect; nothing is
  // drawn outside Rect. The background is left alone.
  void Draw(TCanvas& Canvas, const TRect& Rect) override;
  bool GetEmpty() override { return data_.empty(); }
  // Pixels at 96 per inch, from the header's bounds.
  int32_t GetWidth() override { return width_; }
  int32_t GetHeight() override { return height_; }
  bool GetTransparent() override { return true; }
  // The size the picture is shown at when drawn at its own size.
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;

  // Reads a whole metafile from the stream's position to its end. Anything
  // else raises EInvalidGraphic "Metafile is not valid" and leaves the
  // picture as it was.
  void LoadFromStream(TStream& Stream) override;
  // Writes the file that was read; an empty picture writes nothing.
  void SaveToStream(TStream& Stream) override;

  // An enhanced metafile (.emf) rather than a Windows metafile (.wmf).
  bool Enhanced() const { return enhanced_; }
  // The picture's size in hundredths of a millimetre.
  int32_t MMWidth() const { return mmWidth_; }
  int32_t MMHeight() const { return mmHeight_; }

private:
  std::vector<uint8_t> data_;
  bool enhanced_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t mmWidth_ = 0;
  int32_t mmHeight_ = 0;
};

}  // namespace platform
