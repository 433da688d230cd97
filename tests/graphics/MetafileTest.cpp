#include "platform/graphics/Metafile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/Gdi.h"
#include "platform/rtl/Exceptions.h"

namespace {

using platform::TMetafile;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutF(Bytes& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  Put32(b, v);
}

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;  // COLORREF

// ---- Windows metafile records: size in words, function, parameters (most
// of them in reverse order, as the format stores them) ----
struct Wmf {
  Bytes Records;
  void Rec(uint16_t function, const std::vector<uint16_t>& params, const Bytes& tail = {}) {
    Put32(Records, uint32_t(3 + params.size() + tail.size() / 2));
    Put16(Records, function);
    for (uint16_t p : params) Put16(Records, p);
    Records.insert(Records.end(), tail.begin(), tail.end());
  }
  void Brush(uint32_t color, uint16_t style = 0) {
    Rec(0x02FC, {style, uint16_t(color), uint16_t(color >> 16), 0});
  }
  void Pen(uint32_t color, uint16_t width, uint16_t style = 0) {
    Rec(0x02FA, {style, width, 0, uint16_t(color), uint16_t(color >> 16)});
  }
  void Select(uint16_t i) { Rec(0x012D, {i}); }
  void Delete(uint16_t i) { Rec(0x01F0, {i}); }
  void Rectangle(int l, int t, int r, int b) { Rec(0x041B, {uint16_t(b), uint16_t(r), uint16_t(t), uint16_t(l)}); }
  void Ellipse(int l, int t, int r, int b) { Rec(0x0418, {uint16_t(b), uint16_t(r), uint16_t(t), uint16_t(l)}); }
  void MoveTo(int x, int y) { Rec(0x0214, {uint16_t(y), uint16_t(x)}); }
  void LineTo(int x, int y) { Rec(0x0213, {uint16_t(y), uint16_t(x)}); }
  void Polygon(const std::vector<std::pair<int, int>>& pts) {
    std::vector<uint16_t> p{uint16_t(pts.size())};
    for (auto [x, y] : pts) p.push_back(uint16_t(x)), p.push_back(uint16_t(y));
    Rec(0x0324, p);
  }
  void Font(int height, const char* face) {
    Bytes f;
    for (int v : {height, 0, 0, 0, 400}) Put16(f, uint16_t(v));
    for (int i = 0; i < 8; ++i) f.push_back(0);
    Bytes name(32, 0);
    std::memcpy(name.data(), face, std::strlen(face));
    f.insert(f.end(), name.begin(), name.end());
    Rec(0x02FB, {}, f);
  }
  void TextOut(int x, int y, const std::string& s) {
    Bytes t(s.begin(), s.end());
    if (t.size() % 2) t.push_back(0);
    Bytes tail = t;
    Put16(tail, uint16_t(y));
    Put16(tail, uint16_t(x));
    Rec(0x0521, {uint16_t(s.size())}, tail);
  }
  // A placeable file with bounds (0, 0, w, h) at 96 units per inch.
  Bytes File(int w, int h, uint16_t inch = 96) const {
    Bytes f;
    Put32(f, 0x9AC6CDD7);
    Put16(f, 0);
    for (int v : {0, 0, w, h}) Put16(f, uint16_t(v));
    Put16(f, inch);
    Put32(f, 0);
    Put16(f, 0);  // checksum (not checked)
    Put16(f, 1);  // METAHEADER: in memory, 9 words, version 3
    Put16(f, 9);
    Put16(f, 0x0300);
    Put32(f, uint32_t(9 + Records.size() / 2 + 3));
    Put16(f, 8);
    Put32(f, 64);
    Put16(f, 0);
    f.insert(f.end(), Records.begin(), Records.end());
    Put32(f, 3);  // EOF
    Put16(f, 0);
    return f;
  }
};

// ---- Enhanced metafile records: type, size, parameters ----
struct Emf {
  Bytes Records;
  int Count = 0;
  void Rec(uint32_t type, const Bytes& params) {
    Put32(Records, type);
    Put32(Records, uint32_t(8 + params.size()));
    Records.insert(Records.end(), params.begin(), params.end());
    ++Count;
  }
  static Bytes Ints(const std::vector<int32_t>& v) {
    Bytes b;
    for (int32_t x : v) Put32(b, uint32_t(x));
    return b;
  }
  void Brush(uint32_t handle, uint32_t color, uint32_t style = 0, uint32_t hatch = 0) {
    Rec(39, Ints({int32_t(handle), int32_t(style), int32_t(color), int32_t(hatch)}));
  }
  void Pen(uint32_t handle, uint32_t color, int width, uint32_t style = 0) {
    Rec(38, Ints({int32_t(handle), int32_t(style), width, 0, int32_t(color)}));
  }
  void Select(uint32_t handle) { Rec(37, Ints({int32_t(handle)})); }
  void Rectangle(int l, int t, int r, int b) { Rec(43, Ints({l, t, r, b})); }
  void Ellipse(int l, int t, int r, int b) { Rec(42, Ints({l, t, r, b})); }
  void PolyPolygon16(const std::vector<std::vector<std::pair<int, int>>>& polys) {
    Bytes p = Ints({0, 0, 0, 0, int32_t(polys.size())});
    size_t total = 0;
    for (auto& poly : polys) total += poly.size();
    Put32(p, uint32_t(total));
    for (auto& poly : polys) Put32(p, uint32_t(poly.size()));
    for (auto& poly : polys)
      for (auto [x, y] : poly) Put16(p, uint16_t(x)), Put16(p, uint16_t(y));
    Rec(91, p);
  }
  void Translate(float dx, float dy) {
    Bytes p;
    for (float f : {1.f, 0.f, 0.f, 1.f, dx, dy}) PutF(p, f);
    Put32(p, 2);  // left multiply
    Rec(36, p);
  }
  void Identity() {
    Bytes p;
    for (float f : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f}) PutF(p, f);
    Put32(p, 1);
    Rec(36, p);
  }
  void Font(uint32_t handle, int height, const std::u16string& face) {
    Bytes p = Ints({int32_t(handle), height, 0, 0, 0, 400});
    for (int i = 0; i < 8; ++i) p.push_back(0);
    for (size_t i = 0; i < 32; ++i) Put16(p, i < face.size() ? face[i] : 0);
    Rec(82, p);
  }
  void TextOutW(int x, int y, const std::u16string& s) {
    // Bounds, graphics mode, scales, EMRTEXT (reference, count, string
    // offset, options, rectangle, dx offset), the string.
    Bytes p = Ints({0, 0, 0, 0, 1});
    PutF(p, 1);
    PutF(p, 1);
    for (int32_t v : {x, y, int32_t(s.size()), 8 + 68, 0, 0, 0, 0, 0, 0}) Put32(p, uint32_t(v));
    for (char16_t c : s) Put16(p, c);
    while (p.size() % 4) p.push_back(0);
    Rec(84, p);
  }
  // A 2x2 24-bit DIB stretched over the destination rectangle.
  void StretchDib(int x, int y, int w, int h, const std::array<uint32_t, 4>& rgbTopDown) {
    Bytes bmi = Ints({40, 2, 2});
    Put16(bmi, 1);
    Put16(bmi, 24);
    for (int i = 0; i < 6; ++i) Put32(bmi, 0);
    Bytes bits;
    for (int row : {1, 0})  // bottom-up
      for (int col = 0; col < 2; ++col) {
        const uint32_t c = rgbTopDown[size_t(row * 2 + col)];  // COLORREF
        bits.push_back(uint8_t(c >> 16)), bits.push_back(uint8_t(c >> 8)), bits.push_back(uint8_t(c));
        if (col == 1) bits.push_back(0), bits.push_back(0);
      }
    const int32_t offBmi = 8 + 72;
    const int32_t offBits = offBmi + int32_t(bmi.size());
    Bytes p = Ints({0, 0, 0, 0, x, y, 0, 0, 2, 2, offBmi, int32_t(bmi.size()), offBits, int32_t(bits.size()), 0,
                    0x00CC0020, w, h});
    p.insert(p.end(), bmi.begin(), bmi.end());
    p.insert(p.end(), bits.begin(), bits.end());
    Rec(81, p);
  }
  // Frame in hundredths of a millimetre; the reference device 96 pixels per
  // inch (3780 per metre): 1000 x 1000 pixels in 264.58 x 264.58 mm.
  Bytes File(int frameW, int frameH) const {
    Bytes f;
    Bytes head = Ints({0, 0, 99, 99, 0, 0, frameW, frameH, 0x464D4520, 0x10000, 0, Count + 2, 8, 0, 0, 0,
                       1000, 1000, 265, 265});
    Put32(f, 1);
    Put32(f, uint32_t(8 + head.size()));
    f.insert(f.end(), head.begin(), head.end());
    f.insert(f.end(), Records.begin(), Records.end());
    Put32(f, 14);  // EOF: no palette
    Put32(f, 20);
    Put32(f, 0), Put32(f, 16), Put32(f, 20);
    const uint32_t size = uint32_t(f.size());
    std::memcpy(&f[8 + 40], &size, 4);  // nBytes
    return f;
  }
};

void Load(TMetafile& m, const Bytes& data) {
  platform::TMemoryStream s;
  s.Write(data.data(), int32_t(data.size()));
  s.SetPosition(0);
  m.LoadFromStream(s);
}

// A 32-bit surface to draw on, filled with one colour (COLORREF order).
class Surface {
public:
  Surface(int w, int h, uint32_t fill = 0xFFFFFF) : w_(w), h_(h) {
    platform::BITMAPINFO info{};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = platform::CreateDIBSection(nullptr, &info, platform::DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = platform::CreateCompatibleDC(nullptr);
    old_ = platform::SelectObject(dc_, bitmap_);
    const uint32_t bgr = ((fill & 0xFF) << 16) | (fill & 0xFF00) | ((fill >> 16) & 0xFF);
    for (int i = 0; i < w * h; ++i) bits_[i] = bgr;
    canvas_.SetHandle(dc_);
  }
  ~Surface() {
    canvas_.SetHandle(nullptr);
    platform::SelectObject(dc_, old_);
    platform::DeleteDC(dc_);
    platform::DeleteObject(bitmap_);
  }
  platform::TCanvas& Canvas() { return canvas_; }
  // COLORREF of a pixel.
  uint32_t At(int x, int y) const {
    const uint32_t v = bits_[y * w_ + x];
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  }
  int Count(uint32_t color, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += At(x, y) == color;
    return n;
  }
  // Pixels darker than mid grey.
  int Dark(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += (At(x, y) & 0xFF) < 128 && ((At(x, y) >> 8) & 0xFF) < 128;
    return n;
  }
  int Width() const { return w_; }
  int Height() const { return h_; }

private:
  int w_, h_;
  platform::HBITMAP bitmap_ = nullptr, old_ = nullptr;
  platform::HDC dc_ = nullptr;
  uint32_t* bits_ = nullptr;
  platform::TCanvas canvas_;
};

Wmf ShapesWmf() {
  Wmf w;
  w.Brush(kRed);          // object 0
  w.Select(0);
  w.Pen(0, 0, 5);         // object 1: null pen
  w.Select(1);
  w.Rectangle(10, 10, 30, 30);
  w.Brush(kBlue);         // object 2
  w.Select(2);
  w.Ellipse(50, 5, 90, 45);
  w.Select(0);
  w.Delete(2);
  w.Brush(kGreen);        // takes the freed slot 2
  w.Select(2);
  w.Polygon({{0, 48}, {8, 40}, {16, 48}});
  w.Pen(0, 1);            // object 3: black, one pixel
  w.Select(3);
  w.MoveTo(5, 2);
  w.LineTo(95, 2);
  return w;
}

TEST(Metafile, WindowsMetafileDrawsShapesWhereItsFrameSays) {
  const size_t objects = platform::GdiObjectCount();
  TMetafile m;
  Load(m, ShapesWmf().File(100, 50));
  EXPECT_FALSE(m.Enhanced());
  EXPECT_EQ(m.Width(), 100);
  EXPECT_EQ(m.Height(), 50);
  EXPECT_EQ(m.MMWidth(), 2646);
  EXPECT_TRUE(m.Transparent());

  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    Surface s(100 * scale + 20, 50 * scale + 20);
    s.Canvas().StretchDraw({10, 10, 10 + 100 * scale, 10 + 50 * scale}, &m);
    auto at = [&](int x, int y) { return s.At(10 + x * scale, 10 + y * scale); };
    // The rectangle covers its left/top edge up to right/bottom - 1.
    EXPECT_EQ(s.Count(kRed, 0, 0, s.Width(), s.Height()), 20 * 20 * scale * scale);
    EXPECT_EQ(at(10, 10), kRed);
    EXPECT_EQ(at(29, 29), kRed);
    EXPECT_EQ(s.At(10 + 30 * scale, 10 + 29 * scale), 0xFFFFFFu);
    EXPECT_EQ(at(70, 25), kBlue);          // the ellipse's centre
    EXPECT_EQ(at(51, 6), 0xFFFFFFu);       // its box's corner is outside it
    EXPECT_EQ(at(8, 46), kGreen);          // the triangle
    EXPECT_EQ(at(1, 41), 0xFFFFFFu);
    EXPECT_EQ(at(5, 2), 0u);               // the line
    EXPECT_EQ(at(94, 2), 0u);
    // One pixel wide it leaves out its end point; wider pens get round caps.
    if (scale == 1) {
      EXPECT_EQ(s.At(10 + 95, 10 + 2), 0xFFFFFFu);
    }
    EXPECT_EQ(s.At(5, 5), 0xFFFFFFu);      // nothing outside the target
  }
  EXPECT_EQ(platform::GdiObjectCount(), objects);
}

TEST(Metafile, TextComesOutInTheSelectedFontAndColour) {
  Wmf w;
  w.Font(-20, "Arial");
  w.Select(0);
  w.Rec(0x0209, {0x00FF, 0x0000});  // text colour red
  w.Rec(0x0102, {1});                // transparent background
  w.TextOut(10, 5, "Hello");
  TMetafile m;
  Load(m, w.File(120, 40));
  Surface s(120, 40);
  s.Canvas().Draw(0, 0, &m);
  // Red ink inside the text cell starting at (10, 5), none elsewhere.
  const int width = platform::TextWidth({.Name = "Arial", .Height = -20}, "Hello");
  const int height = platform::TextHeight({.Name = "Arial", .Height = -20});
  int inside = 0, outside = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) {
      const uint32_t c = s.At(x, y);
      if (c == 0xFFFFFF) continue;
      // Red blended over white: full red, equal green and blue.
      EXPECT_EQ(c & 0xFF, 0xFFu);
      EXPECT_EQ((c >> 8) & 0xFF, (c >> 16) & 0xFF);
      const bool in = x >= 9 && x < 10 + width + 1 && y >= 5 && y < 5 + height;
      (in ? inside : outside)++;
    }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);
  EXPECT_GT(s.Count(kRed, 0, 0, 120, 40), 20);
}

TEST(Metafile, EnhancedMetafilePlaysTransformsPathsBitmapsAndText) {
  Emf e;
  e.Brush(1, kRed);
  e.Select(1);
  e.Select(0x80000008u);  // the null pen
  e.Rectangle(0, 0, 10, 10);
  e.Translate(20, 0);     // everything after moves 20 pixels right
  e.Rectangle(0, 0, 10, 10);
  e.Identity();
  // A square with a square hole: even-odd leaves the hole empty.
  e.Brush(2, kBlue);
  e.Select(2);
  e.PolyPolygon16({{{40, 0}, {60, 0}, {60, 20}, {40, 20}}, {{45, 5}, {55, 5}, {55, 15}, {45, 15}}});
  // A path: a triangle filled green.
  e.Brush(3, kGreen);
  e.Select(3);
  e.Rec(59, {});
  e.Rec(27, Emf::Ints({70, 0}));
  e.Rec(54, Emf::Ints({90, 0}));
  e.Rec(54, Emf::Ints({80, 20}));
  e.Rec(61, {});
  e.Rec(60, {});
  e.Rec(62, Emf::Ints({0, 0, 0, 0}));
  // A 2x2 bitmap stretched to 20x20 at (0, 30).
  e.StretchDib(0, 30, 20, 20, {kRed, kGreen, kBlue, 0x00FFFF});
  // Text in black on a transparent background.
  e.Rec(18, Emf::Ints({1}));
  e.Font(4, -16, u"Times New Roman");
  e.Select(4);
  e.TextOutW(30, 30, u"Pellisto");
  // A hatched cross brush on an ellipse, with a wide blue pen around it.
  e.Brush(5, 0x000000, 2, 4);
  e.Select(5);
  e.Pen(6, kBlue, 5);
  e.Select(6);
  e.Ellipse(100, 10, 140, 50);

  TMetafile m;
  // 150 x 60 pixels at 96 per inch: 39.69 x 15.875 mm.
  Load(m, e.File(3969, 1588));
  EXPECT_TRUE(m.Enhanced());
  EXPECT_EQ(m.Width(), 150);
  EXPECT_EQ(m.Height(), 60);

  Surface s(150, 60);
  s.Canvas().Draw(0, 0, &m);
  EXPECT_EQ(s.Count(kRed, 0, 0, 30, 30), 200);  // two 10x10 squares
  EXPECT_EQ(s.At(25, 5), kRed);
  EXPECT_EQ(s.At(15, 5), 0xFFFFFFu);
  EXPECT_EQ(s.At(42, 2), kBlue);
  EXPECT_EQ(s.At(50, 10), 0xFFFFFFu);            // the hole
  EXPECT_EQ(s.At(80, 5), kGreen);
  EXPECT_EQ(s.At(71, 18), 0xFFFFFFu);
  EXPECT_EQ(s.At(5, 35), kRed);                  // the bitmap's quarters
  EXPECT_EQ(s.At(15, 35), kGreen);
  EXPECT_EQ(s.At(5, 45), kBlue);
  EXPECT_EQ(s.At(15, 45), 0x00FFFFu);
  EXPECT_GT(s.Dark(30, 30, 100, 60), 60);        // text ink
  EXPECT_EQ(s.Count(0, 20, 50, 30, 60), 0);
  EXPECT_EQ(s.At(120, 10), kBlue);               // the wide pen at the top of the ellipse
  EXPECT_EQ(s.At(120, 12), kBlue);
  EXPECT_EQ(s.At(100, 10), 0xFFFFFFu);           // outside the ellipse
  const int hatch = s.Count(0, 108, 18, 132, 42);
  EXPECT_GT(hatch, 20);                          // hatch lines inside
  EXPECT_LT(hatch, 24 * 24 / 2);                 // but not a solid fill

  // Drawn at half size the shapes shrink with it.
  Surface half(75, 30);
  half.Canvas().StretchDraw({0, 0, 75, 30}, &m);
  EXPECT_EQ(half.Count(kRed, 0, 0, 15, 15), 50);
}

TEST(Metafile, PiesAndChordsRunCounterClockwise) {
  struct Case {
    const char* Name;
    uint32_t Type;
    std::vector<int32_t> StartEnd;
    std::vector<std::pair<int, int>> Filled, Empty;
  };
  const Case cases[] = {
      {"pie, east to north", 47, {40, 20, 20, 0}, {{30, 10}, {21, 19}}, {{10, 10}, {10, 30}, {30, 30}}},
      {"pie, north to east", 47, {20, 0, 40, 20}, {{10, 10}, {10, 30}, {30, 30}}, {{30, 10}}},
      {"chord, east to west", 46, {40, 20, 0, 20}, {{20, 5}, {5, 17}}, {{20, 35}, {2, 2}}},
      {"arc: outline only", 45, {40, 20, 0, 20}, {}, {{20, 5}, {20, 35}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Emf e;
    e.Brush(1, kRed);
    e.Select(1);
    e.Select(0x80000008u);  // no outline
    std::vector<int32_t> params{0, 0, 40, 40};
    params.insert(params.end(), c.StartEnd.begin(), c.StartEnd.end());
    e.Rec(c.Type, Emf::Ints(params));
    TMetafile m;
    Load(m, e.File(1059, 1059));  // 40 x 40 pixels
    Surface s(40, 40);
    s.Canvas().Draw(0, 0, &m);
    for (auto [x, y] : c.Filled) EXPECT_EQ(s.At(x, y), kRed) << x << "," << y;
    for (auto [x, y] : c.Empty) EXPECT_EQ(s.At(x, y), 0xFFFFFFu) << x << "," << y;
  }
  // With a pen the arc draws its curve: the top of the circle, not the bottom.
  Emf e;
  e.Rec(45, Emf::Ints({0, 0, 40, 40, 40, 20, 0, 20}));
  TMetafile m;
  Load(m, e.File(1059, 1059));
  Surface s(40, 40);
  s.Canvas().Draw(0, 0, &m);
  EXPECT_GT(s.Count(0, 0, 0, 40, 3), 4);
  EXPECT_EQ(s.Count(0, 0, 37, 40, 40), 0);
}

TEST(Metafile, MalformedRecordsEndThePlaybackSafely) {
  struct Case {
    const char* Name;
    std::function<void(Emf&)> Add;
  };
  const Case cases[] = {
      {"record larger than the file", [](Emf& e) { e.Records.insert(e.Records.end(), {43, 0, 0, 0, 0, 0, 1, 0}); }},
      {"record smaller than its header", [](Emf& e) { e.Rec(43, {}); e.Records[e.Records.size() - 4] = 4; }},
      {"rectangle without its corners", [](Emf& e) { e.Rec(43, Emf::Ints({1, 1})); }},
      {"polygon claiming a million points", [](Emf& e) { e.Rec(86, Emf::Ints({0, 0, 0, 0, 1000000, 5})); }},
      {"poly-polygon counts past the points", [](Emf& e) { e.Rec(91, Emf::Ints({0, 0, 0, 0, 2, 3, 2, 9})); }},
      {"text offset past the record", [](Emf& e) {
         Bytes p = Emf::Ints({0, 0, 0, 0, 1, 0, 0, 5, 5, 100, 5000, 0, 0, 0, 0, 0, 0});
         e.Rec(84, p); }},
      {"bitmap header cut short", [](Emf& e) {
         e.Rec(81, Emf::Ints({0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 20, 20, 40, 2})); }},
      {"wild world transform", [](Emf& e) {
         Bytes p;
         for (float f : {1e38f, 1e38f, 1e38f, 1e38f, 1e38f, 1e38f}) PutF(p, f);
         Put32(p, 4);
         e.Rec(35, p);
         e.Rec(43, Emf::Ints({0, 0, 100000, 100000})); }},
      {"huge wide pen", [](Emf& e) { e.Pen(7, kRed, 2000000000); e.Select(7); e.Rec(54, Emf::Ints({50, 50})); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Emf e;
    e.Brush(1, kRed);
    e.Select(1);
    e.Rectangle(0, 0, 10, 10);
    c.Add(e);
    TMetafile m;
    Load(m, e.File(2646, 2646));
    Surface s(100, 100);
    s.Canvas().Draw(0, 0, &m);
    EXPECT_EQ(s.At(5, 5), kRed);  // what came before is drawn
  }
}

TEST(Metafile, WhatIsNotAMetafileRaisesAndChangesNothing) {
  TMetafile m;
  Load(m, ShapesWmf().File(100, 50));
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"empty", {}},
      {"a bitmap", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"placeable key only", {0xD7, 0xCD, 0xC6, 0x9A, 0, 0}},
      {"placeable with zero units per inch", ShapesWmf().File(100, 50, 0)},
      {"placeable with an empty frame", ShapesWmf().File(0, 50)},
      {"plain metafile without a window", [] {
         Bytes f = ShapesWmf().File(100, 50);
         return Bytes(f.begin() + 22, f.end());
       }()},
      {"emf header cut short", [] {
         Bytes f = Emf().File(100, 100);
         return Bytes(f.begin(), f.begin() + 60);
       }()},
  };
  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    try {
      Load(m, data);
      ADD_FAILURE() << "no error";
    } catch (const platform::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, "Metafile is not valid");
    }
    EXPECT_EQ(m.Width(), 100);
    EXPECT_FALSE(m.Enhanced());
  }
}

TEST(Metafile, PlainMetafileTakesItsFrameFromTheWindowAndSavesUnchanged) {
  Wmf w;
  w.Rec(0x020B, {0, 0});       // window origin (0, 0)
  w.Rec(0x020C, {200, 400});   // window extent 400 x 200
  w.Brush(kRed);
  w.Select(0);
  w.Rectangle(0, 0, 200, 100);
  const Bytes placeable = w.File(1, 1);
  const Bytes plain(placeable.begin() + 22, placeable.end());
  TMetafile m;
  Load(m, plain);
  EXPECT_EQ(m.Width(), 400);
  EXPECT_EQ(m.Height(), 200);
  Surface s(40, 20);
  s.Canvas().StretchDraw({0, 0, 40, 20}, &m);
  // The default black pen outlines the rectangle on its own edge pixels.
  EXPECT_EQ(s.Count(kRed, 0, 0, 40, 20), 18 * 8);
  EXPECT_EQ(s.Count(0, 0, 0, 40, 20), 20 * 10 - 18 * 8);
  EXPECT_EQ(s.At(19, 9), 0u);
  EXPECT_EQ(s.At(20, 10), 0xFFFFFFu);

  platform::TMemoryStream out;
  m.SaveToStream(out);
  EXPECT_EQ(Bytes(out.Memory(), out.Memory() + out.Size()), plain);
  TMetafile copy;
  copy.Assign(&m);
  EXPECT_EQ(copy.Width(), 400);
  copy.SetWidth(100);
  EXPECT_EQ(copy.Width(), 100);
  EXPECT_EQ(m.Width(), 400);
}

}  // namespace

namespace {

// The picture system hands ".ico", ".wmf" and ".emf" to these classes,
// whatever the letter case.
TEST(PictureFormats, IconsAndMetafilesLoadThroughThePictureSystem) {
  const auto dir = std::filesystem::temp_directory_path() / ("pictures-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const Bytes& data) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), long(data.size()));
    return path;
  };
  std::ifstream in(PELLISTO_SHARED_DIR "/corpus/hippopotamus.regular.ico", std::ios::binary);
  const Bytes ico{std::istreambuf_iterator<char>(in), {}};
  struct Case {
    std::string File;
    Bytes Data;
    const char* Class;
    int Width;
  };
  const Case cases[] = {
      {"icon.ICO", ico, "TIcon", 36},
      {"shapes.wmf", ShapesWmf().File(100, 50), "TMetafile", 100},
      {"empty.Emf", Emf().File(3969, 1588), "TMetafile", 150},
  };
  platform::TPicture picture;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    picture.LoadFromFile(write(c.File, c.Data));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_STREQ(picture.Graphic()->ClassName(), c.Class);
    EXPECT_EQ(picture.Width(), c.Width);
  }
  // A damaged file of a known kind keeps the picture it had.
  EXPECT_THROW(picture.LoadFromFile(write("broken.wmf", Bytes(40, 7))), platform::EInvalidGraphic);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TMetafile");
  EXPECT_EQ(picture.Width(), 150);
  std::filesystem::remove_all(dir);
}

}  // namespace
