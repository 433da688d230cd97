// The window platform on a real X server with a real window manager.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/ui/headless/HeadlessBackend.h"
#include "tests/e2e/ProbeForm.h"
#include "tests/e2e/XSession.h"

// Last: Xlib's macros (None, Status) would clash with our names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace platform;

namespace {

const std::string kProbe = PELLISTO_UI_PROBE;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class UiE2ETest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!x_.Ok()) GTEST_SKIP() << x_.Error();
    out_ = testing::TempDir() + "/probe-" + std::to_string(getpid()) + ".out";
  }
  void TearDown() override {
    for (pid_t pid : started_) e2e::Stop(pid);
    for (const auto& file : outputs_) std::remove(file.c_str());
  }

  // Starts the probe form; returns its X window id.
  unsigned long ShowProbe(const std::string& title) {
    std::string out = out_ + "." + std::to_string(started_.size());
    outputs_.push_back(out);
    started_.push_back(x_.Spawn({kProbe, "show", title}, out));
    if (!e2e::WaitForText(out, "window ")) return 0;
    std::smatch m;
    std::string text = e2e::ReadFile(out);
    if (!std::regex_search(text, m, std::regex("window (\\d+)"))) return 0;
    unsigned long id = std::stoul(m[1]);
    // Mapped and placed by the window manager.
    for (int i = 0; i < 200; ++i) {
      if (Prop(id, "WM_STATE").find("Normal") != std::string::npos) break;
      SleepMs(25);
    }
    return id;
  }

  std::string Prop(unsigned long id, const std::string& name) {
    return x_.Run("xprop -id " + std::to_string(id) + " " + name + " 2>/dev/null");
  }

  // Polls until Check holds (the window manager acts asynchronously).
  template <class F>
  bool Eventually(F check, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 25) {
      if (check()) return true;
      SleepMs(25);
    }
    return check();
  }

  std::string ActiveWindow() { return x_.Run("xprop -root _NET_ACTIVE_WINDOW 2>/dev/null"); }

  static std::string Hex(unsigned long id) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%lx", id);
    return buffer;
  }

  e2e::XSession x_;
  std::string out_;  // output files are named from it
  std::vector<std::string> outputs_;
  std::vector<pid_t> started_;
};

struct TGeometry {
  int X = -1, Y = -1, Width = -1, Height = -1;
};

TGeometry ParseXwininfo(const std::string& text) {
  TGeometry g;
  std::smatch m;
  if (std::regex_search(text, m, std::regex("Absolute upper-left X:\\s+(-?\\d+)"))) g.X = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Absolute upper-left Y:\\s+(-?\\d+)"))) g.Y = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Width:\\s+(\\d+)"))) g.Width = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Height:\\s+(\\d+)"))) g.Height = std::stoi(m[1]);
  return g;
}

TEST_F(UiE2ETest, ShowsABorderlessStayOnTopCentredForm) {
  unsigned long id = ShowProbe("PellistoProbe");
  ASSERT_NE(id, 0u);
  const std::string& out = outputs_[0];

  TGeometry g = ParseXwininfo(x_.Run("xwininfo -id " + std::to_string(id)));
  EXPECT_EQ(g.Width, kProbeWidth);
  EXPECT_EQ(g.Height, kProbeHeight);
  EXPECT_EQ(g.X, (1024 - kProbeWidth) / 2);
  EXPECT_EQ(g.Y, (768 - kProbeHeight) / 2);
  // No decorations: the window manager's frame adds nothing around it.
  EXPECT_TRUE(Eventually([&] { return Prop(id, "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0") != std::string::npos; }))
      << Prop(id, "_NET_FRAME_EXTENTS");
  EXPECT_NE(Prop(id, "_MOTIF_WM_HINTS").find("0x2, 0x0, 0x0"), std::string::npos) << Prop(id, "_MOTIF_WM_HINTS");
  EXPECT_TRUE(Eventually([&] { return Prop(id, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos; }))
      << Prop(id, "_NET_WM_STATE");
  EXPECT_NE(Prop(id, "WM_CLASS").find("\"TProbeForm\""), std::string::npos);

  // A click on "X" runs its handler; one on "N" leaves the stay-on-top style.
  x_.Run("xdotool mousemove --window " + std::to_string(id) + " 264 28 click 1");
  EXPECT_TRUE(e2e::WaitForText(out, "clicked")) << e2e::ReadFile(out);
  x_.Run("xdotool mousemove --window " + std::to_string(id) + " 208 28 click 1");
  EXPECT_TRUE(e2e::WaitForText(out, "normal"));
  EXPECT_TRUE(Eventually([&] { return Prop(id, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE") == std::string::npos; }))
      << Prop(id, "_NET_WM_STATE");

  // The window manager's close (its Alt+F4) closes the main form and ends the program.
  ASSERT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; })) << ActiveWindow();
  x_.Run("xdotool key alt+F4");
  EXPECT_EQ(e2e::WaitForExit(started_[0], 5000), 0);
  started_.clear();
}

TEST_F(UiE2ETest, TheScreenShowsTheHeadlessBackBuffer) {
  unsigned long id = ShowProbe("PellistoProbe");
  ASSERT_NE(id, 0u);
  // Move the pointer away so that no button shows its hover look.
  x_.Run("xdotool mousemove 0 0");

  // The same form painted without a display.
  UseHeadlessBackend();
  TBitmap expected;
  {
    TApplication application;
    TProbeForm form(nullptr);
    form.PaintAll();
    expected.Assign(&form.BackBuffer());
  }
  ResetBackend();

  Display* display = XOpenDisplay(x_.Display().c_str());
  ASSERT_NE(display, nullptr);
  int left = (1024 - kProbeWidth) / 2, top = (768 - kProbeHeight) / 2;
  int differing = -1;
  TRect box{};  // where they differ
  bool same = Eventually([&] {
    XImage* shot = XGetImage(display, DefaultRootWindow(display), left, top, kProbeWidth, kProbeHeight, AllPlanes,
                             ZPixmap);
    if (!shot) return false;
    differing = 0;
    box = {kProbeWidth, kProbeHeight, 0, 0};
    for (int y = 0; y < kProbeHeight; ++y)
      for (int x = 0; x < kProbeWidth; ++x) {
        unsigned long p = XGetPixel(shot, x, y);
        TColor c = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        if (c == expected.Canvas().Pixel(x, y)) continue;
        ++differing;
        box = {std::min(box.Left, x), std::min(box.Top, y), std::max(box.Right, x + 1), std::max(box.Bottom, y + 1)};
      }
    XDestroyImage(shot);
    return differing == 0;
  });
  XCloseDisplay(display);
  EXPECT_TRUE(same) << differing << " pixels differ within (" << box.Left << ", " << box.Top << ", " << box.Right
                    << ", " << box.Bottom << ")\n"
                    << x_.Run("xwininfo -id " + std::to_string(id)) << x_.Run("xwininfo -root -tree");
}

TEST_F(UiE2ETest, ASecondProcessFindsTheFirstAndBringsItToTheFront) {
  unsigned long id = ShowProbe("PellistoProbe");
  ASSERT_NE(id, 0u);

  // Minimised: the second start restores it.
  x_.Run("xdotool windowminimize " + std::to_string(id));
  ASSERT_TRUE(Eventually([&] { return Prop(id, "WM_STATE").find("Iconic") != std::string::npos; }));
  int status = -1;
  std::string said = x_.Run(kProbe + " activate PellistoProbe", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(said, "iconic\n");
  EXPECT_TRUE(Eventually([&] { return Prop(id, "WM_STATE").find("Normal") != std::string::npos; }))
      << Prop(id, "WM_STATE");
  EXPECT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; })) << ActiveWindow();

  // Open but not active: raised and activated.
  unsigned long other = ShowProbe("Other");
  ASSERT_NE(other, 0u);
  ASSERT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(other)) != std::string::npos; })) << ActiveWindow();
  said = x_.Run(kProbe + " activate PellistoProbe", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(said, "normal\n");
  EXPECT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; })) << ActiveWindow();

  said = x_.Run(kProbe + " activate NoSuchTitle", &status);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(said, "none\n");
}

// An independent X client's view of the CLIPBOARD: the targets offered.
std::vector<std::string> ClipboardTargets(const std::string& displayName) {
  std::vector<std::string> names;
  Display* dpy = XOpenDisplay(displayName.c_str());
  if (!dpy) return names;
  Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
  Atom property = XInternAtom(dpy, "E2E_TARGETS", False);
  XConvertSelection(dpy, XInternAtom(dpy, "CLIPBOARD", False), XInternAtom(dpy, "TARGETS", False), property, w,
                    CurrentTime);
  XFlush(dpy);
  XEvent ev;
  for (int i = 0; i < 200; ++i) {
    if (XCheckTypedWindowEvent(dpy, w, SelectionNotify, &ev)) {
      Atom type;
      int format;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (ev.xselection.property != None &&
          XGetWindowProperty(dpy, w, property, 0, 1024, False, AnyPropertyType, &type, &format, &count, &after,
                             &data) == Success &&
          format == 32) {
        auto* atoms = reinterpret_cast<Atom*>(data);
        for (unsigned long k = 0; k < count; ++k) {
          char* name = XGetAtomName(dpy, atoms[k]);
          if (name) names.push_back(name);
          if (name) XFree(name);
        }
      }
      if (data) XFree(data);
      break;
    }
    SleepMs(10);
  }
  XDestroyWindow(dpy, w);
  XCloseDisplay(dpy);
  return names;
}

TEST_F(UiE2ETest, GifClipboardRoundTripBetweenProcesses) {
  // A small file in one piece, a large one in increments.
  for (const char* name : {"hippopotamus.regular.gif", "harvesters.gif"}) {
    std::string source = std::string(PELLISTO_SHARED_DIR) + "/corpus/" + name;
    std::string ready = out_ + ".copy";
    outputs_.push_back(ready);
    pid_t owner = x_.Spawn({kProbe, "copy", source}, ready);
    started_.push_back(owner);
    ASSERT_TRUE(e2e::WaitForText(ready, "ready"));
    std::vector<std::string> targets = ClipboardTargets(x_.Display());
    EXPECT_NE(std::find(targets.begin(), targets.end(), "image/gif"), targets.end());
    std::string pasted = out_ + ".gif";
    outputs_.push_back(pasted);
    int status = -1;
    x_.Run(kProbe + " paste " + pasted, &status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(e2e::ReadFile(pasted), e2e::ReadFile(source)) << name;
    e2e::Stop(owner);
    std::remove(pasted.c_str());
    std::remove(ready.c_str());
  }
}

TEST_F(UiE2ETest, MessageDialogIsModalUntilAnswered) {
  for (bool byKey : {false, true}) {
    std::string out = out_ + ".message" + std::to_string(byKey);
    outputs_.push_back(out);
    pid_t pid = x_.Spawn({kProbe, "message", "Max is 9 buttons.\rsecond line\rexample.org"}, out);
    started_.push_back(pid);
    std::string found;
    ASSERT_TRUE(Eventually([&] {
      found = x_.Run("xdotool search --onlyvisible --name '^Pellisto$' 2>/dev/null");
      return !found.empty();
    })) << "no dialog captioned with the title";
    unsigned long id = std::stoul(found);
    EXPECT_EQ(e2e::ReadFile(out), "");  // still waiting for the answer
    EXPECT_NE(Prop(id, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE"), std::string::npos);
    TGeometry g = ParseXwininfo(x_.Run("xwininfo -id " + std::to_string(id)));
    ASSERT_GT(g.Width, 75);
    if (byKey) {
      x_.Run("xdotool key --window " + std::to_string(id) + " Return");
    } else {
      // The one button sits in the middle of the bottom row.
      x_.Run("xdotool mousemove --window " + std::to_string(id) + " " + std::to_string(g.Width / 2) + " " +
             std::to_string(g.Height - 24) + " click 1");
    }
    EXPECT_TRUE(e2e::WaitForText(out, "closed")) << (byKey ? "Return" : "click");
    EXPECT_EQ(e2e::WaitForExit(pid, 5000), 0);
    started_.pop_back();
  }
}

TEST(UiNoDisplayTest, CannotOpenDisplayExitsWithOne) {
  std::string command = "DISPLAY=:199 " + kProbe + " show X 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[512] = {};
  size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
  int rc = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_NE(std::string(buffer, n).find("cannot open display \":199\""), std::string::npos) << buffer;
}

}  // namespace
