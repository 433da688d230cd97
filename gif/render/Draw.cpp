// How a GIF picture reaches a canvas: one frame drawn at once, or an
// animation painter composing the frames into the cached bitmap, and the
// starting and stopping of painters.

#include <thread>

#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"
#include "gif/render/FrameRender.h"
#include "gif/render/Painter.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Clock.h"
#include "platform/threads/Messages.h"

namespace gif {

using platform::TBitmap;
using platform::TCanvas;
using platform::TRect;

namespace {

constexpr platform::UINT kThreadWindowFirst = platform::WM_DESTROYTHREADWINDOW;  // 0x8FFE
constexpr platform::UINT kThreadWindowLast = platform::WM_SYNCHRONIZE;           // 0x8FFF

// Serves the thread window's messages (the painters' synchronised calls)
// until none is left. A WM_QUIT met on the way is put back for the
// program's own loop; false then.
bool PumpThreadWindow() {
  platform::MSG msg;
  while (platform::PeekMessage(msg, nullptr, kThreadWindowFirst, kThreadWindowLast, platform::PM_REMOVE)) {
    if (msg.message == platform::WM_QUIT) {
      platform::PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    platform::TranslateMessage(msg);
    platform::DispatchMessage(msg);
  }
  return true;
}

// One step of waiting for painters to detach. Once a quit is pending, the
// queue would hand it back at once, so the synchronised calls are served
// directly: a painter must never outlive the picture it reads.
void ServePainters(bool& QuitPending) {
  if (QuitPending)
    platform::CheckSynchronize();
  else
    QuitPending = !PumpThreadWindow();
}

}  // namespace

void TGIFImage::Draw(TCanvas& Canvas, const TRect& Rect) {
  if (DrawBusy || GetEmpty()) return;
  DrawBusy = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{DrawBusy};

  if (Frames->ItemCount() == 1 || !(DrawFlags & DrawAnimated)) {
    Frames->FrameAt(0)->DrawFrame(Canvas, Rect, (DrawFlags & DrawTiled) != 0, (DrawFlags & DrawTransparent) != 0);
    return;
  }
  if (CachedBitmap && !(DrawFlags & DrawUnbuffered)) {
    PaintCachedBitmap(Canvas, Rect, CachedBitmap.get());
    return;
  }
  auto lock = Painters.Lock();
  if (DrawPainter != nullptr && DrawPainter->TargetCanvas == &Canvas && DrawPainter->TargetRect == Rect) return;
  StopDrawPainter();

  TCanvas* target = &Canvas;
  TRect targetRect = Rect;
  if (!(DrawFlags & DrawUnbuffered)) {
    TBitmap* bitmap = EnsureBitmap();
    target = &bitmap->Canvas();
    targetRect = target->ClipRect();
    // What lies under the picture now: the background of a transparent one.
    target->CopyRect(targetRect, Canvas, Rect);
  }
  StartPainter(&DrawPainter, target, DrawFlags, targetRect);
  if (DrawPainter == nullptr) return;
  DrawPainter->Launch();
  if (DrawFlags & DrawUnbuffered) return;
  // Wait for the first frame, serving only the painters' synchronised calls.
  while (DrawPainter != nullptr && !DrawPainter->Terminated() && !DrawPainter->FramePainted) {
    platform::MSG msg;
    if (platform::PeekMessage(msg, nullptr, kThreadWindowFirst, kThreadWindowLast, platform::PM_REMOVE)) {
      if (msg.message == platform::WM_QUIT) {
        platform::PostQuitMessage(static_cast<int>(msg.wParam));  // the program's loop still ends
        return;
      }
      platform::TranslateMessage(msg);
      platform::DispatchMessage(msg);
    } else {
      platform::Sleep(0);
    }
  }
  if (TBitmap* bitmap = RenderedBitmap()) PaintCachedBitmap(Canvas, Rect, bitmap);
}

void TGIFImage::PaintCachedBitmap(TCanvas& Canvas, const TRect& Rect, TBitmap* Bitmap) {
  if (!(DrawFlags & DrawTiled)) {
    Canvas.StretchDraw(Rect, Bitmap);
    return;
  }
  const int32_t w = GetWidth();
  const int32_t h = GetHeight();
  for (const platform::TPoint& p : TilePositions(Rect, 0, 0, w, h))
    Canvas.StretchDraw(platform::Bounds(p.X, p.Y, w, h), Bitmap);
}

TGIFPainter* TGIFImage::StartPainter(TGIFPainter** Ref, TCanvas* Canvas, TGIFDrawFlags Flags, const TRect& Rect) {
  if (GetEmpty() || Rect.IsEmpty()) {
    if (Ref != nullptr) *Ref = nullptr;
    return nullptr;
  }
  if (Frames->ItemCount() == 1) Flags &= static_cast<TGIFDrawFlags>(~DrawInThread);
  auto* painter = new TGIFPainter(Ref, Flags, Rect, Canvas, this);
  Painters.Add(painter);
  painter->StartHandler = StartHandler;
  painter->FrameHandler = FrameHandler;
  painter->LoopHandler = LoopHandler;
  painter->EndHandler = EndHandler;
  if (!(Flags & DrawInThread)) {
    // The whole run happens here; the painter is gone afterwards.
    std::unique_ptr<TGIFPainter> owned(painter);
    owned->Execute();
    owned.reset();
    if (Ref != nullptr) *Ref = nullptr;
    return nullptr;
  }
  const auto priority = static_cast<platform::TThreadPriority>(std::min<uint8_t>(PainterPriority, 6));
  painter->SetPriority(priority);
  if (painter->WakeEvent) painter->WakeEvent->Priority = priority;
  return painter;
}

void TGIFImage::StopDrawPainter() {
  bool quit = false;
  for (;;) {
    {
      auto lock = Painters.Lock();
      if (DrawPainter == nullptr) break;
      DrawPainter->RequestStop();
      if (!DrawPainter->RunsInThread()) break;
    }
    ServePainters(quit);
    platform::Sleep(0);
  }
  DropBitmap();
}

void TGIFImage::StopAllPainters() {
  bool quit = false;
  try {
    for (;;) {
      int threaded = 0;
      {
        auto lock = Painters.Lock();
        if (lock->empty()) break;
        for (auto it = lock->rbegin(); it != lock->rend(); ++it) {
          (*it)->RequestStop();
          if ((*it)->RunsInThread()) ++threaded;
        }
      }
      if (threaded == 0) break;
      ServePainters(quit);
      std::this_thread::yield();
    }
  } catch (...) {
    DropBitmap();
    throw;
  }
  DropBitmap();
}

void TGIFImage::DetachPainters() {
  auto lock = Painters.Lock();
  for (auto it = lock->rbegin(); it != lock->rend(); ++it) (*it)->SourceImage = nullptr;
}

void TGIFImage::DropBitmap() {
  if (DrawPainter != nullptr) DrawPainter->RequestStop();
  CachedBitmap.reset();
}

TBitmap* TGIFImage::RenderedBitmap() {
  if (GetEmpty()) return nullptr;
  if (CachedBitmap) return CachedBitmap.get();
  CachedBitmap = std::make_unique<TBitmap>();
  CachedBitmap->OnChange = [this](platform::TObject*) { Changed(this); };
  TGIFSubImage* first = Frames->FrameAt(0);
  if (first->ImageDescriptor.ImageWidth == GetWidth() && first->ImageDescriptor.ImageHeight == GetHeight()) {
    CachedBitmap->Assign(first->RenderFrame());
  } else {
    CachedBitmap->SetPalette(platform::CopyPalette(GetPalette()));
    CachedBitmap->SetHeight(GetHeight());
    CachedBitmap->SetWidth(GetWidth());
    first->DrawFrame(CachedBitmap->Canvas(), CachedBitmap->Canvas().ClipRect(), false, false);
  }
  return CachedBitmap.get();
}

void TGIFImage::AssignTo(platform::TPersistent* Dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    // Rendering fills the picture's cache; its content stays the same.
    bitmap->Assign(const_cast<TGIFImage*>(this)->RenderedBitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

}  // namespace gif
