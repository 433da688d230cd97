#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gif/decode/Frame.h"
#include "gif/render/Painter.h"
#include "gif/render/RenderPool.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"
#include "platform/threads/Messages.h"
#include "tests/gif/render/RenderTestUtil.h"

namespace gif {
namespace {

using platform::TBitmap;
using platform::TRect;
using rendertest::BuildGif;
using rendertest::Bytes;
using rendertest::Filled;
using rendertest::LoadGif;
using rendertest::Pixels32;
using rendertest::Repeat;
using rendertest::TFrameDef;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kKey = 0xFF00FF;
constexpr TGIFDrawFlags kThreaded = DrawInThread | DrawTransparent | DrawAnimated | DrawRepeat;
constexpr TGIFDrawFlags kUnthreaded = DrawTransparent | DrawAnimated | DrawRepeat;

// Serves the painters' synchronised calls until Done holds (bounded).
void PumpUntil(const std::function<bool()>& Done) {
  for (long i = 0; i < 400000 && !Done(); ++i) {
    platform::MSG msg;
    while (platform::PeekMessage(msg, nullptr, platform::WM_DESTROYTHREADWINDOW, platform::WM_SYNCHRONIZE,
                                 platform::PM_REMOVE))
      platform::DispatchMessage(msg);
    if (!Done()) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  ASSERT_TRUE(Done());
}

size_t ThreadCount() {
  size_t n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') ++n;
    closedir(dir);
  }
  return n;
}

// One picture played onto a screen bitmap, with every handler call recorded.
struct TPlay {
  std::unique_ptr<TGIFImage> image;
  std::unique_ptr<TBitmap> screen;
  std::vector<std::string> events;
  std::vector<uint32_t> frameTimes;               // clock at each frame handler call
  std::vector<std::vector<uint32_t>> compositions;  // what the target showed before each frame, and at the end
  std::function<void(TGIFPainter&)> onFrame;
  bool ended = false;

  TPlay(const Bytes& Gif, TGIFDrawFlags Flags, int32_t Speed = 100, bool PreRender = true) {
    image = LoadGif(Gif);
    image->DrawFlags = Flags;
    image->SpeedPercent = Speed;
    screen = Filled(image->GetWidth(), image->GetHeight(), kKey);
    if (PreRender)
      for (int i = 0; i < image->Frames->ItemCount(); ++i) image->Frames->FrameAt(i)->RenderFrame();
    image->StartHandler = [this](platform::TObject*) { events.push_back("start"); };
    image->LoopHandler = [this](platform::TObject*) { events.push_back("loop"); };
    image->EndHandler = [this](platform::TObject*) {
      events.push_back("end");
      Snapshot();
      ended = true;
    };
    image->FrameHandler = [this](platform::TObject* sender) {
      auto& painter = dynamic_cast<TGIFPainter&>(*sender);
      events.push_back("frame " + std::to_string(painter.ActiveFrame.load()));
      frameTimes.push_back(platform::timeGetTime());
      if (painter.FramePainted) Snapshot();
      if (onFrame) onFrame(painter);
    };
  }
  ~TPlay() { image.reset(); }

  void Snapshot() {
    TBitmap* shown = (image->DrawFlags & DrawUnbuffered) ? screen.get() : image->CachedBitmap.get();
    compositions.push_back(shown != nullptr ? Pixels32(*shown) : std::vector<uint32_t>{});
  }
  void Draw() { image->Draw(screen->Canvas(), TRect{0, 0, image->GetWidth(), image->GetHeight()}); }
  // Draws and serves the painter until its run is over.
  void PlayToEnd() {
    Draw();
    PumpUntil([this] { return image->Painters.Lock()->empty(); });
  }
  std::vector<uint32_t> Gaps() const {
    std::vector<uint32_t> gaps;
    for (size_t i = 1; i < frameTimes.size(); ++i) gaps.push_back(frameTimes[i] - frameTimes[i - 1]);
    return gaps;
  }
};

// Frames of one colour each on a 2 x 2 screen.
Bytes Frames(const std::vector<int>& Delays, int LoopAt = -1, int LoopCount = 0) {
  std::vector<TFrameDef> frames;
  for (size_t i = 0; i < Delays.size(); ++i) {
    TFrameDef f{0, 0, 2, 2, Repeat(static_cast<uint8_t>(i % 3), 4), Delays[i]};
    if (static_cast<int>(i) == LoopAt) f.loop = LoopCount;
    frames.push_back(f);
  }
  return BuildGif(2, 2, {kRed, kGreen, kBlue, 0}, frames);
}

class Painter : public rendertest::GdiLeakCheck {
protected:
  void SetUp() override {
    GdiLeakCheck::SetUp();
    platform::SetClock(&clock);
  }
  void TearDown() override {
    platform::SetClock(nullptr);
    FreeRenderPool();
    GdiLeakCheck::TearDown();
  }
  platform::TTestClock clock{1000};
};

// Delays in GIF units become waits of 12 ms per unit, scaled by the speed;
// -1 is a frame without a graphic control extension.
TEST_F(Painter, DelaysBecomeWaitsOf12MsPerUnitScaledByTheSpeed) {
  struct Case {
    TGIFDrawFlags flags;
    int32_t speed;
    std::vector<int> delays;
    std::vector<uint32_t> gaps;
  } cases[] = {
      {kThreaded, 100, {10, 10, 10}, {120, 120}},
      {kThreaded, 200, {10, 10, 10}, {60, 60}},
      {kThreaded, 50, {10, 2, 1}, {240, 72}},
      {kThreaded, 100, {-1, 0, 1, 5000, 7}, {120, 120, 36, 60000}},
      {kUnthreaded, 100, {10, 10, 10}, {120, 120}},
      {kUnthreaded, 100, {-1, 1, 5000, 7}, {120, 36, 12000}},
      {kUnthreaded, 0, {10, 10}, {12000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags << " speed " << c.speed);
    TPlay play(Frames(c.delays), c.flags & ~DrawRepeat, c.speed);
    play.PlayToEnd();
    EXPECT_EQ(play.Gaps(), c.gaps);
    EXPECT_EQ(play.events.back(), "end");
  }
}

TEST_F(Painter, HalfOfAnOverrunComesOffTheNextWait) {
  TPlay play(Frames({10, 10, 10}), kUnthreaded & ~DrawRepeat);
  // Frame 1 takes 40 ms: the wait before frame 2 is 120 - 40 / 2, so its
  // handler comes 40 + 100 ms after frame 1's.
  play.onFrame = [this](TGIFPainter& p) {
    if (p.ActiveFrame == 1) clock.Advance(40);
  };
  play.PlayToEnd();
  EXPECT_EQ(play.Gaps(), (std::vector<uint32_t>{120, 140}));
}

TEST_F(Painter, LoopCountsDecideThePasses) {
  struct Case {
    TGIFDrawFlags flags;
    int frames, loopAt, loopCount;
    std::string sequence;
    int loops;  // loop handler calls: every pass but the first
  } cases[] = {
      {kThreaded, 3, -1, 0, "012", 0},
      {kThreaded, 3, 0, 1, "012", 0},
      {kThreaded, 3, 0, 3, "012012012", 2},
      {kThreaded, 4, 2, 3, "01232323", 2},
      {kUnthreaded, 3, 0, 0, "012", 0},  // no endless run inside a Draw call
      {kThreaded & ~DrawRepeat, 3, 0, 3, "012", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    TPlay play(Frames(std::vector<int>(static_cast<size_t>(c.frames), 1), c.loopAt, c.loopCount), c.flags);
    play.PlayToEnd();
    std::string sequence;
    int loops = 0;
    for (const std::string& e : play.events) {
      if (e.rfind("frame ", 0) == 0) sequence += e.substr(6);
      loops += e == "loop";
    }
    EXPECT_EQ(sequence, c.sequence);
    EXPECT_EQ(play.events.front(), "start");
    EXPECT_EQ(play.events.back(), "end");
    EXPECT_EQ(loops, c.loops);
  }
}

TEST_F(Painter, EndlessPassesRunUntilStoppedAndThenNoHandlerRuns) {
  for (TGIFDrawFlags flags : {static_cast<TGIFDrawFlags>(kThreaded | DrawRepeatForever), kThreaded}) {
    const bool forever = (flags & DrawRepeatForever) != 0;
    TPlay play(Frames({1, 1}, 0, forever ? 2 : 0), flags);
    int frames = 0;
    play.onFrame = [&](TGIFPainter& p) {
      if (++frames == 7) p.RequestStop();
    };
    play.PlayToEnd();
    EXPECT_EQ(frames, 7);
    EXPECT_EQ(play.events.back(), "frame 0");  // stopped: no end handler
  }
}

TEST_F(Painter, SpeedZeroShowsTheFirstFrameAndWaitsUntilStopped) {
  TPlay play(Frames({10, 10, 10}), kThreaded, 0);
  play.Draw();
  ASSERT_NE(play.image->DrawPainter, nullptr);
  EXPECT_TRUE(play.image->DrawPainter->FramePainted);
  for (int i = 0; i < 50; ++i) PumpUntil([] { return true; });
  EXPECT_EQ(play.events, (std::vector<std::string>{"start", "frame 0"}));
  play.image->StopDrawPainter();  // wakes the endless wait at once
  EXPECT_EQ(play.image->DrawPainter, nullptr);
  EXPECT_TRUE(play.image->Painters.Lock()->empty());
}

TEST_F(Painter, StoppingWhileThePoolRendersEndsTheRun) {
  platform::SetClock(nullptr);  // real waits: the painter sits in the pool's wait
  TPlay play(Frames({10, 10, 10}), kThreaded, 0, false);
  play.Draw();
  // The painter asks the pool for frame 1; nobody serves the worker yet.
  for (int i = 0; i < 100000; ++i) {
    TRenderer* pool = RenderPoolIfCreated();
    if (pool != nullptr && pool->BusyWorkers() == 1) break;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  play.image->StopDrawPainter();  // must not hang in the endless wait that follows
  EXPECT_TRUE(play.image->Painters.Lock()->empty());
  EXPECT_EQ(play.events, (std::vector<std::string>{"start", "frame 0"}));
}

TEST_F(Painter, AnEmptyFrameEndsThePass) {
  TPlay play(Frames({1, 1, 1, 1}, 0, 2), kThreaded);
  play.image->Frames->FrameAt(2)->ResetFrame();
  play.PlayToEnd();
  EXPECT_EQ(play.events, (std::vector<std::string>{"start", "frame 0", "frame 1", "loop", "frame 0", "frame 1",
                                                    "end"}));
}

// Disposal 2 restores what lay under a transparent picture; disposal 3
// shows the frame once and restores the composition before it.
TEST_F(Painter, DisposalMethodsComposeAsTheStandardSays) {
  const std::vector<uint32_t> colours = {kRed, kGreen, kBlue, 0};
  const uint32_t K = kKey, R = kRed, G = kGreen, B = kBlue;
  struct Case {
    std::string name;
    int disposal1;
    std::vector<std::vector<uint32_t>> shown;  // 4 x 1 screen after frames 0, 1, 2
  } cases[] = {
      {"none", 1, {{R, R, K, K}, {G, R, K, K}, {G, R, K, B}}},
      {"background", 2, {{R, R, K, K}, {G, R, K, K}, {K, R, K, B}}},
      {"previous", 3, {{R, R, K, K}, {G, R, K, K}, {R, R, K, B}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (TGIFDrawFlags flags : {kThreaded, kUnthreaded}) {
      const Bytes gif = BuildGif(4, 1, colours,
                                 {{0, 0, 2, 1, Repeat(0, 2), 1, 1},
                                  {0, 0, 1, 1, Repeat(1, 1), 1, c.disposal1},
                                  {3, 0, 1, 1, Repeat(2, 1), 1, 1}});
      TPlay play(gif, flags & ~DrawRepeat);
      play.PlayToEnd();
      EXPECT_EQ(play.compositions, c.shown) << flags;
    }
  }
}

TEST_F(Painter, ClearEachLoopRestoresTheBackgroundBeforeFrame0) {
  const Bytes gif = BuildGif(2, 1, {kRed, kGreen},
                             {{0, 0, 2, 1, Repeat(0, 2), 1, 1, -1, 2}, {1, 0, 1, 1, Repeat(1, 1), 1, 1},
                              {0, 0, 1, 1, Repeat(1, 1), 1, 1}});
  // Frame 0 leaves no trace in its own area when passes start again.
  TPlay play(gif, kThreaded | DrawClearEachLoop);
  play.PlayToEnd();
  ASSERT_EQ(play.compositions.size(), 6u);
  EXPECT_EQ(play.compositions[2], (std::vector<uint32_t>{kGreen, kGreen}));
  EXPECT_EQ(play.compositions[3], (std::vector<uint32_t>{kRed, kRed}));
}

TEST_F(Painter, AHandlerErrorEndsTheRunAndIsReported) {
  for (TGIFDrawFlags flags : {kThreaded, kUnthreaded}) {
    TPlay play(Frames({1, 1, 1}), flags);
    std::vector<std::string> warnings;
    play.image->WarningHandler = [&](platform::TObject*, uint8_t, const std::string& m) { warnings.push_back(m); };
    play.onFrame = [](TGIFPainter& p) {
      if (p.ActiveFrame == 1) throw platform::EInvalidGraphicOperation("broken frame");
    };
    play.PlayToEnd();
    EXPECT_EQ(warnings, (std::vector<std::string>{"broken frame"})) << flags;
    EXPECT_EQ(play.events.back(), "frame 1");
  }
}

TEST_F(Painter, ThreadedPaintersHaveComingFramesRenderedByThePool) {
  platform::SetClock(nullptr);  // the pool's waits must be real here
  TPlay play(Frames({1, 1, 1, 1}), kThreaded & ~DrawRepeat, 1000, false);
  play.PlayToEnd();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(play.image->Frames->FrameAt(i)->HasBitmap()) << i;
  ASSERT_NE(RenderPoolIfCreated(), nullptr);
  EXPECT_GE(RenderPoolIfCreated()->WorkerCount(), 1u);
}

class Drawing : public Painter {};

TEST_F(Drawing, AOneFramePictureIsDrawnAtOnce) {
  TPlay play(BuildGif(2, 1, {kRed, kGreen}, {{0, 0, 2, 1, Bytes{0, 1}}}), kThreaded);
  play.Draw();
  play.Draw();
  EXPECT_TRUE(play.image->Painters.Lock()->empty());
  EXPECT_EQ(play.image->CachedBitmap, nullptr);
  EXPECT_EQ(Pixels32(*play.screen), (std::vector<uint32_t>{kRed, kGreen}));
}

TEST_F(Drawing, OnePainterPerCanvasAndRectangle) {
  auto starts = [](const TPlay& p) { return std::count(p.events.begin(), p.events.end(), "start"); };
  {
    TPlay buffered(Frames({10, 10}), kThreaded, 0);
    buffered.Draw();
    buffered.Draw();  // copies the cached bitmap
    EXPECT_EQ(starts(buffered), 1);
    EXPECT_EQ(buffered.image->Painters.Lock()->size(), 1u);
  }
  TPlay play(Frames({10, 10}), kThreaded | DrawUnbuffered, 0);
  play.Draw();
  PumpUntil([&] { return play.events.size() == 2; });
  play.Draw();
  PumpUntil([] { return true; });
  EXPECT_EQ(starts(play), 1);
  EXPECT_EQ(play.image->Painters.Lock()->size(), 1u);
  // Another rectangle stops the painter and starts a second one.
  play.image->Draw(play.screen->Canvas(), TRect{0, 0, 1, 1});
  PumpUntil([&] { return starts(play) == 2; });
  EXPECT_EQ(play.image->Painters.Lock()->size(), 1u);
  ASSERT_NE(play.image->DrawPainter, nullptr);
  EXPECT_EQ(play.image->DrawPainter->TargetRect, (TRect{0, 0, 1, 1}));
  // A rectangle without area stops it and starts none.
  play.image->Draw(play.screen->Canvas(), TRect{0, 0, 0, 1});
  EXPECT_EQ(play.image->DrawPainter, nullptr);
  EXPECT_TRUE(play.image->Painters.Lock()->empty());
  EXPECT_EQ(starts(play), 2);
}

TEST_F(Drawing, UnbufferedDrawingReturnsAtOnceAndPaintsTheCanvas) {
  TPlay play(Frames({1, 1}), (kThreaded | DrawUnbuffered) & ~DrawRepeat);
  play.Draw();
  EXPECT_EQ(play.image->CachedBitmap, nullptr);
  PumpUntil([&] { return play.ended; });
  EXPECT_EQ(Pixels32(*play.screen), std::vector<uint32_t>(4, kGreen));
}

TEST_F(Drawing, WithoutAThreadTheWholeRunIsInsideTheFirstDraw) {
  TPlay play(Frames({1, 1, 1}), kUnthreaded & ~DrawRepeat);
  int nested = 0;
  play.onFrame = [&](TGIFPainter&) {
    play.Draw();  // a nested Draw returns at once
    ++nested;
  };
  play.Draw();
  EXPECT_EQ(nested, 3);
  EXPECT_TRUE(play.ended);
  EXPECT_EQ(play.image->DrawPainter, nullptr);
  ASSERT_NE(play.image->CachedBitmap, nullptr);
  play.Draw();  // the repaint copies the cached bitmap
  EXPECT_EQ(Pixels32(*play.screen), std::vector<uint32_t>(4, kBlue));
}

// An unthreaded run hands the quit back to the caller's loop and stops.
TEST_F(Drawing, AQuitMessageEndsAnUnthreadedRun) {
  TPlay play(Frames({10, 10, 10}), kUnthreaded);
  play.onFrame = [](TGIFPainter& p) {
    if (p.ActiveFrame == 0) platform::PostQuitMessage(7);
  };
  play.Draw();
  EXPECT_EQ(play.events, (std::vector<std::string>{"start", "frame 0"}));
  platform::MSG msg;
  ASSERT_TRUE(platform::PeekMessage(msg, nullptr, 0, 0, platform::PM_REMOVE));
  EXPECT_EQ(msg.message, platform::WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
}

// Closing a program posts a quit and then destroys its pictures: their
// painters are still waited for, and the quit stays for the program's loop.
TEST_F(Drawing, APendingQuitNeitherAbandonsPaintersNorGetsLost) {
  platform::SetClock(nullptr);
  for (int round = 0; round < 20; ++round) {
    TPlay play(Frames({1, 1, 1}), kThreaded | DrawRepeatForever, 100, false);
    play.Draw();
    platform::PostQuitMessage(3);
    play.image.reset();
    EXPECT_TRUE(play.events.empty() || play.events.back() != "end");
    // The program's loop: what is left, then the quit.
    platform::MSG msg{};
    for (int i = 0; i < 1000 && platform::PeekMessage(msg, nullptr, 0, 0, platform::PM_REMOVE); ++i) {
      if (msg.message == platform::WM_QUIT) break;
      platform::DispatchMessage(msg);
    }
    EXPECT_EQ(msg.message, platform::WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
  }
}

TEST_F(Drawing, TiledCopiesOfTheCachedBitmap) {
  TPlay play(Frames({1, 1}), kUnthreaded & ~DrawRepeat);
  play.PlayToEnd();
  ASSERT_NE(play.image->CachedBitmap, nullptr);
  play.image->CachedBitmap->Canvas().SetPixel(0, 0, rendertest::AsColor(kBlue));
  play.image->DrawFlags |= DrawTiled;
  auto wide = Filled(5, 3, kKey);
  play.image->Draw(wide->Canvas(), TRect{0, 0, 5, 3});
  const auto px = Pixels32(*wide);
  // The 2 x 2 picture at its own size from every tile corner: x 0, 2, 4 and y 0, 2.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(px[static_cast<size_t>(y * 5 + x)], (x % 2 == 0 && y % 2 == 0) ? kBlue : kGreen) << x << "," << y;
}

TEST_F(Drawing, LoadAnimateDestroy200TimesLeavesNothingBehind) {
  platform::SetClock(nullptr);
  const Bytes gif = Frames({1, 1, 1});
  auto cycle = [&] {
    auto image = LoadGif(gif);
    image->DrawFlags = kThreaded | DrawRepeatForever;
    auto screen = Filled(2, 2, kKey);
    image->Draw(screen->Canvas(), TRect{0, 0, 2, 2});
    PumpUntil([] { return true; });
    image.reset();  // stops and waits for the painter
  };
  auto settled = [](size_t limit) {
    for (int i = 0; i < 1000 && ThreadCount() > limit; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return ThreadCount();
  };
  // One warm-up cycle first: a sanitizer's runtime starts a helper thread
  // of its own with the first thread the test creates.
  cycle();
  FreeRenderPool();
  const size_t threads = settled(1);
  for (int i = 0; i < 200; ++i) cycle();
  FreeRenderPool();
  EXPECT_LE(settled(threads), threads);
}

}  // namespace
}  // namespace gif
