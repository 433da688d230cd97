// The pixel engine: native pixel rows per format, conversion between formats,
// raster operations evaluated from their truth tables, and the blit loop.
// Every blit has one shape: clip, leave early when nothing is left, choose the
// formats and the operation once, then run whole rows.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>

#include "platform/graphics/GdiObjects.h"

namespace platform::gdi {

namespace {

// ---- Native rows: one uint32 per pixel, the raw value of the format ----

using ReadRowFn = void (*)(const uint8_t* row, int32_t x, int32_t n, uint32_t* out);
using WriteRowFn = void (*)(uint8_t* row, int32_t x, int32_t n, const uint32_t* in);

void Read1(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  for (int32_t i = 0; i < n; ++i, ++x) out[i] = (row[x >> 3] >> (7 - (x & 7))) & 1u;
}
void Write1(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  for (int32_t i = 0; i < n; ++i, ++x) {
    const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
    if (in[i] & 1u) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
  }
}
void Read4(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  for (int32_t i = 0; i < n; ++i, ++x) out[i] = (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
}
void Write4(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  for (int32_t i = 0; i < n; ++i, ++x) {
    uint8_t& b = row[x >> 1];
    const uint8_t v = static_cast<uint8_t>(in[i] & 0x0Fu);
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
  }
}
void Read8(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  row += x;
  for (int32_t i = 0; i < n; ++i) out[i] = row[i];
}
void Write8(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  row += x;
  for (int32_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(in[i]);
}
void Read16(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  row += 2 * x;
  for (int32_t i = 0; i < n; ++i) out[i] = row[2 * i] | (static_cast<uint32_t>(row[2 * i + 1]) << 8);
}
void Write16(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  row += 2 * x;
  for (int32_t i = 0; i < n; ++i) {
    row[2 * i] = static_cast<uint8_t>(in[i]);
    row[2 * i + 1] = static_cast<uint8_t>(in[i] >> 8);
  }
}
void Read24(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  row += 3 * x;
  for (int32_t i = 0; i < n; ++i, row += 3)
    out[i] = row[0] | (static_cast<uint32_t>(row[1]) << 8) | (static_cast<uint32_t>(row[2]) << 16);
}
void Write24(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  row += 3 * x;
  for (int32_t i = 0; i < n; ++i, row += 3) {
    row[0] = static_cast<uint8_t>(in[i]);
    row[1] = static_cast<uint8_t>(in[i] >> 8);
    row[2] = static_cast<uint8_t>(in[i] >> 16);
  }
}
void Read32(const uint8_t* row, int32_t x, int32_t n, uint32_t* out) {
  std::memcpy(out, row + 4 * static_cast<size_t>(x), 4 * static_cast<size_t>(n));
}
void Write32(uint8_t* row, int32_t x, int32_t n, const uint32_t* in) {
  std::memcpy(row + 4 * static_cast<size_t>(x), in, 4 * static_cast<size_t>(n));
}

ReadRowFn ReaderFor(int bpp) {
  switch (bpp) {
    case 1: return Read1;
    case 4: return Read4;
    case 8: return Read8;
    case 16: return Read16;
    case 24: return Read24;
    default: return Read32;
  }
}
WriteRowFn WriterFor(int bpp) {
  switch (bpp) {
    case 1: return Write1;
    case 4: return Write4;
    case 8: return Write8;
    case 16: return Write16;
    case 24: return Write24;
    default: return Write32;
  }
}

// 5-bit and 6-bit components widened to 8 bits.
inline uint32_t Widen5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t Widen6(uint32_t v) { return (v << 2) | (v >> 4); }

inline uint32_t Quad16(uint32_t v, bool is565) {
  if (is565) return (Widen5((v >> 11) & 31) << 16) | (Widen6((v >> 5) & 63) << 8) | Widen5(v & 31);
  return (Widen5((v >> 10) & 31) << 16) | (Widen5((v >> 5) & 31) << 8) | Widen5(v & 31);
}
inline uint32_t Pack16(uint32_t q, bool is565) {
  const uint32_t r = (q >> 16) & 0xFF, g = (q >> 8) & 0xFF, b = q & 0xFF;
  if (is565) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
  return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
}

// Nearest colour with a small direct-mapped cache, for true colour into a
// palette surface.
class NearestCache {
 public:
  NearestCache(const uint32_t* table, size_t count) : table_(table), count_(count) {
    keys_.fill(0xFFFFFFFFu);
  }
  uint32_t operator()(uint32_t quad) {
    quad &= 0xFFFFFF;
    const size_t slot = ((quad * 2654435761u) >> 22) & (kSlots - 1);
    if (keys_[slot] == quad) return values_[slot];
    const uint32_t index = NearestIndex(table_, count_, quad);
    keys_[slot] = quad;
    values_[slot] = index;
    return index;
  }

 private:
  static constexpr size_t kSlots = 1024;
  const uint32_t* table_;
  size_t count_;
  std::array<uint32_t, kSlots> keys_;
  std::array<uint32_t, kSlots> values_{};
};

// Turns a row of source natives into destination natives.
class Converter {
 public:
  Converter(const Surface& src, const Surface& dst, const BlitParams& p) : src_(src), dst_(dst) {
    if (p.mode == ConvMode::Device && src.bpp == 1 && dst.bpp == 1) {
      kind_ = Identity;
    } else if (p.mode == ConvMode::Device && src.bpp == 1) {
      kind_ = Lut;
      lut_ = {NativeFromQuad(dst, p.destText), NativeFromQuad(dst, p.destBk)};
    } else if (p.mode == ConvMode::Device && dst.bpp == 1) {
      // Pixels showing the source's background colour become 1.
      const uint32_t shown = QuadFromNative(src, NativeFromQuad(src, p.srcBk)) & 0xFFFFFF;
      if (src.bpp <= 8) {
        kind_ = Lut;
        lut_.resize(size_t{1} << src.bpp);
        for (size_t i = 0; i < lut_.size(); ++i) lut_[i] = (src.colors[i] & 0xFFFFFF) == shown ? 1u : 0u;
      } else {
        kind_ = ToMono;
        monoKey_ = shown;
      }
    } else if (src.bpp <= 8) {
      if (src.bpp == dst.bpp && src.colors == dst.colors) {
        kind_ = Identity;
      } else {
        kind_ = Lut;
        lut_.resize(size_t{1} << src.bpp);
        if (dst.bpp <= 8) {
          NearestCache nearest(dst.colors.data(), dst.UsedColors());
          for (size_t i = 0; i < lut_.size(); ++i) lut_[i] = nearest(src.colors[i]);
        } else {
          for (size_t i = 0; i < lut_.size(); ++i) lut_[i] = NativeFromQuad(dst, src.colors[i]);
        }
      }
    } else if (dst.bpp <= 8) {
      kind_ = ToPalette;
      nearest_ = std::make_unique<NearestCache>(dst.colors.data(), dst.UsedColors());
    } else if (src.bpp == dst.bpp && (src.bpp != 16 || src.is565 == dst.is565)) {
      kind_ = Identity;
    } else {
      kind_ = TrueToTrue;
    }
  }

  bool IsIdentity() const { return kind_ == Identity; }

  void Run(const uint32_t* in, uint32_t* out, int32_t n) {
    switch (kind_) {
      case Identity:
        if (in != out) std::memcpy(out, in, 4 * static_cast<size_t>(n));
        break;
      case Lut: {
        const uint32_t* lut = lut_.data();
        const uint32_t mask = static_cast<uint32_t>(lut_.size() - 1);
        for (int32_t i = 0; i < n; ++i) out[i] = lut[in[i] & mask];
        break;
      }
      case ToMono:
        for (int32_t i = 0; i < n; ++i) out[i] = (QuadFromNative(src_, in[i]) & 0xFFFFFF) == monoKey_ ? 1u : 0u;
        break;
      case ToPalette:
        for (int32_t i = 0; i < n; ++i) out[i] = (*nearest_)(QuadFromNative(src_, in[i]));
        break;
      case TrueToTrue:
        for (int32_t i = 0; i < n; ++i) out[i] = NativeFromQuad(dst_, QuadFromNative(src_, in[i]));
        break;
    }
  }

 private:
  enum KindT { Identity, Lut, ToMono, ToPalette, TrueToTrue };
  const Surface& src_;
  const Surface& dst_;
  KindT kind_ = Identity;
  std::vector<uint32_t> lut_;
  uint32_t monoKey_ = 0;
  std::unique_ptr<NearestCache> nearest_;
};

// ---- Raster operations ----

inline bool RopUsesSource(uint8_t r) { return ((r >> 2) ^ r) & 0x33; }
inline bool RopUsesPattern(uint8_t r) { return ((r >> 4) ^ r) & 0x0F; }
inline bool RopUsesDest(uint8_t r) { return ((r >> 1) ^ r) & 0x55; }

// Applies ROP index r to n pixels; D is read and written.
void ApplyRop(uint8_t r, const uint32_t* P, const uint32_t* S, uint32_t* D, int32_t n) {
  switch (r) {
    case 0xCC: std::memcpy(D, S, 4 * static_cast<size_t>(n)); return;
    case 0x88: for (int32_t i = 0; i < n; ++i) D[i] &= S[i]; return;
    case 0xEE: for (int32_t i = 0; i < n; ++i) D[i] |= S[i]; return;
    case 0x66: for (int32_t i = 0; i < n; ++i) D[i] ^= S[i]; return;
    case 0x33: for (int32_t i = 0; i < n; ++i) D[i] = ~S[i]; return;
    case 0x44: for (int32_t i = 0; i < n; ++i) D[i] = S[i] & ~D[i]; return;
    case 0xBB: for (int32_t i = 0; i < n; ++i) D[i] |= ~S[i]; return;
    case 0x11: for (int32_t i = 0; i < n; ++i) D[i] = ~(S[i] | D[i]); return;
    case 0xF0: std::memcpy(D, P, 4 * static_cast<size_t>(n)); return;
    case 0x5A: for (int32_t i = 0; i < n; ++i) D[i] ^= P[i]; return;
    case 0xC0: for (int32_t i = 0; i < n; ++i) D[i] = P[i] & S[i]; return;
    case 0x55: for (int32_t i = 0; i < n; ++i) D[i] = ~D[i]; return;
    case 0xAA: return;
    case 0x00: std::fill(D, D + n, 0u); return;
    case 0xFF: std::fill(D, D + n, 0xFFFFFFFFu); return;
    default: break;
  }
  // Any other code: the sum of the minterms its truth table selects.
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t p = P ? P[i] : 0, s = S ? S[i] : 0, d = D[i];
    uint32_t out = 0;
    for (int m = 0; m < 8; ++m) {
      if (!((r >> m) & 1)) continue;
      out |= ((m & 4) ? p : ~p) & ((m & 2) ? s : ~s) & ((m & 1) ? d : ~d);
    }
    D[i] = out;
  }
}

// The 8x8 hatch patterns, one byte per row, bit 7 = leftmost column.
constexpr std::array<std::array<uint8_t, 8>, 6> kHatch = {{
    {0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
}};

// Scratch rows reused by every blit of a thread, so blits do not allocate
// once the rows are wide enough.
struct Scratch {
  std::vector<uint32_t> a, b, c, d, e;
  std::vector<int32_t> cols;
  void Reserve(size_t n, size_t srcSpan) {
    if (a.size() < n) { a.resize(n); b.resize(n); c.resize(n); d.resize(n); cols.resize(n); }
    if (e.size() < srcSpan) e.resize(srcSpan);
  }
};
thread_local Scratch tScratch;

// One row of a bitwise operation on raw bytes; the rows never overlap (a
// blit within one surface works from a snapshot), which lets it vectorise.
// Works eight bytes at a time, then byte by byte.
template <class Op>
inline void ByteOp(uint8_t* __restrict d, const uint8_t* __restrict s, size_t n, Op op) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, d + i, 8);
    std::memcpy(&b, s + i, 8);
    a = op(a, b);
    std::memcpy(d + i, &a, 8);
  }
  for (; i < n; ++i) d[i] = static_cast<uint8_t>(op(uint64_t{d[i]}, uint64_t{s[i]}));
}

// Maps destination offsets 0 .. dn-1 to source offsets for a stretch of
// sn source pixels (mirrored when asked); nearest pixel, no filtering.
inline int32_t MapOffset(int32_t i, int32_t dn, int32_t sn, bool mirror) {
  const int32_t j = static_cast<int32_t>((static_cast<int64_t>(i) * sn) / dn);
  return mirror ? sn - 1 - j : j;
}

}  // namespace

uint32_t NearestIndex(const uint32_t* table, size_t count, uint32_t quad) {
  const int r = (quad >> 16) & 0xFF, g = (quad >> 8) & 0xFF, b = quad & 0xFF;
  uint32_t best = 0;
  int bestDistance = 0x7FFFFFFF;
  for (size_t i = 0; i < count; ++i) {
    const int dr = static_cast<int>((table[i] >> 16) & 0xFF) - r;
    const int dg = static_cast<int>((table[i] >> 8) & 0xFF) - g;
    const int db = static_cast<int>(table[i] & 0xFF) - b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<uint32_t>(i);
      if (distance == 0) break;
    }
  }
  return best;
}

uint32_t NativeFromQuad(const Surface& s, uint32_t quad) {
  switch (s.bpp) {
    case 1:
    case 4:
    case 8: return NearestIndex(s.colors.data(), s.UsedColors(), quad);
    case 16: return Pack16(quad, s.is565);
    default: return quad & 0xFFFFFF;
  }
}

uint32_t QuadFromNative(const Surface& s, uint32_t native) {
  switch (s.bpp) {
    case 1:
    case 4:
    case 8: return native < s.colors.size() ? s.colors[native] & 0xFFFFFF : 0;
    case 16: return Quad16(native & 0xFFFF, s.is565);
    default: return native & 0xFFFFFF;
  }
}

uint32_t ReadNative(const Surface& s, int32_t x, int32_t y) {
  uint32_t v = 0;
  ReaderFor(s.bpp)(s.Row(y), x, 1, &v);
  return v;
}

void WriteNative(Surface& s, int32_t x, int32_t y, uint32_t native) {
  WriterFor(s.bpp)(s.Row(y), x, 1, &native);
}

void BlitSurfaces(Surface& dst, const TRect& clipIn, int32_t x, int32_t y, int32_t w, int32_t h,
                  const Surface* src, int32_t sx, int32_t sy, int32_t sw, int32_t sh, uint32_t ropCode,
                  const Surface* mask, int32_t mx, int32_t my, uint32_t foreCode,
                  const BlitParams& params) {
  const uint8_t rop = static_cast<uint8_t>(ropCode >> 16);
  const uint8_t foreRop = static_cast<uint8_t>(foreCode >> 16);
  const bool useSrc = RopUsesSource(rop) || (mask && RopUsesSource(foreRop));
  if (!useSrc) src = nullptr;
  if (w == 0 || h == 0) return;
  if (src && (sw == 0 || sh == 0)) return;
  if (!src) { sw = w; sh = h; }

  // Normalise negative extents: they mirror.
  bool mirrorX = false, mirrorY = false;
  if (w < 0) { x += w + 1; w = -w; mirrorX = !mirrorX; }
  if (h < 0) { y += h + 1; h = -h; mirrorY = !mirrorY; }
  if (sw < 0) { sx += sw + 1; sw = -sw; mirrorX = !mirrorX; }
  if (sh < 0) { sy += sh + 1; sh = -sh; mirrorY = !mirrorY; }
  const bool stretch = src && (sw != w || sh != h || mirrorX || mirrorY);

  // Clip the destination to the surface and the clip rectangle.
  TRect clip;
  if (!IntersectRect(clip, clipIn, Rect(0, 0, dst.width, dst.height))) return;
  int32_t x0 = std::max(x, clip.Left), x1 = std::min(x + w, clip.Right);
  int32_t y0 = std::max(y, clip.Top), y1 = std::min(y + h, clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;

  // Then trim whatever would read outside the source (the mapping is
  // monotonic, so out-of-range columns sit at the ends).
  auto srcCol = [&](int32_t dx) { return sx + MapOffset(dx - x, w, sw, mirrorX); };
  auto srcRow = [&](int32_t dy) { return sy + MapOffset(dy - y, h, sh, mirrorY); };
  if (src) {
    while (x0 < x1 && (srcCol(x0) < 0 || srcCol(x0) >= src->width)) ++x0;
    while (x1 > x0 && (srcCol(x1 - 1) < 0 || srcCol(x1 - 1) >= src->width)) --x1;
    while (y0 < y1 && (srcRow(y0) < 0 || srcRow(y0) >= src->height)) ++y0;
    while (y1 > y0 && (srcRow(y1 - 1) < 0 || srcRow(y1 - 1) >= src->height)) --y1;
    if (x0 >= x1 || y0 >= y1) return;
  }
  const int32_t n = x1 - x0;

  // Reading and writing the same pixels: work from a copy of the source.
  Surface snapshot;
  std::vector<uint8_t> snapshotBits;
  if (src && src->data == dst.data) {
    snapshot = *src;
    snapshotBits.assign(src->data, src->data + static_cast<size_t>(src->stride) * src->height);
    snapshot.data = snapshotBits.data();
    src = &snapshot;
  }

  const ReadRowFn readDst = ReaderFor(dst.bpp);
  const WriteRowFn writeDst = WriterFor(dst.bpp);

  std::unique_ptr<Converter> conv;
  if (src) conv = std::make_unique<Converter>(*src, dst, params);
  const bool identity = conv && conv->IsIdentity();

  // Fast paths on raw bytes: same format, no stretch, no mask, byte-aligned.
  if (src && !stretch && !mask && identity && dst.bpp >= 8) {
    const size_t bytesPerPixel = static_cast<size_t>(dst.bpp / 8);
    const size_t bytes = bytesPerPixel * static_cast<size_t>(n);
    const int32_t sx0 = srcCol(x0);
    auto rows = [&](auto op) {
      for (int32_t dy = y0; dy < y1; ++dy) {
        uint8_t* d = dst.Row(dy) + bytesPerPixel * static_cast<size_t>(x0);
        const uint8_t* s = src->Row(srcRow(dy)) + bytesPerPixel * static_cast<size_t>(sx0);
        op(d, s);
      }
    };
    switch (rop) {
      case 0xCC: rows([&](uint8_t* d, const uint8_t* s) { std::memcpy(d, s, bytes); }); return;
      case 0x88: rows([&](uint8_t* d, const uint8_t* s) { ByteOp(d, s, bytes, [](uint64_t a, uint64_t b) { return a & b; }); }); return;
      case 0xEE: rows([&](uint8_t* d, const uint8_t* s) { ByteOp(d, s, bytes, [](uint64_t a, uint64_t b) { return a | b; }); }); return;
      case 0x66: rows([&](uint8_t* d, const uint8_t* s) { ByteOp(d, s, bytes, [](uint64_t a, uint64_t b) { return a ^ b; }); }); return;
      case 0x33: rows([&](uint8_t* d, const uint8_t* s) { ByteOp(d, s, bytes, [](uint64_t, uint64_t b) { return ~b; }); }); return;
      default: break;
    }
  }
  // Stretched copies of the same byte-aligned format: gather bytes.
  if (src && stretch && !mask && identity && rop == 0xCC && dst.bpp >= 8) {
    Scratch& sc = tScratch;
    sc.Reserve(static_cast<size_t>(n), 0);
    for (int32_t i = 0; i < n; ++i) sc.cols[static_cast<size_t>(i)] = srcCol(x0 + i);
    const int32_t* cols = sc.cols.data();
    for (int32_t dy = y0; dy < y1; ++dy) {
      uint8_t* d = dst.Row(dy);
      const uint8_t* s = src->Row(srcRow(dy));
      switch (dst.bpp) {
        case 8: for (int32_t i = 0; i < n; ++i) d[x0 + i] = s[cols[i]]; break;
        case 16:
          for (int32_t i = 0; i < n; ++i) std::memcpy(d + 2 * (x0 + i), s + 2 * cols[i], 2);
          break;
        case 24:
          for (int32_t i = 0; i < n; ++i) std::memcpy(d + 3 * (x0 + i), s + 3 * cols[i], 3);
          break;
        default: {
          uint32_t* d32 = reinterpret_cast<uint32_t*>(d) + x0;
          const uint32_t* s32 = reinterpret_cast<const uint32_t*>(s);
          for (int32_t i = 0; i < n; ++i) d32[i] = s32[cols[i]];
          break;
        }
      }
    }
    return;
  }

  // The general path on native rows.
  int32_t spanStart = 0, spanLen = 0;
  if (src) {
    const int32_t c0 = srcCol(x0), c1 = srcCol(x1 - 1);
    spanStart = std::min(c0, c1);
    spanLen = std::abs(c1 - c0) + 1;
  }
  Scratch& sc = tScratch;
  sc.Reserve(static_cast<size_t>(n), static_cast<size_t>(spanLen));
  uint32_t* S = sc.a.data();
  uint32_t* D = sc.b.data();
  uint32_t* P = sc.c.data();
  uint32_t* F = sc.d.data();
  uint32_t* T = sc.e.data();
  int32_t* cols = sc.cols.data();
  if (src && stretch)
    for (int32_t i = 0; i < n; ++i) cols[i] = srcCol(x0 + i) - spanStart;
  const ReadRowFn readSrc = src ? ReaderFor(src->bpp) : nullptr;

  const bool usePat = RopUsesPattern(rop) || (mask && RopUsesPattern(foreRop));
  bool useDst = RopUsesDest(rop) || (mask && RopUsesDest(foreRop)) || mask;
  uint32_t patFore = 0, patBack = 0;
  bool hatched = false;
  int hatch = 0;
  if (usePat) {
    if (params.brush) {
      patFore = NativeFromQuad(dst, QuadFromColorRef(params.brush->lb.lbColor));
      if (params.brush->lb.lbStyle == BS_HATCHED && params.brush->lb.lbHatch < kHatch.size()) {
        hatched = true;
        hatch = static_cast<int>(params.brush->lb.lbHatch);
        patBack = NativeFromQuad(dst, params.brushBk);
      }
    }
    if (!hatched) std::fill(P, P + n, patFore);
  }
  // A hatched brush in TRANSPARENT mode paints only its lines.
  const bool keepGaps = hatched && params.hatchGapsKeep && !mask;
  if (keepGaps) useDst = true;
  uint8_t hatchBits = 0;
  const ReadRowFn readMask = mask ? ReaderFor(1) : nullptr;

  for (int32_t dy = y0; dy < y1; ++dy) {
    if (src) {
      const uint8_t* srow = src->Row(srcRow(dy));
      if (stretch) {
        readSrc(srow, spanStart, spanLen, T);
        for (int32_t i = 0; i < n; ++i) S[i] = T[cols[i]];
      } else {
        readSrc(srow, srcCol(x0), n, S);
      }
      conv->Run(S, S, n);
    }
    if (usePat && hatched) {
      hatchBits = kHatch[static_cast<size_t>(hatch)][static_cast<size_t>(dy & 7)];
      for (int32_t i = 0; i < n; ++i) P[i] = ((hatchBits >> (7 - ((x0 + i) & 7))) & 1) ? patFore : patBack;
    }
    uint8_t* drow = dst.Row(dy);
    if (useDst) readDst(drow, x0, n, D);
    if (mask) {
      std::memcpy(F, D, 4 * static_cast<size_t>(n));
      ApplyRop(foreRop, P, S, F, n);
      ApplyRop(rop, P, S, D, n);
      const int32_t maskRow = my + (dy - y);
      const int32_t maskCol0 = mx + (x0 - x);
      if (maskRow >= 0 && maskRow < mask->height) {
        const uint8_t* mrow = mask->Row(maskRow);
        for (int32_t i = 0; i < n; ++i) {
          const int32_t mc = maskCol0 + i;
          if (mc < 0 || mc >= mask->width) continue;
          uint32_t bit = 0;
          readMask(mrow, mc, 1, &bit);
          if (bit) D[i] = F[i];
        }
      }
    } else if (keepGaps) {
      std::memcpy(F, D, 4 * static_cast<size_t>(n));
      ApplyRop(rop, P, S, D, n);
      for (int32_t i = 0; i < n; ++i)
        if (!((hatchBits >> (7 - ((x0 + i) & 7))) & 1)) D[i] = F[i];
    } else {
      ApplyRop(rop, P, S, D, n);
    }
    writeDst(drow, x0, n, D);
  }
}

void ConvertRows(const Surface& src, int32_t srcRow, Surface& dst, int32_t dstRow, int32_t rows,
                 int32_t width) {
  if (rows <= 0 || width <= 0) return;
  BlitParams params;
  params.mode = ConvMode::Colors;
  Converter conv(src, dst, params);
  Scratch& sc = tScratch;
  sc.Reserve(static_cast<size_t>(width), 0);
  uint32_t* S = sc.a.data();
  const ReadRowFn read = ReaderFor(src.bpp);
  const WriteRowFn write = WriterFor(dst.bpp);
  for (int32_t r = 0; r < rows; ++r) {
    if (conv.IsIdentity() && src.bpp == dst.bpp && src.bpp >= 8) {
      std::memcpy(dst.Row(dstRow + r), src.Row(srcRow + r), static_cast<size_t>(width) * (src.bpp / 8));
      continue;
    }
    read(src.Row(srcRow + r), 0, width, S);
    conv.Run(S, S, width);
    write(dst.Row(dstRow + r), 0, width, S);
  }
}

void BlendCoverage(Surface& dst, const TRect& clipIn, int32_t x, int32_t y, const uint8_t* coverage,
                   int32_t w, int32_t h, int32_t pitch, uint32_t quad) {
  TRect clip;
  if (!IntersectRect(clip, clipIn, Rect(0, 0, dst.width, dst.height))) return;
  const int32_t x0 = std::max(x, clip.Left), x1 = std::min(x + w, clip.Right);
  const int32_t y0 = std::max(y, clip.Top), y1 = std::min(y + h, clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  const int32_t n = x1 - x0;
  Scratch& sc = tScratch;
  sc.Reserve(static_cast<size_t>(n), 0);
  uint32_t* D = sc.a.data();
  const ReadRowFn read = ReaderFor(dst.bpp);
  const WriteRowFn write = WriterFor(dst.bpp);
  const uint32_t full = NativeFromQuad(dst, quad);
  const int cr = (quad >> 16) & 0xFF, cg = (quad >> 8) & 0xFF, cb = quad & 0xFF;
  std::unique_ptr<NearestCache> nearest;
  if (dst.bpp <= 8) nearest = std::make_unique<NearestCache>(dst.colors.data(), dst.UsedColors());
  for (int32_t dy = y0; dy < y1; ++dy) {
    const uint8_t* cov = coverage + static_cast<size_t>(dy - y) * static_cast<size_t>(pitch) + (x0 - x);
    uint8_t* row = dst.Row(dy);
    read(row, x0, n, D);
    for (int32_t i = 0; i < n; ++i) {
      const int a = cov[i];
      if (a == 0) continue;
      if (a == 255) { D[i] = full; continue; }
      const uint32_t d = QuadFromNative(dst, D[i]);
      const int r = (cr * a + static_cast<int>((d >> 16) & 0xFF) * (255 - a) + 127) / 255;
      const int g = (cg * a + static_cast<int>((d >> 8) & 0xFF) * (255 - a) + 127) / 255;
      const int b = (cb * a + static_cast<int>(d & 0xFF) * (255 - a) + 127) / 255;
      const uint32_t q = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
      D[i] = nearest ? (*nearest)(q) : NativeFromQuad(dst, q);
    }
    write(row, x0, n, D);
  }
}

}  // namespace platform::gdi
