// pellisto-gif indices FILE OUTDIR: each frame's pixel indices and its
// effective colour map, as raw files.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "gif/decode/ColorMap.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

namespace {

void WriteFile(const std::string& path, const void* data, size_t size) {
  platform::TFileStream out(path, platform::fmCreate);
  if (size > 0) out.WriteBuffer(data, static_cast<int32_t>(size));
}

}  // namespace

int RunIndices(const Args& args) {
  if (args.size() != 2) throw UsageError{"indices needs FILE and OUTDIR"};
  LoadedGif loaded = LoadGif(args[0]);
  const std::string dir = args[1];
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
    throw platform::EFCreateError("Cannot create folder " + dir + ": " + std::strerror(errno));
  const gif::TGIFImage& image = *loaded.Image;
  for (int i = 0; i < image.Frames->ItemCount(); ++i) {
    const gif::TGIFSubImage& f = *image.Frames->FrameAt(i);
    char name[16];
    std::snprintf(name, sizeof name, "/%03d", i);
    WriteFile(dir + name + ".idx", f.Pixels.get(), f.Pixels ? static_cast<size_t>(f.PixelBytes) : 0);
    const gif::TGIFColorMap& map = *f.EffectiveColorMap();
    WriteFile(dir + name + ".pal", map.ColorEntries.get(), static_cast<size_t>(map.EntryCount) * 3);
  }
  for (const std::string& w : loaded.Warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
  return 0;
}

}  // namespace tools
