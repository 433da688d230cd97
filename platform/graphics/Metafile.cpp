#include "platform/graphics/Metafile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <string>

#include "platform/graphics/BmpCodec.h"
#include "platform/graphics/FontEngine.h"
#include "platform/rtl/Exceptions.h"

namespace platform {

namespace {

constexpr char kInvalidMetafile[] = "Metafile is not valid";
constexpr size_t kMaxFileSize = size_t{1} << 28;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kPlaceableSize = 22;
constexpr size_t kEmfHeaderMin = 88;
// Bounds on work that damaged data could inflate.
constexpr int32_t kMaxTextPixels = 1024;
constexpr int kMaxCurvePoints = 4096;

[[noreturn]] void InvalidMetafile() { throw EInvalidGraphic(kInvalidMetafile); }

// Thrown inside playback when a record does not hold what it claims; ends
// the playback, never leaves it.
struct Malformed {};

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Bounded reading of one record.
class Record {
public:
  Record(const uint8_t* Data, size_t Size) : data_(Data), size_(Size) {}
  size_t Size() const { return size_; }
  const uint8_t* At(size_t Offset, size_t Length) const {
    if (Offset > size_ || Length > size_ - Offset) throw Malformed{};
    return data_ + Offset;
  }
  uint16_t U16(size_t o) const { return Get16(At(o, 2)); }
  int16_t S16(size_t o) const { return static_cast<int16_t>(U16(o)); }
  uint32_t U32(size_t o) const { return Get32(At(o, 4)); }
  int32_t S32(size_t o) const { return static_cast<int32_t>(U32(o)); }
  float F32(size_t o) const {
    const uint32_t bits = U32(o);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }

private:
  const uint8_t* data_;
  size_t size_;
};

struct PointF {
  double X = 0, Y = 0;
};

// x' = A x + C y + E, y' = B x + D y + F.
struct Affine {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;
  PointF Apply(PointF p) const { return {A * p.X + C * p.Y + E, B * p.X + D * p.Y + F}; }
  // This after Other.
  Affine After(const Affine& o) const {
    return {A * o.A + C * o.B, B * o.A + D * o.B, A * o.C + C * o.D, B * o.C + D * o.D,
            A * o.E + C * o.F + E, B * o.E + D * o.F + F};
  }
  bool AxisAligned() const { return std::abs(B) < 1e-9 && std::abs(C) < 1e-9; }
  double ScaleY() const { return std::hypot(C, D); }
  double ScaleX() const { return std::hypot(A, B); }
  bool Finite() const {
    return std::isfinite(A) && std::isfinite(B) && std::isfinite(C) && std::isfinite(D) && std::isfinite(E) &&
           std::isfinite(F);
  }
};

TRect Intersect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

int32_t Clamp32(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (!(v < 1e9)) return 1000000000;
  return static_cast<int32_t>(std::lround(v));
}

// ---- Coverage masks: shapes are rasterised (pixel centres, no
// antialiasing, as the GDI draws them) and blended in one colour. ----

using Ring = std::vector<PointF>;

class Mask {
public:
  Mask(const TRect& Clip, double Left, double Top, double Right, double Bottom) {
    const TRect want{Clamp32(std::floor(Left)) - 1, Clamp32(std::floor(Top)) - 1, Clamp32(std::ceil(Right)) + 1,
                     Clamp32(std::ceil(Bottom)) + 1};
    area_ = Intersect(Clip, want);
    if (!area_.IsEmpty()) cov_.assign(static_cast<size_t>(area_.Width()) * area_.Height(), 0);
  }
  bool Empty() const { return area_.IsEmpty(); }

  // Pixels whose centres lie inside; Winding chooses non-zero over
  // even-odd.
  void Fill(const std::vector<Ring>& Rings, bool Winding) {
    if (Empty()) return;
    struct Edge {
      double X0, Y0, X1, Y1;
      int Dir;
    };
    std::vector<Edge> edges;
    for (const Ring& r : Rings) {
      for (size_t i = 0; i < r.size(); ++i) {
        const PointF a = r[i], b = r[(i + 1) % r.size()];
        if (a.Y == b.Y || !std::isfinite(a.X + a.Y + b.X + b.Y)) continue;
        edges.push_back(a.Y < b.Y ? Edge{a.X, a.Y, b.X, b.Y, 1} : Edge{b.X, b.Y, a.X, a.Y, -1});
      }
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& p, const Edge& q) { return p.Y0 < q.Y0; });
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> xs;
    size_t next = 0;
    for (int32_t y = area_.Top; y < area_.Bottom; ++y) {
      const double yc = y + 0.5;
      while (next < edges.size() && edges[next].Y0 <= yc) active.push_back(&edges[next++]);
      std::erase_if(active, [yc](const Edge* e) { return e->Y1 <= yc; });
      xs.clear();
      for (const Edge* e : active)
        if (e->Y0 <= yc) xs.emplace_back(e->X0 + (yc - e->Y0) * (e->X1 - e->X0) / (e->Y1 - e->Y0), e->Dir);
      std::sort(xs.begin(), xs.end());
      int wind = 0;
      for (size_t i = 0; i < xs.size(); ++i) {
        wind += Winding ? xs[i].second : 1;
        const bool inside = Winding ? wind != 0 : (wind & 1) != 0;
        if (inside && i + 1 < xs.size()) Span(y, xs[i].first, xs[i + 1].first);
      }
    }
  }

  // A pen stroke along pixel-centre coordinates.
  void Stroke(const Ring& Points, bool Closed, double Width) {
    if (Empty() || Points.empty()) return;
    const size_t n = Points.size();
    const size_t segments = Closed ? n : n - 1;
    if (Width <= 1.5) {
      for (size_t i = 0; i < segments; ++i) ThinLine(Points[i], Points[(i + 1) % n]);
      if (n == 1) Plot(Points[0]);
      return;
    }
    const double r = Width / 2;
    for (size_t i = 0; i < segments; ++i) {
      const PointF a = Points[i], b = Points[(i + 1) % n];
      const double dx = b.X - a.X, dy = b.Y - a.Y, len = std::hypot(dx, dy);
      if (len > 0 && std::isfinite(len)) {
        const double nx = -dy / len * r, ny = dx / len * r;
        Fill({{{a.X + nx, a.Y + ny}, {b.X + nx, b.Y + ny}, {b.X - nx, b.Y - ny}, {a.X - nx, a.Y - ny}}}, true);
      }
    }
    // Round joins and caps, the GDI's default for wide pens.
    for (size_t i = 0; i < n; ++i) Fill({Circle(Points[i], r)}, true);
  }

  void Plot(PointF p) {
    const double x = std::floor(p.X), y = std::floor(p.Y);
    if (x < area_.Left || x >= area_.Right || y < area_.Top || y >= area_.Bottom) return;
    cov_[static_cast<size_t>(y - area_.Top) * area_.Width() + static_cast<size_t>(x - area_.Left)] = 255;
  }

  // Keeps only the pixels of an 8x8 hatch pattern (device-aligned).
  void Hatch(uint32_t Style) {
    if (Empty()) return;
    for (int32_t y = area_.Top; y < area_.Bottom; ++y)
      for (int32_t x = area_.Left; x < area_.Right; ++x) {
        const int32_t hx = x & 7, hy = y & 7;
        bool on = false;
        switch (Style) {
          case 0: on = hy == 0; break;                        // horizontal
          case 1: on = hx == 0; break;                        // vertical
          case 2: on = hx == hy; break;                       // forward diagonal
          case 3: on = hx == 7 - hy; break;                   // backward diagonal
          case 4: on = hx == 0 || hy == 0; break;             // cross
          default: on = hx == hy || hx == 7 - hy; break;      // diagonal cross
        }
        if (!on) cov_[static_cast<size_t>(y - area_.Top) * area_.Width() + (x - area_.Left)] = 0;
      }
  }

  // Copies a coverage image whose top-left is at (X, Y).
  void Put(int32_t X, int32_t Y, const TTextMask& Text) {
    for (int32_t ty = 0; ty < Text.Height; ++ty) {
      const int64_t y = int64_t{Y} + ty;
      if (y < area_.Top || y >= area_.Bottom) continue;
      for (int32_t tx = 0; tx < Text.Width; ++tx) {
        const int64_t x = int64_t{X} + tx;
        if (x < area_.Left || x >= area_.Right) continue;
        uint8_t& d = cov_[static_cast<size_t>(y - area_.Top) * area_.Width() + static_cast<size_t>(x - area_.Left)];
        d = std::max(d, Text.At(tx, ty));
      }
    }
  }

  void Blend(HDC DC, COLORREF Color) const {
    if (!Empty())
      GdiBlendCoverage(DC, area_.Left, area_.Top, cov_.data(), area_.Width(), area_.Height(), area_.Width(),
                       Color & 0x00FFFFFF);
  }

  static Ring Circle(PointF c, double r) {
    const int n = std::clamp(static_cast<int>(r * 2), 8, 256);
    Ring ring;
    for (int i = 0; i < n; ++i) {
      const double t = 2 * std::numbers::pi * i / n;
      ring.push_back({c.X + r * std::cos(t), c.Y + r * std::sin(t)});
    }
    return ring;
  }

private:
  void Span(int32_t y, double xa, double xb) {
    const double from = std::max<double>(std::ceil(xa - 0.5), area_.Left);
    const double to = std::min<double>(std::ceil(xb - 0.5), area_.Right);
    if (!(to > from)) return;
    uint8_t* row = cov_.data() + static_cast<size_t>(y - area_.Top) * area_.Width();
    std::fill(row + static_cast<size_t>(from - area_.Left), row + static_cast<size_t>(to - area_.Left), uint8_t{255});
  }

  // One pixel wide, the end point left out as LineTo does; only the part
  // inside the mask is walked.
  void ThinLine(PointF a, PointF b) {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    const double steps = std::max(std::abs(dx), std::abs(dy));
    // Step counts past 2^40 come only from damaged records and would
    // overflow the integer walk below.
    if (!(steps < 0x1p40)) return;
    if (steps < 1) {
      Plot(a);
      return;
    }
    // Walk from where the line enters the area to where it leaves it.
    double t0 = 0, t1 = 1;
    auto clipAxis = [&](double p, double d, double lo, double hi) {
      if (d == 0) return p >= lo && p <= hi;
      double u0 = (lo - p) / d, u1 = (hi - p) / d;
      if (u0 > u1) std::swap(u0, u1);
      t0 = std::max(t0, u0), t1 = std::min(t1, u1);
      return t0 <= t1;
    };
    if (!clipAxis(a.X, dx, area_.Left - 1, area_.Right + 1) || !clipAxis(a.Y, dy, area_.Top - 1, area_.Bottom + 1))
      return;
    const int64_t first = static_cast<int64_t>(std::floor(t0 * steps));
    const int64_t last = std::min<int64_t>(static_cast<int64_t>(std::ceil(t1 * steps)), static_cast<int64_t>(steps));
    for (int64_t i = first; i < last; ++i) Plot({a.X + dx * i / steps, a.Y + dy * i / steps});
  }

  TRect area_;
  std::vector<uint8_t> cov_;
};

// ---- Drawing state and objects ----

enum : uint32_t { PS_STYLE_MASK = 0x0F, PS_NULL_STYLE = 5 };
enum : uint32_t { BS_SOLID_STYLE = 0, BS_NULL_STYLE = 1, BS_HATCHED_STYLE = 2 };

struct Pen {
  uint32_t Style = 0;
  double Width = 0;  // logical units; 0 = one pixel
  COLORREF Color = 0;
};
struct Brush {
  uint32_t Style = BS_SOLID_STYLE;
  COLORREF Color = 0xFFFFFF;
  uint32_t Hatch = 0;
};
struct Font {
  int32_t Height = 0;  // logical units, sign as LOGFONT
  int32_t Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  std::string Face;
};
struct Object {
  enum Kind { kPen, kBrush, kFont, kOther } Type = kOther;
  Pen P;
  Brush B;
  Font F;
};

enum : int { MM_TEXT_MODE = 1, MM_LOMETRIC_MODE, MM_HIMETRIC_MODE, MM_LOENGLISH_MODE, MM_HIENGLISH_MODE,
             MM_TWIPS_MODE, MM_ISOTROPIC_MODE, MM_ANISOTROPIC_MODE };
enum : uint32_t { TA_UPDATECP_FLAG = 1, TA_HORZ_MASK = 6, TA_RIGHT_FLAG = 2, TA_CENTER_FLAG = 6,
                  TA_VERT_MASK = 24, TA_BOTTOM_FLAG = 8, TA_BASELINE_FLAG = 24 };
enum : uint32_t { ETO_OPAQUE_FLAG = 2, ETO_CLIPPED_FLAG = 4 };

struct State {
  Pen P{0, 0, 0};
  Brush B{BS_SOLID_STYLE, 0xFFFFFF, 0};
  Font F;
  COLORREF TextColor = 0;
  COLORREF BkColor = 0xFFFFFF;
  bool Opaque = true;
  uint32_t TextAlign = 0;
  bool Winding = false;
  int MapMode = MM_TEXT_MODE;
  PointF WindowOrg, WindowExt{1, 1}, ViewportOrg, ViewportExt{1, 1};
  Affine World;
  PointF Current;
  TRect Clip;
};

// What is common to both formats: state, objects, and the drawing itself.
class Player {
public:
  Player(TCanvas& Canvas, const TRect& Dest) : dc_(Canvas.Handle()) {
    st_.Clip = initialClip_ = Intersect(Dest, Canvas.ClipRect());
  }
  virtual ~Player() = default;

protected:
  // Logical units to the canvas's pixels.
  virtual Affine Transform() const = 0;

  PointF Map(double x, double y) const { return Transform().Apply({x, y}); }
  double PenPixels() const {
    const double w = st_.P.Width * (Transform().ScaleX() + Transform().ScaleY()) / 2;
    return std::isfinite(w) ? std::min(w, 4096.0) : 1;
  }
  bool HasPen() const { return (st_.P.Style & PS_STYLE_MASK) != PS_NULL_STYLE; }
  bool HasBrush() const { return st_.B.Style == BS_SOLID_STYLE || st_.B.Style == BS_HATCHED_STYLE; }

  static void Bounds(const std::vector<Ring>& rings, double pad, double& l, double& t, double& r, double& b) {
    l = t = 1e18, r = b = -1e18;
    for (const Ring& ring : rings)
      for (const PointF& p : ring) l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
    l -= pad, t -= pad, r += pad, b += pad;
  }

  void FillRings(const std::vector<Ring>& rings) {
    if (!HasBrush() || rings.empty()) return;
    double l, t, r, b;
    Bounds(rings, 0, l, t, r, b);
    if (st_.B.Style == BS_HATCHED_STYLE && st_.Opaque) {
      Mask back(st_.Clip, l, t, r, b);
      back.Fill(rings, st_.Winding);
      back.Blend(dc_, st_.BkColor);
    }
    Mask m(st_.Clip, l, t, r, b);
    m.Fill(rings, st_.Winding);
    if (st_.B.Style == BS_HATCHED_STYLE) m.Hatch(st_.B.Hatch);
    m.Blend(dc_, st_.B.Color);
  }

  // Points are GDI pixel coordinates; the pen runs through pixel centres.
  void StrokeRings(const std::vector<Ring>& rings, bool closed) {
    if (!HasPen() || rings.empty()) return;
    const double w = PenPixels();
    std::vector<Ring> centred = rings;
    for (Ring& ring : centred)
      for (PointF& p : ring) p.X += 0.5, p.Y += 0.5;
    double l, t, r, b;
    Bounds(centred, w / 2 + 1, l, t, r, b);
    Mask m(st_.Clip, l, t, r, b);
    for (const Ring& ring : centred) m.Stroke(ring, closed, w);
    m.Blend(dc_, st_.P.Color);
  }

  // Outline and fill of a box shape given by its outline in logical units.
  // Axis-aligned boxes follow the GDI's pixel rules: the fill covers the
  // pixels from left to right - 1, and so does the outline.
  void BoxShape(double l, double t, double r, double b, const std::function<Ring(double, double, double, double)>& shape) {
    const Affine tr = Transform();
    if (tr.AxisAligned()) {
      PointF p0 = tr.Apply({l, t}), p1 = tr.Apply({r, b});
      double L = std::round(std::min(p0.X, p1.X)), R = std::round(std::max(p0.X, p1.X));
      double T = std::round(std::min(p0.Y, p1.Y)), B = std::round(std::max(p0.Y, p1.Y));
      if (R - L > 1e7 || B - T > 1e7) return;
      FillRings({shape(L, T, R, B)});
      if (HasPen()) {
        const double w = PenPixels();
        Ring outline = shape(L + 0.5, T + 0.5, R - 0.5, B - 0.5);
        Mask m(st_.Clip, L - w, T - w, R + w, B + w);
        m.Stroke(outline, true, w);
        m.Blend(dc_, st_.P.Color);
      }
      return;
    }
    Ring logical = shape(l, t, r, b);
    for (PointF& p : logical) p = tr.Apply(p);
    FillRings({logical});
    StrokeRings({logical}, true);
  }

  static Ring RectRing(double l, double t, double r, double b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }
  static Ring EllipseRing(double l, double t, double r, double b) {
    const double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::abs(r - l) / 2, ry = std::abs(b - t) / 2;
    const int n = std::clamp(static_cast<int>((rx + ry) * 2), 8, kMaxCurvePoints);
    Ring ring;
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi * i / n;
      ring.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return ring;
  }
  static Ring RoundRectRing(double l, double t, double r, double b, double cw, double ch) {
    const double rx = std::min(std::abs(cw) / 2, std::abs(r - l) / 2), ry = std::min(std::abs(ch) / 2, std::abs(b - t) / 2);
    const int n = std::clamp(static_cast<int>((rx + ry) / 2), 2, kMaxCurvePoints / 4);
    Ring ring;
    const PointF centres[4] = {{r - rx, t + ry}, {r - rx, b - ry}, {l + rx, b - ry}, {l + rx, t + ry}};
    for (int q = 0; q < 4; ++q)
      for (int i = 0; i <= n; ++i) {
        const double a = std::numbers::pi / 2 * (q - 1 + double(i) / n);
        ring.push_back({centres[q].X + rx * std::cos(a), centres[q].Y + ry * std::sin(a)});
      }
    return ring;
  }

  void Rectangle(double l, double t, double r, double b) { BoxShape(l, t, r, b, RectRing); }
  void Ellipse(double l, double t, double r, double b) { BoxShape(l, t, r, b, EllipseRing); }
  void RoundRect(double l, double t, double r, double b, double cw, double ch) {
    const Affine tr = Transform();
    const double sx = std::abs(tr.ScaleX()), sy = std::abs(tr.ScaleY());
    BoxShape(l, t, r, b, [&](double L, double T, double R, double B) {
      return RoundRectRing(L, T, R, B, cw * (tr.AxisAligned() ? sx : 1), ch * (tr.AxisAligned() ? sy : 1));
    });
  }

  enum class ArcKind { kArc, kChord, kPie };
  // Part of the ellipse in a box, running counter-clockwise on the screen
  // from the ray towards the start point to the ray towards the end point.
  void Arc(double l, double t, double r, double b, double xs, double ys, double xe, double ye, ArcKind kind) {
    const Affine tr = Transform();
    const PointF p0 = tr.Apply({l, t}), p1 = tr.Apply({r, b}), s = tr.Apply({xs, ys}), e = tr.Apply({xe, ye});
    const double L = std::round(std::min(p0.X, p1.X)), R = std::round(std::max(p0.X, p1.X));
    const double T = std::round(std::min(p0.Y, p1.Y)), B = std::round(std::max(p0.Y, p1.Y));
    if (!(R - L < 1e7 && B - T < 1e7) || R <= L || B <= T) return;
    auto points = [&](double l2, double t2, double r2, double b2) {
      const double cx = (l2 + r2) / 2, cy = (t2 + b2) / 2, rx = std::max((r2 - l2) / 2, 0.5), ry = std::max((b2 - t2) / 2, 0.5);
      const double a0 = std::atan2(-(s.Y - cy) / ry, (s.X - cx) / rx);
      double a1 = std::atan2(-(e.Y - cy) / ry, (e.X - cx) / rx);
      if (!std::isfinite(a0) || !std::isfinite(a1)) return Ring{};
      if (a1 <= a0) a1 += 2 * std::numbers::pi;
      const int n = std::clamp(static_cast<int>((rx + ry) * (a1 - a0) / std::numbers::pi), 4, kMaxCurvePoints);
      Ring ring;
      for (int i = 0; i <= n; ++i) {
        const double a = a0 + (a1 - a0) * i / n;
        ring.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
      }
      if (kind == ArcKind::kPie) ring.push_back({cx, cy});
      return ring;
    };
    if (kind != ArcKind::kArc) FillRings({points(L, T, R, B)});
    if (HasPen()) {
      const double w = PenPixels();
      Mask m(st_.Clip, L - w, T - w, R + w, B + w);
      m.Stroke(points(L + 0.5, T + 0.5, R - 0.5, B - 0.5), kind != ArcKind::kArc, w);
      m.Blend(dc_, st_.P.Color);
    }
  }

  void Polygons(const std::vector<Ring>& logical) {
    const Affine tr = Transform();
    std::vector<Ring> device = logical;
    for (Ring& ring : device)
      for (PointF& p : ring) p = tr.Apply(p);
    FillRings(device);
    StrokeRings(device, true);
  }
  void Polyline(const Ring& logical) {
    const Affine tr = Transform();
    Ring device = logical;
    for (PointF& p : device) p = tr.Apply(p);
    // Device points are whole pixels in the GDI: round before stroking.
    for (PointF& p : device) p = {std::round(p.X), std::round(p.Y)};
    StrokeRings({device}, false);
  }
  void LineTo(double x, double y) {
    Polyline({st_.Current, {x, y}});
    st_.Current = {x, y};
  }

  void FillDeviceRect(const TRect& r, COLORREF color) {
    Mask m(st_.Clip, r.Left, r.Top, r.Right, r.Bottom);
    m.Fill({RectRing(r.Left, r.Top, r.Right, r.Bottom)}, false);
    m.Blend(dc_, color);
  }

  TRect DeviceRect(double l, double t, double r, double b) const {
    const PointF p0 = Map(l, t), p1 = Map(r, b);
    return {Clamp32(std::min(p0.X, p1.X)), Clamp32(std::min(p0.Y, p1.Y)), Clamp32(std::max(p0.X, p1.X)),
            Clamp32(std::max(p0.Y, p1.Y))};
  }

  // One line of text at a logical reference point. Dx (logical units), when
  // given, places each character.
  void Text(double x, double y, const std::u32string& chars, const std::vector<double>* dx, uint32_t options,
            const TRect* rect) {
    const bool updateCp = (st_.TextAlign & TA_UPDATECP_FLAG) != 0;
    const PointF ref = updateCp ? Map(st_.Current.X, st_.Current.Y) : Map(x, y);
    if (rect && (options & ETO_OPAQUE_FLAG)) FillDeviceRect(*rect, st_.BkColor);
    if (chars.empty()) return;
    const Affine tr = Transform();
    TFontRequest font;
    font.Name = st_.F.Face;
    const double h = st_.F.Height * tr.ScaleY();
    font.Height = std::isfinite(h) ? static_cast<int32_t>(std::clamp(std::round(h), double(-kMaxTextPixels),
                                                                     double(kMaxTextPixels)))
                                   : 0;
    if (st_.F.Height != 0 && font.Height == 0) font.Height = st_.F.Height < 0 ? -1 : 1;
    font.Bold = st_.F.Weight >= 600;
    font.Italic = st_.F.Italic;
    font.Underline = st_.F.Underline;
    font.StrikeOut = st_.F.StrikeOut;
    const TFontMetrics metrics = GetFontMetrics(font);

    // Character positions in pixels from the reference point.
    std::vector<std::string> pieces;
    std::vector<double> offsets;
    double width = 0;
    if (dx && dx->size() >= chars.size()) {
      for (size_t i = 0; i < chars.size(); ++i) {
        pieces.push_back(ToUtf8(chars.substr(i, 1)));
        offsets.push_back(width);
        width += (*dx)[i] * tr.ScaleX();
      }
    } else {
      pieces.push_back(ToUtf8(chars));
      offsets.push_back(0);
      width = TextWidth(font, pieces.back());
    }
    if (!std::isfinite(width)) return;
    double left = ref.X, top = ref.Y;
    const uint32_t horz = st_.TextAlign & TA_HORZ_MASK, vert = st_.TextAlign & TA_VERT_MASK;
    if (horz == TA_RIGHT_FLAG) left -= width;
    if (horz == TA_CENTER_FLAG) left -= width / 2;
    if (vert == TA_BOTTOM_FLAG) top -= metrics.Height;
    if (vert == TA_BASELINE_FLAG) top -= metrics.Ascent;
    if (updateCp && tr.ScaleX() > 0) st_.Current.X += width / tr.ScaleX();

    TRect clip = st_.Clip;
    if (rect && (options & ETO_CLIPPED_FLAG)) clip = Intersect(clip, *rect);
    const TRect cell{Clamp32(left), Clamp32(top), Clamp32(left + width), Clamp32(top + metrics.Height)};
    if (st_.Opaque && !(rect && (options & ETO_OPAQUE_FLAG))) {
      const TRect saved = st_.Clip;
      st_.Clip = clip;
      FillDeviceRect(cell, st_.BkColor);
      st_.Clip = saved;
    }
    Mask m(clip, cell.Left - metrics.Height, cell.Top - metrics.Height, cell.Right + metrics.Height,
           cell.Bottom + metrics.Height);
    if (m.Empty()) return;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const TTextMask glyphs = RenderText(font, pieces[i]);
      m.Put(Clamp32(left + offsets[i]) + glyphs.Left, Clamp32(top) + glyphs.Top, glyphs);
    }
    m.Blend(dc_, st_.TextColor);
  }

  // An embedded DIB drawn into a logical rectangle.
  void Bitmap(const TDibImage& img, double x, double y, double w, double h, int32_t xs, int32_t ys, int32_t ws,
              int32_t hs, uint32_t rop) {
    const PointF p0 = Map(x, y), p1 = Map(x + w, y + h);
    const int32_t dx0 = Clamp32(p0.X), dy0 = Clamp32(p0.Y);
    const int32_t dw = Clamp32(p1.X) - dx0, dh = Clamp32(p1.Y) - dy0;
    if (dw == 0 || dh == 0 || st_.Clip.IsEmpty()) return;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + std::max<size_t>(img.ColorTable.size(), 3) * 4, 0);
    BITMAPINFOHEADER header;
    header.biWidth = img.Width;
    header.biHeight = img.TopDown ? -img.Height : img.Height;
    header.biBitCount = img.BitCount;
    const bool fields = img.BitCount == 16 && img.GreenMask == 0x07E0;
    header.biCompression = fields ? BI_BITFIELDS : BI_RGB;
    std::memcpy(info.data(), &header, sizeof header);
    uint8_t* colors = info.data() + sizeof header;
    if (fields) {
      const uint32_t masks[3] = {img.RedMask, img.GreenMask, img.BlueMask};
      std::memcpy(colors, masks, sizeof masks);
    } else if (!img.ColorTable.empty()) {
      std::memcpy(colors, img.ColorTable.data(), img.ColorTable.size() * sizeof(TRGBQuad));
    }
    const int saved = SaveDC(dc_);
    IntersectClipRect(dc_, st_.Clip.Left, st_.Clip.Top, st_.Clip.Right, st_.Clip.Bottom);
    StretchDIBits(dc_, dx0, dy0, dw, dh, xs, ys, ws, hs, img.Pixels.data(),
                  reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, rop);
    RestoreDC(dc_, saved);
  }

  void PatBlt(double x, double y, double w, double h, uint32_t rop) {
    // The brush-only raster operations that fill: pattern copy, blackness, whiteness.
    const TRect r = DeviceRect(x, y, x + w, y + h);
    if (rop == BLACKNESS) FillDeviceRect(r, 0);
    else if (rop == WHITENESS) FillDeviceRect(r, 0xFFFFFF);
    else if (rop == PATCOPY && HasBrush()) FillDeviceRect(r, st_.B.Color);
  }

  void IntersectClip(double l, double t, double r, double b) { st_.Clip = Intersect(st_.Clip, DeviceRect(l, t, r, b)); }

  static std::string ToUtf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    }
    return out;
  }

  // Windows-1252, the ANSI code page of the default character set.
  static std::u32string FromAnsi(const uint8_t* p, size_t n) {
    static constexpr char16_t k80[32] = {0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D, 0x017D, 0x8F,
                                         0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178};
    std::u32string s;
    for (size_t i = 0; i < n; ++i) s += p[i] >= 0x80 && p[i] < 0xA0 ? char32_t{k80[p[i] - 0x80]} : char32_t{p[i]};
    return s;
  }
  static std::u32string FromUtf16(const uint8_t* p, size_t units) {
    std::u32string s;
    for (size_t i = 0; i < units; ++i) {
      char32_t c = Get16(p + 2 * i);
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
        const char32_t low = Get16(p + 2 * i + 2);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
      s += c;
    }
    return s;
  }

  void Select(const Object& o) {
    if (o.Type == Object::kPen) st_.P = o.P;
    if (o.Type == Object::kBrush) st_.B = o.B;
    if (o.Type == Object::kFont) st_.F = o.F;
  }

  void Save() {
    if (saved_.size() < 1024) saved_.push_back(st_);
  }
  // Level < 0 counts back from the newest saved state.
  void Restore(int32_t level) {
    if (saved_.empty()) return;
    const int64_t keep = level < 0 ? int64_t(saved_.size()) + level : int64_t(level) - 1;
    if (keep < 0 || keep >= int64_t(saved_.size())) return;
    st_ = saved_[static_cast<size_t>(keep)];
    // The clip can only have shrunk within this drawing.
    saved_.resize(static_cast<size_t>(keep));
  }

  const TRect& InitialClip() const { return initialClip_; }

  HDC dc_;
  State st_;
  std::vector<State> saved_;
  TRect initialClip_;
};

// ---- Windows metafiles ----

enum : uint16_t {
  META_EOF = 0x0000,
  META_SAVEDC = 0x001E,
  META_SETBKMODE = 0x0102,
  META_SETMAPMODE = 0x0103,
  META_SETPOLYFILLMODE = 0x0106,
  META_RESTOREDC = 0x0127,
  META_SELECTOBJECT = 0x012D,
  META_SETTEXTALIGN = 0x012E,
  META_DELETEOBJECT = 0x01F0,
  META_SETBKCOLOR = 0x0201,
  META_SETTEXTCOLOR = 0x0209,
  META_SETWINDOWORG = 0x020B,
  META_SETWINDOWEXT = 0x020C,
  META_OFFSETWINDOWORG = 0x020F,
  META_LINETO = 0x0213,
  META_MOVETO = 0x0214,
  META_CREATEPENINDIRECT = 0x02FA,
  META_CREATEFONTINDIRECT = 0x02FB,
  META_CREATEBRUSHINDIRECT = 0x02FC,
  META_POLYGON = 0x0324,
  META_POLYLINE = 0x0325,
  META_SCALEWINDOWEXT = 0x0410,
  META_INTERSECTCLIPRECT = 0x0416,
  META_ELLIPSE = 0x0418,
  META_RECTANGLE = 0x041B,
  META_SETPIXEL = 0x041F,
  META_TEXTOUT = 0x0521,
  META_POLYPOLYGON = 0x0538,
  META_ROUNDRECT = 0x061C,
  META_PATBLT = 0x061D,
  META_DIBBITBLT = 0x0940,
  META_EXTTEXTOUT = 0x0A32,
  META_DIBSTRETCHBLT = 0x0B41,
  META_STRETCHDIB = 0x0F43,
  META_ARC = 0x0817,
  META_PIE = 0x081A,
  META_CHORD = 0x0830,
};

// Functions that create an object, each taking a slot in the object table
// (the ones we do not draw with still take theirs).
bool CreatesObject(uint16_t f) {
  switch (f) {
    case META_CREATEPENINDIRECT:
    case META_CREATEFONTINDIRECT:
    case META_CREATEBRUSHINDIRECT:
    case 0x00F7:  // palette
    case 0x01F9:  // pattern brush
    case 0x0142:  // DIB pattern brush
    case 0x06FF:  // region
      return true;
    default:
      return false;
  }
}

class WmfPlayer : public Player {
public:
  // Bounds: the picture's frame in logical units, mapped onto Dest.
  WmfPlayer(TCanvas& Canvas, const TRect& Dest, double l, double t, double r, double b)
      : Player(Canvas, Dest), dest_(Dest) {
    st_.WindowOrg = {l, t};
    st_.WindowExt = {r - l, b - t};
  }

  void Play(const uint8_t* data, size_t size, size_t first) {
    size_t pos = first;
    while (pos + 6 <= size) {
      const uint64_t words = Get32(data + pos);
      const uint16_t function = Get16(data + pos + 4);
      if (words < 3 || words * 2 > size - pos || function == META_EOF) return;
      const Record rec(data + pos + 6, static_cast<size_t>(words * 2 - 6));
      pos += static_cast<size_t>(words * 2);
      try {
        One(function, rec);
      } catch (const Malformed&) {
        return;
      }
    }
  }

private:
  Affine Transform() const override {
    const double sx = st_.WindowExt.X ? dest_.Width() / st_.WindowExt.X : 0;
    const double sy = st_.WindowExt.Y ? dest_.Height() / st_.WindowExt.Y : 0;
    return {sx, 0, 0, sy, dest_.Left - st_.WindowOrg.X * sx, dest_.Top - st_.WindowOrg.Y * sy};
  }

  void Store(Object o) {
    for (auto& slot : objects_)
      if (!slot) {
        slot = o;
        return;
      }
    if (objects_.size() < 65536) objects_.push_back(o);
  }

  static COLORREF Color(const Record& r, size_t o) { return r.U32(o) & 0x00FFFFFF; }

  Ring Points(const Record& r, size_t offset, size_t count) const {
    r.At(offset, count * 4);
    Ring ring;
    ring.reserve(count);
    for (size_t i = 0; i < count; ++i) ring.push_back({double(r.S16(offset + 4 * i)), double(r.S16(offset + 4 * i + 2))});
    return ring;
  }

  void DrawDib(const Record& r, size_t dibOffset, double x, double y, double w, double h, int32_t xs, int32_t ys,
               int32_t ws, int32_t hs, uint32_t rop) {
    const uint8_t* dib = r.At(dibOffset, 0);
    TDibImage img;
    try {
      img = ReadDib(dib, r.Size() - dibOffset);
    } catch (const EInvalidGraphic&) {
      return;  // a damaged bitmap is left out; the rest still draws
    }
    Bitmap(img, x, y, w, h, xs, ys, ws, hs, rop);
  }

  void One(uint16_t f, const Record& r) {
    if (CreatesObject(f)) {
      Object o;
      if (f == META_CREATEPENINDIRECT) {
        o.Type = Object::kPen;
        o.P = {r.U16(0), double(r.S16(2)), Color(r, 6)};
      } else if (f == META_CREATEBRUSHINDIRECT) {
        o.Type = Object::kBrush;
        o.B = {r.U16(0), Color(r, 2), r.U16(6)};
      } else if (f == META_CREATEFONTINDIRECT) {
        o.Type = Object::kFont;
        o.F.Height = r.S16(0);
        o.F.Weight = r.S16(8);
        o.F.Italic = r.At(10, 1)[0] != 0;
        o.F.Underline = r.At(11, 1)[0] != 0;
        o.F.StrikeOut = r.At(12, 1)[0] != 0;
        const size_t n = r.Size() > 18 ? std::min<size_t>(r.Size() - 18, 32) : 0;
        const uint8_t* face = r.At(18, n);
        o.F.Face = ToUtf8(FromAnsi(face, static_cast<size_t>(std::find(face, face + n, 0) - face)));
      } else if (f == 0x01F9 || f == 0x0142) {
        // Pattern brushes are not drawn: selecting one paints no fill
        // rather than a wrong colour.
        o.Type = Object::kBrush;
        o.B = {BS_NULL_STYLE, 0, 0};
      }
      Store(o);
      return;
    }
    switch (f) {
      case META_SAVEDC: Save(); break;
      case META_RESTOREDC: Restore(r.S16(0)); break;
      case META_SELECTOBJECT: {
        const size_t i = r.U16(0);
        if (i < objects_.size() && objects_[i]) Select(*objects_[i]);
        break;
      }
      case META_DELETEOBJECT: {
        const size_t i = r.U16(0);
        if (i < objects_.size()) objects_[i].reset();
        break;
      }
      case META_SETBKMODE: st_.Opaque = r.U16(0) == 2; break;
      case META_SETPOLYFILLMODE: st_.Winding = r.U16(0) == 2; break;
      case META_SETTEXTALIGN: st_.TextAlign = r.U16(0); break;
      case META_SETBKCOLOR: st_.BkColor = Color(r, 0); break;
      case META_SETTEXTCOLOR: st_.TextColor = Color(r, 0); break;
      case META_SETMAPMODE: break;  // the frame always maps onto the target
      case META_SETWINDOWORG: st_.WindowOrg = {double(r.S16(2)), double(r.S16(0))}; break;
      case META_SETWINDOWEXT: st_.WindowExt = {double(r.S16(2)), double(r.S16(0))}; break;
      case META_OFFSETWINDOWORG: st_.WindowOrg.X += r.S16(2), st_.WindowOrg.Y += r.S16(0); break;
      case META_SCALEWINDOWEXT: {
        const double yd = r.S16(0), yn = r.S16(2), xd = r.S16(4), xn = r.S16(6);
        if (xd && yd) st_.WindowExt = {st_.WindowExt.X * xn / xd, st_.WindowExt.Y * yn / yd};
        break;
      }
      case META_MOVETO: st_.Current = {double(r.S16(2)), double(r.S16(0))}; break;
      case META_LINETO: LineTo(r.S16(2), r.S16(0)); break;
      case META_RECTANGLE: Rectangle(r.S16(6), r.S16(4), r.S16(2), r.S16(0)); break;
      case META_ELLIPSE: Ellipse(r.S16(6), r.S16(4), r.S16(2), r.S16(0)); break;
      case META_ARC:
      case META_PIE:
      case META_CHORD:
        Arc(r.S16(14), r.S16(12), r.S16(10), r.S16(8), r.S16(6), r.S16(4), r.S16(2), r.S16(0),
            f == META_ARC ? ArcKind::kArc : f == META_PIE ? ArcKind::kPie : ArcKind::kChord);
        break;
      case META_ROUNDRECT: RoundRect(r.S16(10), r.S16(8), r.S16(6), r.S16(4), r.S16(2), r.S16(0)); break;
      case META_INTERSECTCLIPRECT: IntersectClip(r.S16(6), r.S16(4), r.S16(2), r.S16(0)); break;
      case META_SETPIXEL: {
        const TRect p = DeviceRect(r.S16(6), r.S16(4), r.S16(6) + 1, r.S16(4) + 1);
        FillDeviceRect({p.Left, p.Top, std::max(p.Right, p.Left + 1), std::max(p.Bottom, p.Top + 1)}, Color(r, 0));
        break;
      }
      case META_POLYGON: Polygons({Points(r, 2, r.U16(0))}); break;
      case META_POLYLINE: Polyline(Points(r, 2, r.U16(0))); break;
      case META_POLYPOLYGON: {
        const size_t n = r.U16(0);
        std::vector<Ring> rings;
        size_t offset = 2 + 2 * n;
        for (size_t i = 0; i < n; ++i) {
          const size_t count = r.U16(2 + 2 * i);
          rings.push_back(Points(r, offset, count));
          offset += 4 * count;
        }
        Polygons(rings);
        break;
      }
      case META_TEXTOUT: {
        const size_t n = r.U16(0);
        const size_t padded = (n + 1) & ~size_t{1};
        const uint8_t* s = r.At(2, n);
        Text(r.S16(4 + padded), r.S16(2 + padded), FromAnsi(s, n), nullptr, 0, nullptr);
        break;
      }
      case META_EXTTEXTOUT: {
        const double y = r.S16(0), x = r.S16(2);
        const size_t n = r.U16(4);
        const uint16_t options = r.U16(6);
        size_t offset = 8;
        std::optional<TRect> rect;
        if (options & (ETO_OPAQUE_FLAG | ETO_CLIPPED_FLAG)) {
          rect = DeviceRect(r.S16(8), r.S16(10), r.S16(12), r.S16(14));
          offset += 8;
        }
        const uint8_t* s = r.At(offset, n);
        offset += (n + 1) & ~size_t{1};
        std::vector<double> dx;
        if (n > 0 && r.Size() >= offset + 2 * n)
          for (size_t i = 0; i < n; ++i) dx.push_back(r.S16(offset + 2 * i));
        Text(x, y, FromAnsi(s, n), dx.empty() ? nullptr : &dx, options, rect ? &*rect : nullptr);
        break;
      }
      case META_PATBLT:
        PatBlt(r.S16(10), r.S16(8), r.S16(6), r.S16(4), r.U32(0));
        break;
      case META_STRETCHDIB:
        DrawDib(r, 22, r.S16(20), r.S16(18), r.S16(16), r.S16(14), r.S16(12), r.S16(10), r.S16(8), r.S16(6),
                r.U32(0));
        break;
      case META_DIBSTRETCHBLT:
        if (r.Size() > 20)
          DrawDib(r, 20, r.S16(18), r.S16(16), r.S16(14), r.S16(12), r.S16(10), r.S16(8), r.S16(6), r.S16(4),
                  r.U32(0));
        break;
      case META_DIBBITBLT:
        if (r.Size() > 16)
          DrawDib(r, 16, r.S16(14), r.S16(12), r.S16(10), r.S16(8), r.S16(6), r.S16(4), r.S16(10), r.S16(8),
                  r.U32(0));
        break;
      default:
        break;  // records that do not draw what we show, or that we do not know
    }
  }

  TRect dest_;
  std::vector<std::optional<Object>> objects_;
};

// ---- Enhanced metafiles ----

enum : uint32_t {
  EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6, EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8, EMR_SETWINDOWEXTEX = 9,
  EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11, EMR_SETVIEWPORTORGEX = 12, EMR_EOF = 14,
  EMR_SETPIXELV = 15, EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19,
  EMR_SETTEXTALIGN = 22, EMR_SETTEXTCOLOR = 24, EMR_SETBKCOLOR = 25, EMR_MOVETOEX = 27,
  EMR_INTERSECTCLIPRECT = 30, EMR_SAVEDC = 33, EMR_RESTOREDC = 34, EMR_SETWORLDTRANSFORM = 35,
  EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39,
  EMR_DELETEOBJECT = 40, EMR_ELLIPSE = 42, EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_ARC = 45, EMR_CHORD = 46, EMR_PIE = 47, EMR_LINETO = 54,
  EMR_BEGINPATH = 59, EMR_ENDPATH = 60, EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62, EMR_STROKEANDFILLPATH = 63,
  EMR_STROKEPATH = 64, EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH = 68, EMR_EXTSELECTCLIPRGN = 75,
  EMR_BITBLT = 76, EMR_STRETCHBLT = 77, EMR_STRETCHDIBITS = 81, EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTA = 83, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85, EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87,
  EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89, EMR_POLYPOLYLINE16 = 90, EMR_POLYPOLYGON16 = 91,
  EMR_CREATEMONOBRUSH = 93, EMR_CREATEDIBPATTERNBRUSHPT = 94, EMR_EXTCREATEPEN = 95,
};

struct EmfFrame {
  double Left, Top, Right, Bottom;  // reference-device pixels
  double PixelsPerMmX, PixelsPerMmY;
};

class EmfPlayer : public Player {
public:
  EmfPlayer(TCanvas& Canvas, const TRect& Dest, const EmfFrame& Frame) : Player(Canvas, Dest), frame_(Frame) {
    const double fw = Frame.Right - Frame.Left, fh = Frame.Bottom - Frame.Top;
    base_.A = fw > 0 ? Dest.Width() / fw : 1;
    base_.D = fh > 0 ? Dest.Height() / fh : 1;
    base_.E = Dest.Left - Frame.Left * base_.A;
    base_.F = Dest.Top - Frame.Top * base_.D;
  }

  void Play(const uint8_t* data, size_t size) {
    size_t pos = 0;
    while (pos + 8 <= size) {
      const uint32_t type = Get32(data + pos), bytes = Get32(data + pos + 4);
      if (bytes < 8 || bytes > size - pos || type == EMR_EOF) return;
      const Record rec(data + pos + 8, bytes - 8);
      pos += bytes;
      try {
        One(type, rec);
      } catch (const Malformed&) {
        return;
      }
    }
  }

private:
  Affine Page() const {
    const State& s = st_;
    double sx = 1, sy = 1;
    auto metric = [&](double mmPerUnit, bool flip) {
      sx = mmPerUnit * frame_.PixelsPerMmX;
      sy = mmPerUnit * frame_.PixelsPerMmY * (flip ? -1 : 1);
    };
    switch (s.MapMode) {
      case MM_LOMETRIC_MODE: metric(0.1, true); break;
      case MM_HIMETRIC_MODE: metric(0.01, true); break;
      case MM_LOENGLISH_MODE: metric(0.254, true); break;
      case MM_HIENGLISH_MODE: metric(0.0254, true); break;
      case MM_TWIPS_MODE: metric(25.4 / 1440, true); break;
      case MM_ISOTROPIC_MODE:
      case MM_ANISOTROPIC_MODE:
        sx = s.WindowExt.X ? s.ViewportExt.X / s.WindowExt.X : 0;
        sy = s.WindowExt.Y ? s.ViewportExt.Y / s.WindowExt.Y : 0;
        if (s.MapMode == MM_ISOTROPIC_MODE) {
          const double m = std::min(std::abs(sx), std::abs(sy));
          sx = std::copysign(m, sx), sy = std::copysign(m, sy);
        }
        break;
      default: break;
    }
    return {sx, 0, 0, sy, s.ViewportOrg.X - s.WindowOrg.X * sx, s.ViewportOrg.Y - s.WindowOrg.Y * sy};
  }
  Affine Transform() const override { return base_.After(Page().After(st_.World)); }

  static COLORREF Color(const Record& r, size_t o) { return r.U32(o) & 0x00FFFFFF; }

  // Points after the bounds rectangle (16 bytes) and the count.
  Ring Points(const Record& r, size_t offset, size_t count, bool small) const {
    const size_t each = small ? 4 : 8;
    if (count > r.Size() / each) throw Malformed{};
    r.At(offset, count * each);
    Ring ring;
    ring.reserve(count);
    for (size_t i = 0; i < count; ++i)
      ring.push_back(small ? PointF{double(r.S16(offset + 4 * i)), double(r.S16(offset + 4 * i + 2))}
                           : PointF{double(r.S32(offset + 8 * i)), double(r.S32(offset + 8 * i + 4))});
    return ring;
  }

  // Cubic Bézier segments from a start point, flattened.
  static Ring Flatten(PointF start, const Ring& controls) {
    Ring out;
    PointF p0 = start;
    for (size_t i = 0; i + 2 < controls.size(); i += 3) {
      const PointF p1 = controls[i], p2 = controls[i + 1], p3 = controls[i + 2];
      const int steps = 16;
      for (int k = 1; k <= steps; ++k) {
        const double t = double(k) / steps, u = 1 - t;
        out.push_back({u * u * u * p0.X + 3 * u * u * t * p1.X + 3 * u * t * t * p2.X + t * t * t * p3.X,
                       u * u * u * p0.Y + 3 * u * u * t * p1.Y + 3 * u * t * t * p2.Y + t * t * t * p3.Y});
      }
      p0 = p3;
      if (out.size() > size_t{1} << 20) break;
    }
    return out;
  }

  // Path figures, in logical units.
  struct Figure {
    Ring Points;
    bool Closed = false;
  };
  void PathAppend(const Ring& pts) {
    if (figures_.empty() || figures_.back().Closed) figures_.push_back({{st_.Current}, false});
    for (const PointF& p : pts) figures_.back().Points.push_back(p);
    if (!pts.empty()) st_.Current = pts.back();
  }
  void PathFigure(const Ring& pts, bool closed) {
    figures_.push_back({pts, closed});
    if (!pts.empty()) st_.Current = pts.back();
  }
  void DrawPath(bool fill, bool stroke) {
    const Affine tr = Transform();
    std::vector<Ring> rings;
    for (const Figure& f : figures_) {
      Ring device = f.Points;
      for (PointF& p : device) p = tr.Apply(p);
      rings.push_back(std::move(device));
    }
    if (fill) FillRings(rings);
    if (stroke && HasPen()) {
      for (size_t i = 0; i < rings.size(); ++i) StrokeRings({rings[i]}, figures_[i].Closed);
    }
    figures_.clear();
    inPath_ = false;
  }

  void DrawDib(const Record& r, size_t offBmi, size_t cbBmi, size_t offBits, size_t cbBits, double x, double y,
               double w, double h, int32_t xs, int32_t ys, int32_t ws, int32_t hs, uint32_t rop) {
    // Offsets count from the record's start, 8 bytes before its parameters.
    if (offBmi < 8 || offBits < 8) throw Malformed{};
    const uint8_t* bmi = r.At(offBmi - 8, cbBmi);
    const uint8_t* bits = r.At(offBits - 8, cbBits);
    TDibImage img;
    try {
      img = ReadDib(bmi, cbBmi, bits, cbBits);
    } catch (const EInvalidGraphic&) {
      return;  // a damaged bitmap is left out; the rest still draws
    }
    Bitmap(img, x, y, w, h, xs, ys, ws, hs, rop);
  }

  void One(uint32_t type, const Record& r) {
    auto pt = [&](size_t o) { return PointF{double(r.S32(o)), double(r.S32(o + 4))}; };
    switch (type) {
      case EMR_HEADER: break;
      case EMR_SAVEDC: Save(); break;
      case EMR_RESTOREDC: Restore(r.S32(0)); break;
      case EMR_SETMAPMODE: st_.MapMode = static_cast<int>(r.U32(0)); break;
      case EMR_SETWINDOWEXTEX: st_.WindowExt = pt(0); break;
      case EMR_SETWINDOWORGEX: st_.WindowOrg = pt(0); break;
      case EMR_SETVIEWPORTEXTEX: st_.ViewportExt = pt(0); break;
      case EMR_SETVIEWPORTORGEX: st_.ViewportOrg = pt(0); break;
      case EMR_SETBKMODE: st_.Opaque = r.U32(0) == 2; break;
      case EMR_SETPOLYFILLMODE: st_.Winding = r.U32(0) == 2; break;
      case EMR_SETTEXTALIGN: st_.TextAlign = r.U32(0); break;
      case EMR_SETTEXTCOLOR: st_.TextColor = Color(r, 0); break;
      case EMR_SETBKCOLOR: st_.BkColor = Color(r, 0); break;
      case EMR_SETWORLDTRANSFORM:
      case EMR_MODIFYWORLDTRANSFORM: {
        const Affine x{r.F32(0), r.F32(4), r.F32(8), r.F32(12), r.F32(16), r.F32(20)};
        const uint32_t mode = type == EMR_SETWORLDTRANSFORM ? 4 : r.U32(24);
        Affine next = st_.World;
        if (mode == 1) next = Affine{};
        else if (mode == 2) next = st_.World.After(x);  // left multiply: x first
        else if (mode == 3) next = x.After(st_.World);
        else if (mode == 4) next = x;
        if (next.Finite()) st_.World = next;
        break;
      }
      case EMR_CREATEPEN: {
        Object o;
        o.Type = Object::kPen;
        o.P = {r.U32(4), double(r.S32(8)), Color(r, 16)};
        objects_[r.U32(0)] = o;
        break;
      }
      case EMR_EXTCREATEPEN: {
        Object o;
        o.Type = Object::kPen;
        // LOGPEN_EX after the handle and four bitmap offsets/sizes.
        o.P = {r.U32(20), double(r.U32(24)), Color(r, 32)};
        if (r.U32(28) == BS_NULL_STYLE) o.P.Style = PS_NULL_STYLE;
        if ((o.P.Style & 0x000F0000u) == 0) o.P.Width = 0;  // cosmetic: one pixel whatever the mapping
        objects_[r.U32(0)] = o;
        break;
      }
      case EMR_CREATEBRUSHINDIRECT: {
        Object o;
        o.Type = Object::kBrush;
        o.B = {r.U32(4), Color(r, 8), r.U32(12)};
        objects_[r.U32(0)] = o;
        break;
      }
      case EMR_CREATEMONOBRUSH:
      case EMR_CREATEDIBPATTERNBRUSHPT: {
        Object o;  // pattern brushes are not drawn (see the Windows metafile case)
        o.Type = Object::kBrush;
        o.B = {BS_NULL_STYLE, 0, 0};
        objects_[r.U32(0)] = o;
        break;
      }
      case EMR_EXTCREATEFONTINDIRECTW: {
        Object o;
        o.Type = Object::kFont;
        o.F.Height = r.S32(4);
        o.F.Weight = r.S32(20);
        o.F.Italic = r.At(24, 1)[0] != 0;
        o.F.Underline = r.At(25, 1)[0] != 0;
        o.F.StrikeOut = r.At(26, 1)[0] != 0;
        const uint8_t* face = r.At(32, 64);
        size_t n = 0;
        while (n < 32 && Get16(face + 2 * n) != 0) ++n;
        o.F.Face = ToUtf8(FromUtf16(face, n));
        objects_[r.U32(0)] = o;
        break;
      }
      case EMR_SELECTOBJECT: {
        const uint32_t h = r.U32(0);
        if (h & 0x80000000u) {
          SelectStock(h & 0x7FFFFFFF);
        } else if (auto it = objects_.find(h); it != objects_.end()) {
          Select(it->second);
        }
        break;
      }
      case EMR_DELETEOBJECT: objects_.erase(r.U32(0)); break;
      case EMR_MOVETOEX:
        st_.Current = pt(0);
        if (inPath_) figures_.push_back({{st_.Current}, false});
        break;
      case EMR_LINETO:
        if (inPath_) PathAppend({pt(0)});
        else LineTo(r.S32(0), r.S32(4));
        break;
      case EMR_RECTANGLE:
      case EMR_ELLIPSE: {
        const double l = r.S32(0), t = r.S32(4), rr = r.S32(8), b = r.S32(12);
        if (inPath_) PathFigure(type == EMR_RECTANGLE ? RectRing(l, t, rr, b) : EllipseRing(l, t, rr, b), true);
        else if (type == EMR_RECTANGLE) Rectangle(l, t, rr, b);
        else Ellipse(l, t, rr, b);
        break;
      }
      case EMR_ARC:
      case EMR_CHORD:
      case EMR_PIE:
        Arc(r.S32(0), r.S32(4), r.S32(8), r.S32(12), r.S32(16), r.S32(20), r.S32(24), r.S32(28),
            type == EMR_ARC ? ArcKind::kArc : type == EMR_PIE ? ArcKind::kPie : ArcKind::kChord);
        break;
      case EMR_ROUNDRECT:
        RoundRect(r.S32(0), r.S32(4), r.S32(8), r.S32(12), r.S32(16), r.S32(20));
        break;
      case EMR_INTERSECTCLIPRECT: IntersectClip(r.S32(0), r.S32(4), r.S32(8), r.S32(12)); break;
      case EMR_EXTSELECTCLIPRGN:
        // Only "no region" (back to the whole picture) is understood.
        if (r.U32(0) == 0 && r.U32(4) == 5) st_.Clip = InitialClip();
        break;
      case EMR_SETPIXELV: {
        const TRect p = DeviceRect(r.S32(0), r.S32(4), r.S32(0) + 1, r.S32(4) + 1);
        FillDeviceRect({p.Left, p.Top, std::max(p.Right, p.Left + 1), std::max(p.Bottom, p.Top + 1)}, Color(r, 8));
        break;
      }
      case EMR_POLYGON:
      case EMR_POLYGON16:
      case EMR_POLYLINE:
      case EMR_POLYLINE16:
      case EMR_POLYBEZIER:
      case EMR_POLYBEZIER16:
      case EMR_POLYLINETO:
      case EMR_POLYLINETO16:
      case EMR_POLYBEZIERTO:
      case EMR_POLYBEZIERTO16: {
        const bool small = type >= EMR_POLYBEZIER16;
        Ring pts = Points(r, 20, r.U32(16), small);
        const uint32_t kind = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
        if (kind == EMR_POLYBEZIER && !pts.empty()) {
          const PointF start = pts.front();
          pts = Flatten(start, Ring(pts.begin() + 1, pts.end()));
          pts.insert(pts.begin(), start);
        }
        if (kind == EMR_POLYBEZIERTO) pts = Flatten(st_.Current, pts);
        if (inPath_) {
          if (kind == EMR_POLYLINETO || kind == EMR_POLYBEZIERTO) PathAppend(pts);
          else PathFigure(pts, kind == EMR_POLYGON);
        } else if (kind == EMR_POLYGON) {
          Polygons({pts});
        } else if (kind == EMR_POLYLINETO || kind == EMR_POLYBEZIERTO) {
          pts.insert(pts.begin(), st_.Current);
          Polyline(pts);
          if (!pts.empty()) st_.Current = pts.back();
        } else {
          Polyline(pts);
        }
        break;
      }
      case EMR_POLYPOLYGON:
      case EMR_POLYPOLYGON16:
      case EMR_POLYPOLYLINE:
      case EMR_POLYPOLYLINE16: {
        const bool small = type == EMR_POLYPOLYGON16 || type == EMR_POLYPOLYLINE16;
        const bool polygon = type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16;
        const size_t n = r.U32(16), total = r.U32(20);
        if (n > r.Size() / 4) throw Malformed{};
        Ring all = Points(r, 24 + 4 * n, total, small);
        std::vector<Ring> rings;
        size_t used = 0;
        for (size_t i = 0; i < n; ++i) {
          const size_t count = r.U32(24 + 4 * i);
          if (count > all.size() - used) throw Malformed{};
          rings.emplace_back(all.begin() + long(used), all.begin() + long(used + count));
          used += count;
        }
        if (inPath_) {
          for (const Ring& ring : rings) PathFigure(ring, polygon);
        } else if (polygon) {
          Polygons(rings);
        } else {
          for (const Ring& ring : rings) Polyline(ring);
        }
        break;
      }
      case EMR_BEGINPATH:
        figures_.clear();
        inPath_ = true;
        break;
      case EMR_ENDPATH: inPath_ = false; break;
      case EMR_CLOSEFIGURE:
        if (!figures_.empty()) {
          figures_.back().Closed = true;
          if (!figures_.back().Points.empty()) st_.Current = figures_.back().Points.front();
        }
        break;
      case EMR_FILLPATH: DrawPath(true, false); break;
      case EMR_STROKEPATH: DrawPath(false, true); break;
      case EMR_STROKEANDFILLPATH: DrawPath(true, true); break;
      case EMR_ABORTPATH:
      case EMR_SELECTCLIPPATH:  // clipping to a path is not supported: the path is dropped
        figures_.clear();
        inPath_ = false;
        break;
      case EMR_EXTTEXTOUTA:
      case EMR_EXTTEXTOUTW: {
        // Bounds (16), graphics mode, x and y scale, then EMRTEXT.
        const double x = r.S32(28), y = r.S32(32);
        const size_t n = r.U32(36), offString = r.U32(40);
        const uint32_t options = r.U32(44);
        const TRect rect = DeviceRect(r.S32(48), r.S32(52), r.S32(56), r.S32(60));
        const size_t offDx = r.U32(64);
        if (offString < 8) throw Malformed{};
        const bool wide = type == EMR_EXTTEXTOUTW;
        if (n > r.Size()) throw Malformed{};
        const uint8_t* s = r.At(offString - 8, n * (wide ? 2 : 1));
        std::vector<double> dx;
        if (n > 0 && offDx >= 8 && offDx - 8 <= r.Size() && n * 4 <= r.Size() - (offDx - 8))
          for (size_t i = 0; i < n; ++i) dx.push_back(r.S32(offDx - 8 + 4 * i));
        const bool hasRect = (options & (ETO_OPAQUE_FLAG | ETO_CLIPPED_FLAG)) && !rect.IsEmpty();
        Text(x, y, wide ? FromUtf16(s, n) : FromAnsi(s, n), dx.empty() ? nullptr : &dx, options,
             hasRect ? &rect : nullptr);
        break;
      }
      case EMR_STRETCHDIBITS:
        // Bounds, xDest, yDest, xSrc, ySrc, cxSrc, cySrc, offBmi, cbBmi,
        // offBits, cbBits, usage, rop, cxDest, cyDest.
        DrawDib(r, r.U32(40), r.U32(44), r.U32(48), r.U32(52), r.S32(16), r.S32(20), r.S32(64), r.S32(68),
                r.S32(24), r.S32(28), r.S32(32), r.S32(36), r.U32(60));
        break;
      case EMR_BITBLT:
      case EMR_STRETCHBLT: {
        // Bounds, xDest, yDest, cxDest, cyDest, rop, xSrc, ySrc, xform (24),
        // background, usage, offBmi, cbBmi, offBits, cbBits[, cxSrc, cySrc].
        const double x = r.S32(16), y = r.S32(20), w = r.S32(24), h = r.S32(28);
        const uint32_t rop = r.U32(32);
        const size_t cbBmi = r.U32(80);
        if (cbBmi == 0) {
          PatBlt(x, y, w, h, rop);
          break;
        }
        const int32_t ws = type == EMR_STRETCHBLT ? r.S32(92) : static_cast<int32_t>(w);
        const int32_t hs = type == EMR_STRETCHBLT ? r.S32(96) : static_cast<int32_t>(h);
        DrawDib(r, r.U32(76), cbBmi, r.U32(84), r.U32(88), x, y, w, h, r.S32(36), r.S32(40), ws, hs, rop);
        break;
      }
      default:
        break;  // not drawn by us (comments, palettes, regions, ...)
    }
  }

  void SelectStock(uint32_t index) {
    Object o;
    switch (index) {
      case 0: case 1: case 2: case 3: case 4: {  // white, light grey, grey, dark grey, black brushes
        static constexpr COLORREF kGreys[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        o.Type = Object::kBrush;
        o.B = {BS_SOLID_STYLE, kGreys[index], 0};
        break;
      }
      case 5: o.Type = Object::kBrush, o.B = {BS_NULL_STYLE, 0, 0}; break;
      case 6: o.Type = Object::kPen, o.P = {0, 0, 0xFFFFFF}; break;
      case 7: o.Type = Object::kPen, o.P = {0, 0, 0}; break;
      case 8: o.Type = Object::kPen, o.P = {PS_NULL_STYLE, 0, 0}; break;
      case 10: case 11: case 12: case 13: case 14: case 16: case 17:
        o.Type = Object::kFont;
        o.F = Font{};
        o.F.Face = index == 10 || index == 11 || index == 16 ? "Courier New" : "MS Sans Serif";
        break;
      default: return;
    }
    Select(o);
  }

  EmfFrame frame_;
  Affine base_;
  std::map<uint32_t, Object> objects_;
  std::vector<Figure> figures_;
  bool inPath_ = false;
};

// ---- Reading the headers ----

struct Header {
  bool Enhanced = false;
  int32_t Width = 0, Height = 0, MMWidth = 0, MMHeight = 0;
};

bool IsEmf(const uint8_t* p, size_t n) {
  return n >= kEmfHeaderMin && Get32(p) == EMR_HEADER && Get32(p + 40) == kEmfSignature;
}

EmfFrame EmfFrameOf(const uint8_t* p) {
  const auto s = [&](size_t o) { return double(static_cast<int32_t>(Get32(p + o))); };
  // szlDevice (pixels) and szlMillimeters of the reference device.
  double devX = s(72), devY = s(76), mmX = s(80), mmY = s(84);
  if (devX <= 0 || mmX <= 0) devX = 96, mmX = 25.4;
  if (devY <= 0 || mmY <= 0) devY = 96, mmY = 25.4;
  EmfFrame f{};
  f.PixelsPerMmX = devX / mmX;
  f.PixelsPerMmY = devY / mmY;
  // rclFrame in hundredths of a millimetre.
  f.Left = s(24) / 100 * f.PixelsPerMmX;
  f.Top = s(28) / 100 * f.PixelsPerMmY;
  f.Right = s(32) / 100 * f.PixelsPerMmX;
  f.Bottom = s(36) / 100 * f.PixelsPerMmY;
  if (f.Right <= f.Left || f.Bottom <= f.Top) {
    // No frame: the bounds in device pixels (inclusive) instead.
    f.Left = s(8), f.Top = s(12), f.Right = s(16) + 1, f.Bottom = s(20) + 1;
  }
  return f;
}

// A plain Windows metafile header: type, header size in words (9), version.
bool IsWmfHeader(const uint8_t* p, size_t n) {
  return n >= 18 && (Get16(p) == 1 || Get16(p) == 2) && Get16(p + 2) == 9 &&
         (Get16(p + 4) == 0x0100 || Get16(p + 4) == 0x0300);
}

// A plain metafile states its frame only in its window records.
bool WmfWindow(const uint8_t* p, size_t n, size_t first, double& l, double& t, double& r, double& b) {
  bool haveExt = false;
  double ox = 0, oy = 0, ex = 0, ey = 0;
  for (size_t pos = first; pos + 6 <= n;) {
    const uint64_t words = Get32(p + pos);
    const uint16_t f = Get16(p + pos + 4);
    if (words < 3 || words * 2 > n - pos || f == META_EOF) break;
    if (f == META_SETWINDOWORG && words >= 5) oy = int16_t(Get16(p + pos + 6)), ox = int16_t(Get16(p + pos + 8));
    if (f == META_SETWINDOWEXT && words >= 5 && !haveExt) {
      ey = int16_t(Get16(p + pos + 6)), ex = int16_t(Get16(p + pos + 8));
      haveExt = ex != 0 && ey != 0;
    }
    pos += static_cast<size_t>(words * 2);
  }
  l = ox, t = oy, r = ox + ex, b = oy + ey;
  return haveExt;
}

// Parses the header; for a WMF also the frame (logical units) and the first
// record's offset.
Header ParseHeader(const uint8_t* p, size_t n, double* frame = nullptr, size_t* first = nullptr) {
  Header h;
  if (IsEmf(p, n)) {
    const uint32_t headerSize = Get32(p + 4);
    if (headerSize < kEmfHeaderMin || headerSize > n) InvalidMetafile();
    const EmfFrame f = EmfFrameOf(p);
    h.Enhanced = true;
    const double wPx = f.Right - f.Left, hPx = f.Bottom - f.Top;
    if (!(wPx > 0) || !(hPx > 0) || !std::isfinite(wPx + hPx) || wPx > 1e6 || hPx > 1e6) InvalidMetafile();
    h.MMWidth = static_cast<int32_t>(std::lround(wPx / f.PixelsPerMmX * 100));
    h.MMHeight = static_cast<int32_t>(std::lround(hPx / f.PixelsPerMmY * 100));
  } else {
    double l = 0, t = 0, r = 0, b = 0, inch = 96;
    size_t start = 0;
    if (n >= kPlaceableSize && Get32(p) == kPlaceableKey) {
      // Placeable header: key, handle, bounds (l, t, r, b), units per inch,
      // reserved, checksum. The checksum is not checked: real files get it
      // wrong and the bounds are what matter.
      l = int16_t(Get16(p + 6)), t = int16_t(Get16(p + 8)), r = int16_t(Get16(p + 10)), b = int16_t(Get16(p + 12));
      inch = Get16(p + 14);
      start = kPlaceableSize;
      if (!IsWmfHeader(p + start, n - start) || inch == 0) InvalidMetafile();
    } else if (IsWmfHeader(p, n)) {
      // Without the placeable header, the window's extent gives the frame;
      // a unit is taken as one pixel at 96 per inch.
      if (!WmfWindow(p, n, 18, l, t, r, b)) InvalidMetafile();
    } else {
      InvalidMetafile();
    }
    if (r == l || b == t) InvalidMetafile();
    const double w = std::abs(r - l), hh = std::abs(b - t);
    h.MMWidth = static_cast<int32_t>(std::lround(w * 2540 / inch));
    h.MMHeight = static_cast<int32_t>(std::lround(hh * 2540 / inch));
    if (frame) frame[0] = l, frame[1] = t, frame[2] = r, frame[3] = b;
    if (first) *first = start + 2 * size_t{Get16(p + start + 2)};
  }
  h.Width = std::max(1, static_cast<int32_t>(std::lround(h.MMWidth * 96.0 / 2540)));
  h.Height = std::max(1, static_cast<int32_t>(std::lround(h.MMHeight * 96.0 / 2540)));
  return h;
}

}  // namespace

void TMetafile::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    data_.clear();
    enhanced_ = false;
    width_ = height_ = mmWidth_ = mmHeight_ = 0;
    Changed(this);
    return;
  }
  if (const auto* m = dynamic_cast<const TMetafile*>(Source)) {
    if (m == this) return;
    data_ = m->data_;
    enhanced_ = m->enhanced_;
    width_ = m->width_;
    height_ = m->height_;
    mmWidth_ = m->mmWidth_;
    mmHeight_ = m->mmHeight_;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TMetafile::SetWidth(int32_t Value) {
  if (Value == width_ || Value < 0) return;
  width_ = Value;
  Changed(this);
}

void TMetafile::SetHeight(int32_t Value) {
  if (Value == height_ || Value < 0) return;
  height_ = Value;
  Changed(this);
}

void TMetafile::LoadFromStream(TStream& Stream) {
  const int64_t left = Stream.Size() - Stream.Position();
  if (left <= 0 || static_cast<uint64_t>(left) > kMaxFileSize) InvalidMetafile();
  std::vector<uint8_t> data(static_cast<size_t>(left));
  size_t have = 0;
  while (have < data.size()) {
    const int32_t got = Stream.Read(data.data() + have,
                                    static_cast<int32_t>(std::min<size_t>(data.size() - have, size_t{1} << 30)));
    if (got <= 0) InvalidMetafile();
    have += static_cast<size_t>(got);
  }
  const Header h = ParseHeader(data.data(), data.size());
  data_ = std::move(data);
  enhanced_ = h.Enhanced;
  width_ = h.Width;
  height_ = h.Height;
  mmWidth_ = h.MMWidth;
  mmHeight_ = h.MMHeight;
  Changed(this);
}

void TMetafile::SaveToStream(TStream& Stream) {
  size_t done = 0;
  while (done < data_.size()) {
    const auto n = static_cast<int32_t>(std::min<size_t>(data_.size() - done, size_t{1} << 30));
    Stream.WriteBuffer(data_.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

void TMetafile::Draw(TCanvas& Canvas, const TRect& Rect) {
  if (data_.empty() || Rect.IsEmpty()) return;
  const uint8_t* p = data_.data();
  const size_t n = data_.size();
  try {
    if (enhanced_) {
      // An EMF's own byte count ends it even when more data follow.
      const size_t bytes = std::min<size_t>(n, std::max<uint32_t>(Get32(p + 48), kEmfHeaderMin));
      EmfPlayer player(Canvas, Rect, EmfFrameOf(p));
      player.Play(p, bytes);
    } else {
      double frame[4];
      size_t first = 0;
      ParseHeader(p, n, frame, &first);
      WmfPlayer player(Canvas, Rect, frame[0], frame[1], frame[2], frame[3]);
      player.Play(p, n, first);
    }
  } catch (const EOutOfMemory&) {
    // A record asking for more than can be drawn ends the playback.
  }
}

}  // namespace platform
