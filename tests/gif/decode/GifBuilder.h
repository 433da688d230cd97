#pragma once
// Test-only assembly of GIF streams block by block, with a plain LZW coder
// so that fixtures carry real image data.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

// Packs (code, width) pairs least significant bit first.
inline Bytes PackCodes(const std::vector<std::pair<int, int>>& codes) {
  Bytes out;
  uint32_t acc = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    acc |= static_cast<uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      out.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

// A textbook GIF LZW coder: clear code first, end code last, a clear code
// whenever the table fills.
inline std::vector<std::pair<int, int>> LzwCodes(const Bytes& pixels, int mcs) {
  const int clear = 1 << mcs, end = clear + 1;
  std::vector<std::pair<int, int>> codes;
  std::map<std::pair<int, int>, int> table;
  int next = clear + 2, width = mcs + 1;
  codes.push_back({clear, width});
  int prefix = -1;
  for (uint8_t p : pixels) {
    if (prefix < 0) {
      prefix = p;
      continue;
    }
    auto it = table.find({prefix, p});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    codes.push_back({prefix, width});
    if (next < 4096) {
      table[{prefix, p}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    } else {
      codes.push_back({clear, width});
      table.clear();
      next = clear + 2;
      width = mcs + 1;
    }
    prefix = p;
  }
  if (prefix >= 0) codes.push_back({prefix, width});
  codes.push_back({end, width});
  return codes;
}

// Wraps data into sub-blocks of at most Max bytes plus the terminator.
inline Bytes SubBlocks(const Bytes& data, size_t max = 255, bool terminator = true) {
  Bytes out;
  for (size_t i = 0; i < data.size(); i += max) {
    const size_t n = std::min(max, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  if (terminator) out.push_back(0);
  return out;
}

// Colour i of a fixture table.
inline uint8_t Red(int i) { return static_cast<uint8_t>(i * 7 + 1); }
inline uint8_t Green(int i) { return static_cast<uint8_t>(255 - i); }
inline uint8_t Blue(int i) { return static_cast<uint8_t>(i * 3 + 2); }

class GifBuilder {
public:
  GifBuilder& Raw(std::initializer_list<int> values) {
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  GifBuilder& Raw(const Bytes& values) {
    bytes.insert(bytes.end(), values.begin(), values.end());
    return *this;
  }
  GifBuilder& U16(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }
  GifBuilder& Text(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  // Signature, version and Logical Screen Descriptor.
  GifBuilder& Header(int w, int h, int packed = 0, int background = 0, int aspect = 0,
                     const std::string& signature = "GIF89a") {
    Text(signature).U16(w).U16(h);
    return Raw({packed, background, aspect});
  }
  GifBuilder& ColorTable(int n) {
    for (int i = 0; i < n; ++i) Raw({Red(i), Green(i), Blue(i)});
    return *this;
  }
  GifBuilder& Gce(int delay, int disposal, bool transparent, int index) {
    Raw({0x21, 0xF9, 4, (disposal << 2) | (transparent ? 1 : 0)}).U16(delay);
    return Raw({index, 0});
  }
  GifBuilder& Comment(const std::vector<std::string>& blocks) {
    Raw({0x21, 0xFE});
    for (const auto& b : blocks) Raw({static_cast<int>(b.size())}).Text(b);
    return Raw({0});
  }
  GifBuilder& Loop(int count, const std::string& id = "NETSCAPE2.0") {
    Raw({0x21, 0xFF, 11}).Text(id);
    Raw({3, 1}).U16(count);
    return Raw({0});
  }
  GifBuilder& Descriptor(int left, int top, int w, int h, int packed = 0) {
    Raw({0x2C}).U16(left).U16(top).U16(w).U16(h);
    return Raw({packed});
  }
  // Minimum code size byte and LZW-coded pixels in sub-blocks.
  GifBuilder& Pixels(const Bytes& pixels, int mcs = 2, size_t block = 255) {
    Raw({mcs});
    return Raw(SubBlocks(PackCodes(LzwCodes(pixels, mcs)), block));
  }
  GifBuilder& Codes(int mcs, const std::vector<std::pair<int, int>>& codes, size_t block = 255) {
    Raw({mcs});
    return Raw(SubBlocks(PackCodes(codes), block));
  }
  // A whole frame: descriptor, optional local table, pixels.
  GifBuilder& Frame(int left, int top, int w, int h, const Bytes& pixels, int packed = 0, int mcs = 2) {
    Descriptor(left, top, w, h, packed);
    if (packed & 0x80) ColorTable(2 << (packed & 7));
    return Pixels(pixels, mcs);
  }
  GifBuilder& Trailer() { return Raw({0x3B}); }

  Bytes bytes;
};

// Pixels 0..n-1 cycling through Colors values.
inline Bytes Ramp(int n, int colors) {
  Bytes out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 7 + i / 5) % colors);
  return out;
}

}  // namespace giftest
