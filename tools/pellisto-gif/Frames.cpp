// pellisto-gif frames FILE OUTDIR [--background RRGGBB]: one pass of the
// animation as the painter draws it, each painted frame as a 24-bit BMP.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gif/decode/Frame.h"
#include "gif/picture/Settings.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

namespace {

// Time jumps over every delay, so the pass runs as fast as it paints.
class TInstantClock : public platform::TClock {
public:
  uint32_t Milliseconds() override { return now_; }
  void Sleep(uint32_t ms) override { now_ += ms; }
  bool ElapseWait(uint32_t ms) override {
    now_ += ms;
    return true;
  }

private:
  uint32_t now_ = 0;
};

platform::TColor ParseBackground(const std::string& text) {
  char* end = nullptr;
  const unsigned long rgb = std::strtoul(text.c_str(), &end, 16);
  if (text.size() != 6 || end == nullptr || *end != '\0')
    throw UsageError{"--background needs a colour as RRGGBB, not '" + text + "'"};
  return static_cast<platform::TColor>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

void SaveFrame(platform::TBitmap& shown, const std::string& path) {
  platform::TBitmap copy;
  copy.Assign(&shown);
  copy.SetPixelFormat(platform::TPixelFormat::pf24bit);
  copy.SaveToFile(path);
}

}  // namespace

int RunFrames(const Args& args) {
  Args positional;
  platform::TColor background = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--background") {
      if (i + 1 >= args.size()) throw UsageError{"--background needs a colour"};
      background = ParseBackground(args[++i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw UsageError{"frames needs FILE and OUTDIR"};
  LoadedGif loaded = LoadGif(positional[0]);
  gif::TGIFImage& image = *loaded.Image;
  const std::string dir = positional[1];
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
    throw platform::EFCreateError("Cannot create folder " + dir + ": " + std::strerror(errno));

  const int32_t w = image.GetWidth(), h = image.GetHeight();
  platform::TBitmap canvas;
  canvas.SetPixelFormat(platform::TPixelFormat::pf24bit);
  canvas.SetSize(w, h);
  canvas.Canvas().Brush().SetColor(background);
  canvas.Canvas().FillRect(platform::TRect{0, 0, w, h});

  // One pass, painted in this thread.
  image.DrawFlags = gif::DrawTransparent | gif::DrawAnimated;
  int written = 0;
  bool painted = false;
  auto save = [&] {
    if (!painted || !image.CachedBitmap) return;
    char name[16];
    std::snprintf(name, sizeof name, "/%03d.bmp", written++);
    SaveFrame(*image.CachedBitmap, dir + name);
  };
  image.FrameHandler = [&](platform::TObject*) {
    save();
    painted = true;
  };
  image.EndHandler = [&](platform::TObject*) { save(); };

  TInstantClock clock;
  platform::SetClock(&clock);
  try {
    image.Draw(canvas.Canvas(), platform::TRect{0, 0, w, h});
  } catch (...) {
    platform::SetClock(nullptr);
    throw;
  }
  platform::SetClock(nullptr);
  if (written == 0 && !image.GetEmpty()) {
    // A still picture is drawn at once, without a painter.
    SaveFrame(canvas, dir + "/000.bmp");
    written = 1;
  }
  image.FrameHandler = nullptr;
  image.EndHandler = nullptr;
  for (const std::string& warning : loaded.Warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  return 0;
}

}  // namespace tools
