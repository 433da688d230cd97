#pragma once
// Runs one encoder over a pixel buffer and returns the image data it wrote.

#include <cstdint>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "gif/encode/Encoders.h"
#include "platform/rtl/Streams.h"

namespace gif::test {

enum class Kind { LZW, RLE };
inline const char* KindName(Kind k) { return k == Kind::LZW ? "LZW" : "RLE"; }

inline std::vector<uint8_t> EncodeFrame(Kind kind, int codeSize, int width, int height, bool interlaced,
                                        const std::vector<uint8_t>& pixels, int colorLimit = 256) {
  platform::TMemoryStream out;
  if (kind == Kind::LZW) {
    TLZWEncoder encoder;
    encoder.Encode(out, static_cast<uint8_t>(codeSize), width, height, interlaced, pixels.data(), colorLimit);
  } else {
    TRLEEncoder encoder;
    encoder.Encode(out, static_cast<uint8_t>(codeSize), width, height, interlaced, pixels.data(), colorLimit);
  }
  return {out.Memory(), out.Memory() + out.Size()};
}

// Pixels below `colors` whose neighbouring pairs never repeat, so LZW never
// finds a string longer than one pixel: one code and one new entry per pixel.
inline std::vector<uint8_t> DistinctPairs(size_t count, int colors, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::set<std::pair<int, int>> seen;
  std::vector<uint8_t> out{0};
  while (out.size() < count) {
    const int c = static_cast<int>(rng() % colors);
    if (seen.insert({out.back(), c}).second) out.push_back(static_cast<uint8_t>(c));
  }
  return out;
}

}  // namespace gif::test
