#include "gif/render/Painter.h"

#include <cstdio>
#include <string>

#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"
#include "gif/render/FrameRender.h"
#include "platform/graphics/Colors.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"
#include "platform/threads/Messages.h"
#include "platform/threads/Sync.h"

namespace gif {

using platform::TBitmap;
using platform::TRect;

namespace {

std::unique_ptr<TBitmap> NewBuffer(const TRect& Rect, platform::TColor Brush, bool Solid) {
  auto buffer = std::make_unique<TBitmap>();
  if (Solid) {
    buffer->Canvas().Brush().SetColor(Brush);
    buffer->Canvas().Brush().SetStyle(platform::TBrushStyle::bsSolid);
  }
  buffer->SetWidth(Rect.Width());
  buffer->SetHeight(Rect.Height());
  return buffer;
}

TRect BoundsOf(const TRect& Rect) { return TRect{0, 0, Rect.Width(), Rect.Height()}; }

}  // namespace

TGIFPainter::TGIFPainter(TGIFPainter** Ref, TGIFDrawFlags Flags, const TRect& Rect, platform::TCanvas* Canvas,
                         TGIFImage* Picture)
    : SourceImage(Picture),
      TargetCanvas(Canvas),
      TargetRect(Rect),
      PainterFlags(Flags),
      PainterSpeed(Picture->SpeedPercent),
      PainterRef(nullptr) {
  SetFreeOnTerminate(true);
  OnTerminate = [this](platform::TThread*) { DetachFromImage(); };
  const int frameCount = Picture->Frames->ItemCount();
  if ((Flags & DrawInThread) && (Flags & DrawAnimated) && frameCount > 1 && PainterSpeed >= 0)
    WakeEvent = std::make_shared<TRenderTicket>([this] { RenderAhead(); });

  if (Picture->BackdropColor == platform::clNone)
    BackgroundColor = Picture->Header->GlobalColorMap->EntryCount > 0
                          ? static_cast<platform::TColor>(Picture->BackgroundColorValue())
                          : platform::ColorToRGB(platform::clWindow);
  else
    BackgroundColor = platform::ColorToRGB(Picture->BackdropColor);

  bool restoreBackground = (Flags & DrawClearEachLoop) != 0;
  bool restorePrevious = false;
  for (int i = 0; i < frameCount; ++i) {
    const TGIFGraphicControlExtension* gce = Picture->Frames->FrameAt(i)->ControlExtension;
    if (gce == nullptr) continue;
    restoreBackground |= gce->DisposalMethod() == 2;
    restorePrevious |= gce->DisposalMethod() == 3;
  }
  const TRect bounds = BoundsOf(TargetRect);
  if (restoreBackground && (Flags & DrawTransparent)) {
    BackgroundBuffer = NewBuffer(TargetRect, BackgroundColor, false);
    BackgroundBuffer->Canvas().CopyRect(bounds, *TargetCanvas, TargetRect);
  }
  if (restoreBackground || restorePrevious) {
    ComposeBuffer = NewBuffer(TargetRect, BackgroundColor, true);
    ComposeBuffer->Canvas().CopyRect(bounds, *TargetCanvas, TargetRect);
    ScratchBuffer = NewBuffer(TargetRect, BackgroundColor, true);
  }
  // Frames rendered already need no requests to the pool.
  bool rendered = true;
  for (int i = 0; i < frameCount && rendered; ++i) {
    const TGIFSubImage* frame = Picture->Frames->FrameAt(i);
    rendered = frame->IsEmptyFrame() || frame->HasBitmap();
  }
  AllRendered = rendered;
  PainterRef = Ref;
  if (Ref != nullptr) *Ref = this;
}

TGIFPainter::~TGIFPainter() {
  if (!RunsInThread()) DetachFromImage();
  // A kept exception was reported when the painter detached; it cannot be
  // raised again here, where no caller waits for it.
}

void TGIFPainter::Launch() {
  if (RunsInThread()) Resume();
}

void TGIFPainter::RequestStop() {
  Terminate();
  if (RunsInThread()) {
    if (WakeEvent) WakeEvent->WakeEvent.SetEvent();
    if (Suspended()) Resume();
  }
}

void TGIFPainter::RunSynchronized(const std::function<void()>& Method) {
  if (Terminated()) return;
  if (RunsInThread())
    Synchronize(Method);
  else
    Method();
}

void TGIFPainter::FireHandler(const TGIFPainterEvent& Handler) {
  if (!Handler) return;
  RunSynchronized([this, &Handler] {
    if (!Terminated() && Handler) Handler(static_cast<platform::TObject*>(this));
  });
}

void TGIFPainter::Execute() {
  try {
    Run();
  } catch (...) {
    if (RunsInThread()) {
      if (!Terminated()) {
        Terminate();
        KeptException = std::current_exception();
      }
    } else {
      // The unthreaded run ends here; the caller carries on normally.
      KeptException = std::current_exception();
      ReportKeptException();
    }
  }
}

void TGIFPainter::Run() {
  const bool threaded = RunsInThread();
  if (PainterFlags & DrawCheckCanvas) RunSynchronized([this] { TargetDC = TargetCanvas->Handle(); });
  ActiveFrame = 0;
  FireHandler(StartHandler);
  FramePainted = false;

  int32_t loopsLeft = 1;
  int32_t loopStart = 0;
  bool loopSeen = false;
  int32_t delay = threaded ? 0 : 1;  // in GIF delay units until the wait converts it
  PreviousDisposal = 1;
  uint32_t lastTick = platform::timeGetTime();
  int32_t plannedWait = 0;
  const bool animated = (PainterFlags & DrawAnimated) != 0;
  const bool forever = (PainterFlags & DrawRepeatForever) != 0;

  while ((loopsLeft != 0 || forever) && !Terminated()) {
    ActiveFrame = loopStart;
    if (FramePainted) FireHandler(LoopHandler);
    bool stop = false;
    for (;;) {
      const int32_t index = ActiveFrame;
      if (index >= SourceImage->Frames->ItemCount() || Terminated()) break;
      TGIFSubImage* frame = SourceImage->Frames->FrameAt(index);
      // An empty frame ends the pass.
      if (frame->IsEmptyFrame()) break;
      Wait(delay, lastTick, plannedWait);
      if (Terminated()) {
        stop = true;
        break;
      }
      FireHandler(FrameHandler);
      if (Terminated()) {
        stop = true;
        break;
      }
      CurrentDisposal = 1;
      for (int i = 0; i < frame->ExtensionList->ItemCount(); ++i) {
        TGIFExtension* ext = frame->ExtensionList->ExtensionAt(i);
        if (auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(ext)) {
          if (!loopSeen) {
            loopSeen = true;
            loopsLeft = loop->LoopCount;
            if (threaded && (loop->LoopCount == 0 || forever)) loopsLeft = -1;
            loopStart = index;
          }
        } else if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext)) {
          CurrentDisposal = gce->DisposalMethod();
        }
      }
      if (Terminated()) {
        stop = true;
        break;
      }
      if (ComposeBuffer)
        RunSynchronized([this] { PaintFrameBuffered(); });
      else
        RunSynchronized([this] { PaintFrameDirect(); });
      PreviousDisposal = CurrentDisposal;
      if (!animated) break;
      delay = FallbackDelay;
      if (frame->ControlExtension != nullptr && frame->ControlExtension->DelayTime() > 0) {
        delay = std::max<int32_t>(frame->ControlExtension->DelayTime(), ShortestDelay);
        if (!threaded) delay = std::min(delay, LongestDelay);
      }
      ActiveFrame = index + 1;
    }
    if (stop) break;
    if (loopsLeft > 0) --loopsLeft;
    if (!(animated && (PainterFlags & DrawRepeat))) break;
  }
  ActiveFrame = -1;
  FireHandler(EndHandler);
}

void TGIFPainter::Wait(int32_t& Delay, uint32_t& LastTick, int32_t& PlannedWait) {
  if (Delay <= 0) {
    platform::Sleep(0);
    return;
  }
  PrepareNextFrame();
  // A stop request may have spent its wake-up on the pool's wait.
  if (Terminated()) return;
  const uint32_t now = platform::timeGetTime();
  const bool threaded = RunsInThread();
  if (PainterSpeed <= 0) {
    Delay = threaded ? -1 : LongestDelay * DelayUnitMs;
  } else {
    // Half of what the last frame took beyond its plan comes off this wait.
    const int32_t elapsed = static_cast<int32_t>(now - LastTick) - PlannedWait;
    Delay = platform::MulDiv(Delay * DelayUnitMs - elapsed / 2, 100, PainterSpeed);
    PlannedWait = Delay;
  }
  LastTick = now;
  if (threaded) {
    if (Delay > 0 || PainterSpeed == 0) {
      const platform::DWORD timeout = Delay < 0 ? platform::INFINITE : static_cast<platform::DWORD>(Delay);
      platform::DWORD result = platform::WAIT_TIMEOUT;
      if (WakeEvent)
        result = WakeEvent->WakeEvent.WaitFor(timeout);
      else
        platform::Sleep(timeout);
      if (result != platform::WAIT_TIMEOUT) Delay = 0;
    }
    return;
  }
  if (Delay <= 0) Delay = 1;
  uint32_t t = platform::timeGetTime();
  while (Delay > 0 && !Terminated()) {
    platform::Sleep(static_cast<uint32_t>(Delay >= 100 ? 100 : Delay));
    const uint32_t after = platform::timeGetTime();
    Delay -= static_cast<int32_t>(after - t);
    t = after;
    platform::MSG msg;
    while (!Terminated() && platform::PeekMessage(msg, nullptr, 0, 0, platform::PM_REMOVE)) {
      if (msg.message == platform::WM_QUIT) {
        // The quit belongs to the caller's loop: hand it back and stop.
        platform::PostQuitMessage(static_cast<int>(msg.wParam));
        Terminate();
      } else {
        platform::TranslateMessage(msg);
        platform::DispatchMessage(msg);
      }
    }
  }
}

void TGIFPainter::PrepareNextFrame() {
  if (WakeEvent && RunsInThread()) {
    if (AllRendered) return;
    RenderPool().RequestRender(WakeEvent);
    return;
  }
  // Rendering needs bitmaps, which belong to the main thread; a threaded
  // painter without a wake event (negative speed) has it done there too.
  RunSynchronized([this] {
    if (SourceImage == nullptr) return;
    const int32_t index = ActiveFrame;
    if (index < 0 || index >= SourceImage->Frames->ItemCount()) return;
    TGIFSubImage* frame = SourceImage->Frames->FrameAt(index);
    if (!frame->IsEmptyFrame() && !frame->HasBitmap()) frame->RenderFrame();
  });
}

void TGIFPainter::RenderAhead() {
  if (SourceImage == nullptr || Terminated()) return;
  const int count = SourceImage->Frames->ItemCount();
  for (int i = std::max<int32_t>(ActiveFrame, 0); i < count; ++i) {
    TGIFSubImage* frame = SourceImage->Frames->FrameAt(i);
    if (frame != nullptr && !frame->IsEmptyFrame() && !frame->HasBitmap()) {
      frame->RenderFrame();  // one frame per request
      return;
    }
  }
  // Frames before the active one were rendered when they were painted.
  AllRendered = true;
}

void TGIFPainter::PaintFrameDirect() {
  if (Terminated() || SourceImage == nullptr) return;
  SourceImage->Frames->FrameAt(ActiveFrame)
      ->DrawFrame(*TargetCanvas, TargetRect, (PainterFlags & DrawTiled) != 0, (PainterFlags & DrawTransparent) != 0);
  FramePainted = true;
}

void TGIFPainter::PaintFrameBuffered() {
  if (Terminated() || SourceImage == nullptr) return;
  if (PainterFlags & DrawCheckCanvas) {
    // A bitmap's canvas draws on a memory DC, which is as valid a target.
    const int type = platform::GetObjectType(TargetDC);
    if (type != platform::OBJ_DC && type != platform::OBJ_MEMDC) {
      Terminate();
      return;
    }
  }
  const bool clearFirst = (PainterFlags & DrawClearEachLoop) && ActiveFrame == 0;
  enum class TDest { None, Compose, Target, Scratch };
  TDest dest = TDest::None;
  bool copyToTarget = false;
  bool restoreAfter = false;
  switch (CurrentDisposal) {
    case 0:
    case 1:
      dest = TDest::Compose;
      copyToTarget = true;
      break;
    case 2:
      dest = TDest::Compose;
      copyToTarget = true;
      restoreAfter = true;
      break;
    case 3:
      if (PreviousDisposal <= 1) {
        dest = TDest::Target;
      } else if (PreviousDisposal <= 3) {
        dest = TDest::Scratch;
        copyToTarget = true;
      }
      break;
    default:
      break;  // reserved methods are not drawn
  }
  platform::TCanvas* canvas = nullptr;
  TBitmap* buffer = nullptr;
  TRect rect = TargetRect;
  if (dest == TDest::Compose) buffer = ComposeBuffer.get();
  if (dest == TDest::Scratch) buffer = ScratchBuffer.get();
  if (buffer != nullptr) {
    canvas = &buffer->Canvas();
    rect = BoundsOf(TargetRect);
  } else if (dest == TDest::Target) {
    canvas = TargetCanvas;
  }
  TGIFSubImage* frame = SourceImage->Frames->FrameAt(ActiveFrame);
  platform::HDC dc{};
  platform::HPALETTE oldPalette{};
  if (canvas != nullptr) {
    platform::HPALETTE palette = frame->FramePalette();
    if (!palette) palette = platform::SystemPalette16();
    dc = canvas->Handle();
    oldPalette = platform::SelectPalette(dc, palette, false);
    platform::RealizePalette(dc);
  }
  auto restorePalette = [&] {
    if (dc) platform::SelectPalette(dc, oldPalette, false);
    dc = nullptr;
  };
  if (Terminated()) {
    restorePalette();
    return;
  }
  try {
    if (clearFirst) RestoreBackground();
    if (dest == TDest::Scratch) ScratchBuffer->Canvas().CopyRect(rect, ComposeBuffer->Canvas(), rect);
    if (canvas != nullptr && !Terminated())
      frame->DrawFrame(*canvas, rect, (PainterFlags & DrawTiled) != 0, (PainterFlags & DrawTransparent) != 0);
    if (Terminated()) {
      restorePalette();
      return;
    }
    if (copyToTarget && buffer != nullptr) TargetCanvas->CopyRect(TargetRect, buffer->Canvas(), rect);
  } catch (...) {
    restorePalette();
    throw;
  }
  restorePalette();
  if (restoreAfter) RestoreBackground();
  FramePainted = true;
}

void TGIFPainter::RestoreBackground() {
  if (!ComposeBuffer || SourceImage == nullptr) return;
  TGIFSubImage* frame = SourceImage->Frames->FrameAt(ActiveFrame);
  const TImageDescriptor& d = frame->ImageDescriptor;
  const TRect bounds = BoundsOf(TargetRect);
  const int32_t sw = SourceImage->GetWidth();
  const int32_t sh = SourceImage->GetHeight();
  const bool tiled = (PainterFlags & DrawTiled) != 0;
  platform::TCanvas& compose = ComposeBuffer->Canvas();
  if ((PainterFlags & DrawTransparent) && BackgroundBuffer) {
    platform::TCanvas& background = BackgroundBuffer->Canvas();
    if (tiled) {
      for (const platform::TPoint& p : TilePositions(bounds, d.ImageLeftPosition, d.ImageTopPosition, sw, sh)) {
        const TRect tile = platform::Bounds(p.X, p.Y, d.ImageWidth, d.ImageHeight);
        compose.CopyRect(tile, background, tile);
      }
    } else {
      const TRect area = frame->ScaleFrameRect(bounds);
      compose.CopyRect(area, background, area);
    }
    return;
  }
  compose.Brush().SetColor(BackgroundColor);
  compose.Brush().SetStyle(platform::TBrushStyle::bsSolid);
  if (tiled && d.ImageWidth != sw && d.ImageHeight != sh) {
    for (const platform::TPoint& p : TilePositions(bounds, d.ImageLeftPosition, d.ImageTopPosition, sw, sh))
      compose.FillRect(platform::Bounds(p.X, p.Y, d.ImageWidth, d.ImageHeight));
  } else {
    compose.FillRect(frame->ScaleFrameRect(bounds));
  }
}

void TGIFPainter::ReportKeptException() {
  if (!KeptException) return;
  std::string message;
  try {
    std::rethrow_exception(KeptException);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "Unknown error in the animation painter";
  }
  KeptException = nullptr;
  if (SourceImage != nullptr && SourceImage->WarningHandler)
    SourceImage->WarningHandler(SourceImage, 1, message);
  else
    std::fprintf(stderr, "pellisto: animation stopped: %s\n", message.c_str());
}

void TGIFPainter::DetachFromImage() {
  // A threaded run's error is told here, in the main thread, while the
  // picture's warning handler can still be reached.
  ReportKeptException();
  if (SourceImage != nullptr) {
    {
      auto lock = SourceImage->Painters.Lock();
      if (PainterRef != nullptr && *PainterRef == this) *PainterRef = nullptr;
    }
    SourceImage->Painters.Remove(this);
    SourceImage = nullptr;
  }
  ComposeBuffer.reset();
  ScratchBuffer.reset();
  BackgroundBuffer.reset();
  if (WakeEvent) WakeEvent->Close();
}

}  // namespace gif
