#pragma once
// TGIFPainter plays one picture on one canvas rectangle: frames with their
// delays and disposal methods, passes as the loop count says, and the
// picture's handlers. A threaded painter only times the animation; every
// drawing step and handler call runs in the main thread through
// Synchronize. An unthreaded one runs the whole animation inside the call
// that starts it, pumping that thread's messages while it waits.

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

#include "gif/picture/GIFImage.h"
#include "gif/picture/Settings.h"
#include "gif/render/RenderPool.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/rtl/Object.h"
#include "platform/threads/Thread.h"

namespace gif {

class TGIFPainter : public platform::TThread, public platform::TObject {
public:
  // Sets *Ref (when given) to the new painter. The thread starts suspended.
  TGIFPainter(TGIFPainter** Ref, TGIFDrawFlags Flags, const platform::TRect& Rect, platform::TCanvas* Canvas,
              TGIFImage* Picture);
  ~TGIFPainter() override;
  const char* ClassName() const noexcept override { return "TGIFPainter"; }

  // Starts the thread of a threaded painter.
  void Launch();
  // Marks the painter terminated and, when threaded, ends its wait at once.
  void RequestStop();
  // One run. StartPainter calls it directly for an unthreaded painter.
  void Execute() override;
  // In the main thread: leaves the picture (clears the reference to this
  // painter, the picture's list entry and the buffers). The thread's end
  // runs it for a threaded painter, the destructor for an unthreaded one.
  void DetachFromImage();

  bool RunsInThread() const { return (PainterFlags & DrawInThread) != 0; }

  TGIFImage* SourceImage;  // not owned; cleared when the picture goes
  platform::TCanvas* TargetCanvas;
  platform::TRect TargetRect;
  TGIFDrawFlags PainterFlags;
  int32_t PainterSpeed;
  std::atomic<int32_t> ActiveFrame{-1};
  uint8_t CurrentDisposal = 0;
  uint8_t PreviousDisposal = 0;
  std::unique_ptr<platform::TBitmap> ComposeBuffer;
  std::unique_ptr<platform::TBitmap> ScratchBuffer;
  std::unique_ptr<platform::TBitmap> BackgroundBuffer;
  platform::HDC TargetDC{};
  std::atomic<bool> FramePainted{false};
  TGIFPainter** PainterRef;
  // The wake event, shared with the render pool so that a worker can still
  // signal it after this painter has given up waiting and ended.
  std::shared_ptr<TRenderTicket> WakeEvent;
  std::exception_ptr KeptException;
  TGIFPainterEvent StartHandler, FrameHandler, LoopHandler, EndHandler;

private:
  void Run();
  void Wait(int32_t& Delay, uint32_t& LastTick, int32_t& PlannedWait);
  void RunSynchronized(const std::function<void()>& Method);
  void FireHandler(const TGIFPainterEvent& Handler);
  void PrepareNextFrame();
  void RenderAhead();  // main thread, for the render pool
  void PaintFrameDirect();
  void PaintFrameBuffered();
  void RestoreBackground();
  void ReportKeptException();

  platform::TColor BackgroundColor = 0;
  // The render pool found nothing left to render: no more requests.
  std::atomic<bool> AllRendered{false};
};

}  // namespace gif
