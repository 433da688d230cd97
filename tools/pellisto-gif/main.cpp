// pellisto-gif: a command-line tool for GIF files, built on the library.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

namespace {

const Command kCommands[] = {
    {"info", "FILE [--json]", &RunInfo},
    {"indices", "FILE OUTDIR", &RunIndices},
    {"convert", "IN OUT.gif [--reduce METHOD] [--bits N] [--dither none|fs]", &RunConvert},
    {"copy", "IN OUT [--encoder lzw|rle]", &RunCopy},
    {"frames", "FILE OUTDIR [--background RRGGBB]", &RunFrames},
    {"play", "FILE", &RunPlay},
};

void PrintUsage(std::ostream& out) {
  out << "usage:\n";
  for (const Command& c : kCommands) out << "  pellisto-gif " << c.Name << " " << c.Usage << "\n";
}

}  // namespace

void ShowProgress(platform::TGraphic& graphic) {
  if (!isatty(STDERR_FILENO)) return;
  graphic.OnProgress = [](platform::TObject*, platform::TProgressStage stage, uint8_t percent, bool,
                          const platform::TRect&, const std::string& message) {
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%-12s [%.*s%*s] %3d%%", message.c_str(), filled, "##############################",
                 30 - filled, "", percent);
    if (stage == platform::TProgressStage::psEnding) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  };
}

LoadedGif LoadGif(const std::string& path) {
  LoadedGif loaded;
  loaded.Image = std::make_unique<gif::TGIFImage>();
  loaded.Image->WarningHandler = [&w = loaded.Warnings](platform::TObject*, uint8_t, const std::string& m) {
    w.push_back(m);
  };
  ShowProgress(*loaded.Image);
  platform::TFileStream stream(path, platform::fmOpenRead | platform::fmShareDenyWrite);
  loaded.Image->LoadFromStream(stream);
  loaded.Image->WarningHandler = nullptr;
  loaded.Image->OnProgress = nullptr;
  return loaded;
}

}  // namespace tools

int main(int argc, char** argv) {
  using namespace tools;
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(argc < 2 ? std::cerr : std::cout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.Name) != 0) continue;
    try {
      return c.Run(Args(argv + 2, argv + argc));
    } catch (const UsageError& e) {
      std::cerr << "pellisto-gif: " << e.Message << "\n";
      PrintUsage(std::cerr);
      return 2;
    } catch (const platform::Exception& e) {
      std::cerr << "pellisto-gif: " << e.Message << "\n";
      return 1;
    } catch (const std::exception& e) {
      std::cerr << "pellisto-gif: " << e.what() << "\n";
      return 1;
    }
  }
  std::cerr << "pellisto-gif: unknown command '" << argv[1] << "'\n";
  PrintUsage(std::cerr);
  return 2;
}
