#pragma once
// giflib as an independent reader of what we write: decodes a GIF held in
// memory and returns each frame's pixel indices, rows from the top.

#include <gif_lib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gif::test {

struct GiflibResult {
  std::string Error;  // empty on success
  std::vector<std::vector<uint8_t>> Frames;
  std::vector<int> Widths, Heights;
};

inline GiflibResult GiflibDecode(const std::vector<uint8_t>& bytes) {
  struct Source {
    const std::vector<uint8_t>* Bytes;
    size_t At;
  } source{&bytes, 0};
  auto read = [](GifFileType* file, GifByteType* buffer, int count) -> int {
    auto* s = static_cast<Source*>(file->UserData);
    const size_t n = std::min(static_cast<size_t>(count), s->Bytes->size() - s->At);
    std::memcpy(buffer, s->Bytes->data() + s->At, n);
    s->At += n;
    return static_cast<int>(n);
  };
  GiflibResult result;
  int error = 0;
  GifFileType* file = DGifOpen(&source, read, &error);
  if (file == nullptr) {
    result.Error = GifErrorString(error);
    return result;
  }
  if (DGifSlurp(file) != GIF_OK) {
    result.Error = GifErrorString(file->Error);
  } else {
    for (int i = 0; i < file->ImageCount; ++i) {
      const SavedImage& image = file->SavedImages[i];
      const size_t n = static_cast<size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
      result.Frames.emplace_back(image.RasterBits, image.RasterBits + n);
      result.Widths.push_back(image.ImageDesc.Width);
      result.Heights.push_back(image.ImageDesc.Height);
    }
  }
  DGifCloseFile(file, &error);
  return result;
}

// A minimal GIF around one frame's image data: a global table of 2^bits greys.
inline std::vector<uint8_t> WrapInGif(int width, int height, int bits, bool interlaced,
                                      const std::vector<uint8_t>& imageData) {
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
  auto le16 = [&](int v) {
    gif.push_back(uint8_t(v));
    gif.push_back(uint8_t(v >> 8));
  };
  le16(width);  // Logical Screen Descriptor
  le16(height);
  gif.push_back(uint8_t(0x80 | ((bits - 1) << 4) | (bits - 1)));
  gif.push_back(0);
  gif.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) gif.insert(gif.end(), 3, uint8_t(i * 255 / (((1 << bits) - 1) | 1)));
  gif.push_back(0x2C);  // Image Descriptor
  le16(0);
  le16(0);
  le16(width);
  le16(height);
  gif.push_back(interlaced ? 0x40 : 0x00);
  gif.insert(gif.end(), imageData.begin(), imageData.end());
  gif.push_back(0x3B);
  return gif;
}

}  // namespace gif::test
