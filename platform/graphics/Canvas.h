#pragma once
// TCanvas and its drawing tools: TFont, TBrush, TPen. A canvas draws on a
// device context; text goes through the font engine and is blended into the
// DC's pixels.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/graphics/Colors.h"
#include "platform/graphics/FontEngine.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"

namespace platform {

class TGraphic;

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Common base of TFont, TBrush and TPen: a change notification.
class TGraphicsObject : public TPersistent {
 public:
  const char* ClassName() const noexcept override { return "TGraphicsObject"; }
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;  // a set of TFontStyle bits
inline constexpr uint8_t DEFAULT_CHARSET = 1;

class TFont : public TGraphicsObject {
 public:
  TFont();
  const char* ClassName() const noexcept override { return "TFont"; }
  void Assign(const TPersistent* Source) override;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& Value);
  // Negative: character height in pixels; positive: cell height.
  int32_t Height() const { return height_; }
  void SetHeight(int32_t Value);
  // Points at PixelsPerInch: Size = -Height * 72 / PixelsPerInch, rounded.
  int32_t Size() const;
  void SetSize(int32_t Points);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles Value);
  uint8_t Charset() const { return charset_; }
  void SetCharset(uint8_t Value);
  int32_t PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int32_t Value);

  // What the font engine is asked for.
  TFontRequest Request() const;

 private:
  std::string name_ = "MS Sans Serif";
  int32_t height_ = -11;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  uint8_t charset_ = DEFAULT_CHARSET;
  int32_t pixelsPerInch_ = 96;
};

enum class TBrushStyle : uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};

class TBrush : public TGraphicsObject {
 public:
  TBrush() = default;
  ~TBrush() override;
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  const char* ClassName() const noexcept override { return "TBrush"; }
  void Assign(const TPersistent* Source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle Value);
  // The GDI brush for the current settings; owned by this object.
  HBRUSH Handle();

 private:
  void FreeHandle();
  TColor color_ = clWhite;
  TBrushStyle style_ = TBrushStyle::bsSolid;
  HBRUSH handle_ = nullptr;
};

enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPen : public TGraphicsObject {
 public:
  TPen() = default;
  ~TPen() override;
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  const char* ClassName() const noexcept override { return "TPen"; }
  void Assign(const TPersistent* Source) override;

  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  int32_t Width() const { return width_; }
  void SetWidth(int32_t Value);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle Value);
  HPEN Handle();  // owned by this object

 private:
  void FreeHandle();
  TColor color_ = clBlack;
  int32_t width_ = 1;
  TPenStyle style_ = TPenStyle::psSolid;
  HPEN handle_ = nullptr;
};

// A drawing surface. The base class draws on a handle given with SetHandle;
// subclasses (a bitmap's canvas, a control's canvas) create theirs on
// demand in CreateHandle. Drawing without a handle raises
// EInvalidOperation "Canvas does not allow drawing".
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  const char* ClassName() const noexcept override { return "TCanvas"; }

  HDC Handle();
  // The canvas does not own a handle given here.
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return handle_ != nullptr; }

  TFont& Font() { return font_; }
  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }
  void SetFont(const TFont& Value) { font_.Assign(&Value); }
  void SetBrush(const TBrush& Value) { brush_.Assign(&Value); }
  void SetPen(const TPen& Value) { pen_.Assign(&Value); }
  // The raster operation of CopyRect and of drawing bitmaps (SRCCOPY).
  uint32_t CopyMode() const { return copyMode_; }
  void SetCopyMode(uint32_t Value) { copyMode_ = Value; }

  // The clip box in canvas coordinates (the whole surface when unclipped).
  TRect ClipRect();
  TPoint PenPos();
  void SetPenPos(TPoint Value) { MoveTo(Value.X, Value.Y); }

  void FillRect(const TRect& Rect);
  void FrameRect(const TRect& Rect);
  void Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void Polyline(const TPoint* Points, int Count);
  // Copies Source's SourceRect into Dest, stretching when the sizes differ.
  void CopyRect(const TRect& Dest, TCanvas& Source, const TRect& SourceRect);
  // The graphic at its own size with its top-left at (X, Y); nothing for an
  // empty or absent graphic.
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);

  // One line of text with its cell's top-left at (X, Y), in the font's
  // colour; a solid brush first fills the text cell. Moves the pen to the
  // end of the text.
  void TextOut(int32_t X, int32_t Y, std::string_view Text);
  // As TextOut, clipped to Rect; a solid brush fills Rect.
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text);
  int32_t TextWidth(std::string_view Text);
  int32_t TextHeight(std::string_view Text);
  TSize TextExtent(std::string_view Text);

  // clNone (as CLR_INVALID) outside the surface.
  TColor Pixel(int32_t X, int32_t Y);
  void SetPixel(int32_t X, int32_t Y, TColor Color);

  // Notification around drawing: Changing before, Changed after. Raw GDI
  // calls on Handle bypass them; callers then call Changed themselves.
  virtual void Changing();
  virtual void Changed();
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

  // Serialises drawing between threads (re-entrant).
  void Lock();
  bool TryLock();
  void Unlock();
  int LockCount() const { return lockCount_; }

 protected:
  // Called when a handle is needed and none is there.
  virtual void CreateHandle() {}
  // Makes sure there is a handle and the DC carries the brush and pen.
  HDC RequireHandle();

 private:
  void SelectTools();
  HDC handle_ = nullptr;
  TFont font_;
  TBrush brush_;
  TPen pen_;
  uint32_t copyMode_ = SRCCOPY;
  std::recursive_mutex lock_;
  int lockCount_ = 0;
};

}  // namespace platform
