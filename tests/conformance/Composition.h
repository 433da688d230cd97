#pragma once
// Plays a picture once with its painter, as the launcher shows it, and
// keeps what the target shows after every painted frame.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"
#include "gif/render/Painter.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Clock.h"
#include "platform/threads/Messages.h"
#include "tests/gif/render/RenderTestUtil.h"

namespace composition {

using rendertest::Pixels32;

struct TComposed {
  std::vector<std::vector<uint32_t>> Frames;  // one per painted frame
  std::vector<int> FrameIndex;                 // the picture's frame each was
};

// Called with each painted frame's index and what the target shows then.
using TFrameSink = std::function<void(int Frame, const std::vector<uint32_t>& Shown)>;

// One pass of the animation onto a canvas of KeyRgb (0x00RRGGBB), with the
// delays passing at once on a test clock. With a sink the frames go there
// instead of into the result.
inline TComposed Compose(gif::TGIFImage& Image, uint32_t KeyRgb, const TFrameSink& Sink = nullptr) {
  platform::TTestClock clock;
  platform::SetClock(&clock);
  TComposed result;
  Image.DrawFlags = gif::DrawInThread | gif::DrawTransparent | gif::DrawAnimated;  // one pass
  for (int i = 0; i < Image.Frames->ItemCount(); ++i) Image.Frames->FrameAt(i)->RenderFrame();
  const int32_t w = Image.GetWidth(), h = Image.GetHeight();
  platform::TBitmap screen;
  screen.SetPixelFormat(platform::TPixelFormat::pf32bit);
  screen.SetSize(w, h);
  screen.Canvas().Brush().SetColor(((KeyRgb & 0xFF) << 16) | (KeyRgb & 0xFF00) | ((KeyRgb >> 16) & 0xFF));
  screen.Canvas().FillRect(platform::TRect{0, 0, w, h});
  int painted = -1;
  auto keep = [&](int frame, std::vector<uint32_t> shown) {
    if (Sink) {
      Sink(frame, shown);
      return;
    }
    result.Frames.push_back(std::move(shown));
    result.FrameIndex.push_back(frame);
  };
  auto snapshot = [&] {
    if (painted >= 0 && Image.CachedBitmap) keep(painted, Pixels32(*Image.CachedBitmap));
  };
  Image.FrameHandler = [&](platform::TObject* Sender) {
    snapshot();
    painted = dynamic_cast<gif::TGIFPainter&>(*Sender).ActiveFrame;
  };
  Image.EndHandler = [&](platform::TObject*) { snapshot(); };
  Image.Draw(screen.Canvas(), platform::TRect{0, 0, w, h});
  if (Image.Frames->ItemCount() == 1) keep(0, Pixels32(screen));
  for (long i = 0; i < 2000000 && !Image.Painters.Lock()->empty(); ++i) {
    platform::MSG msg;
    while (platform::PeekMessage(msg, nullptr, platform::WM_DESTROYTHREADWINDOW, platform::WM_SYNCHRONIZE,
                                 platform::PM_REMOVE))
      platform::DispatchMessage(msg);
    std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  EXPECT_TRUE(Image.Painters.Lock()->empty());
  Image.FrameHandler = nullptr;
  Image.EndHandler = nullptr;
  platform::SetClock(nullptr);
  return result;
}

// Where two frames differ: a count and the first pixel, for messages.
inline std::string Differences(const std::vector<uint32_t>& Expected, const std::vector<uint32_t>& Actual, int32_t W) {
  if (Expected.size() != Actual.size()) return "size " + std::to_string(Actual.size()) + " instead of " + std::to_string(Expected.size());
  size_t count = 0, first = 0;
  for (size_t i = 0; i < Expected.size(); ++i)
    if (Expected[i] != Actual[i] && count++ == 0) first = i;
  if (count == 0) return "";
  char text[160];
  std::snprintf(text, sizeof text, "%zu pixels differ, first at (%d, %d): %06X instead of %06X", count,
                static_cast<int>(first % static_cast<size_t>(W)), static_cast<int>(first / static_cast<size_t>(W)),
                Actual[first], Expected[first]);
  return text;
}

}  // namespace composition
