#pragma once
// Test-side reader of GIF image data: splits the sub-blocks, reads the codes
// with the decoder's width rule of the GIF89a standard and expands them, so
// tests can check both the exact code sequence and the pixels it stands for.

#include <cstdint>
#include <string>
#include <vector>

namespace gif::test {

struct ImageData {
  int CodeSize = 0;
  std::vector<int> BlockLengths;  // the sub-block length bytes, in order
  bool Terminated = false;        // a zero length byte ended the blocks
  size_t Consumed = 0;            // bytes up to and including the terminator
  std::vector<int> Codes;
  std::vector<int> Widths;        // width each code was read at
  std::vector<uint8_t> Pixels;    // expansion, in stream order
  bool SawEnd = false;
  std::string Error;              // empty when the codes were all valid
};

inline ImageData ReadImageData(const uint8_t* data, size_t size) {
  ImageData out;
  if (size == 0) {
    out.Error = "no code size byte";
    return out;
  }
  out.CodeSize = data[0];
  std::vector<uint8_t> bytes;
  size_t at = 1;
  while (at < size) {
    const int n = data[at++];
    if (n == 0) {
      out.Terminated = true;
      break;
    }
    out.BlockLengths.push_back(n);
    for (int i = 0; i < n && at < size; ++i) bytes.push_back(data[at++]);
  }
  out.Consumed = at;

  const int clear = 1 << out.CodeSize, end = clear + 1;
  std::vector<int> prefix(4096, -1), suffix(4096, 0), length(4096, 1);
  for (int i = 0; i < clear; ++i) suffix[i] = i;
  int width = out.CodeSize + 1, next = clear + 2, prev = -1;
  std::vector<uint8_t> str;
  auto expand = [&](int code) {
    str.resize(length[code]);
    for (int c = code, i = length[code] - 1; i >= 0; --i, c = prefix[c]) str[i] = uint8_t(suffix[c]);
  };
  const size_t bits = bytes.size() * 8;
  size_t pos = 0;
  while (pos + width <= bits) {
    int code = 0;
    for (int b = 0; b < width; ++b, ++pos) code |= ((bytes[pos / 8] >> (pos % 8)) & 1) << b;
    out.Codes.push_back(code);
    out.Widths.push_back(width);
    if (code == clear) {
      width = out.CodeSize + 1;
      next = clear + 2;
      prev = -1;
      continue;
    }
    if (code == end) {
      out.SawEnd = true;
      break;
    }
    if (prev < 0) {
      if (code >= clear) {
        out.Error = "first code after clear is not a pixel: " + std::to_string(code);
        return out;
      }
      out.Pixels.push_back(uint8_t(code));
      prev = code;
      continue;
    }
    if (code > next || (code == next && next >= 4096)) {
      out.Error = "code " + std::to_string(code) + " beyond next free " + std::to_string(next);
      return out;
    }
    if (code < next) {
      expand(code);
    } else {
      expand(prev);
      str.push_back(str[0]);
    }
    out.Pixels.insert(out.Pixels.end(), str.begin(), str.end());
    if (next < 4096) {
      prefix[next] = prev;
      suffix[next] = str[0];
      length[next] = length[prev] + 1;
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    prev = code;
  }
  return out;
}

inline ImageData ReadImageData(const std::vector<uint8_t>& data) {
  return ReadImageData(data.data(), data.size());
}

// Pixel order of a frame in the stream: rows in the interlace passes or top to bottom.
inline std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  if (!interlaced) {
    for (int r = 0; r < height; ++r) rows.push_back(r);
    return rows;
  }
  static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int p = 0; p < 4; ++p)
    for (int r = start[p]; r < height; r += step[p]) rows.push_back(r);
  return rows;
}

inline std::vector<uint8_t> InStreamOrder(const std::vector<uint8_t>& pixels, int width, int height,
                                          bool interlaced) {
  std::vector<uint8_t> out;
  for (int r : RowOrder(height, interlaced))
    out.insert(out.end(), pixels.begin() + r * width, pixels.begin() + (r + 1) * width);
  return out;
}

}  // namespace gif::test
