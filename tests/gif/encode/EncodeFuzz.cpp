// Fuzz target: any pixels, code size, width, interlacing and encoder must
// give image data that decodes back to the same pixels in stream order.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "CodeReader.h"
#include "EncodeHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const auto kind = (data[0] & 1) ? gif::test::Kind::RLE : gif::test::Kind::LZW;
  const bool interlaced = (data[0] & 2) != 0;
  const bool runs = (data[0] & 4) != 0;  // the rest is (value, length) pairs
  const int bits = 1 + (data[1] & 7);
  const int width = 1 + data[2];
  const uint8_t mask = static_cast<uint8_t>((1 << bits) - 1);
  std::vector<uint8_t> pixels;
  constexpr size_t MaxPixels = size_t{1} << 16;  // keeps each run short
  for (size_t i = 3; i < size && pixels.size() < MaxPixels; ++i) {
    if (!runs) {
      pixels.push_back(data[i] & mask);
    } else if (i + 1 < size) {
      pixels.insert(pixels.end(), 1 + data[i + 1] * 37u, static_cast<uint8_t>(data[i] & mask));
      ++i;
    }
  }
  const int height = static_cast<int>(pixels.size() / width);
  if (height == 0) return 0;
  pixels.resize(static_cast<size_t>(width) * height);
  const auto encoded = gif::test::EncodeFrame(kind, bits, width, height, interlaced, pixels, 1 << bits);
  const auto read = gif::test::ReadImageData(encoded);
  if (!read.Error.empty() || !read.SawEnd || !read.Terminated ||
      read.Pixels != gif::test::InStreamOrder(pixels, width, height, interlaced))
    std::abort();
  return 0;
}
