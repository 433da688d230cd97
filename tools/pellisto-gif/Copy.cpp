// pellisto-gif copy IN OUT [--encoder lzw|rle]: reads a GIF and writes it
// again with the chosen encoder (LZW unless told otherwise).

#include <cstdio>

#include "tools/pellisto-gif/Command.h"

namespace tools {

int RunCopy(const Args& args) {
  std::vector<std::string> files;
  int kind = -1;  // the picture's default
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--encoder") {
      if (i + 1 == args.size()) throw UsageError{"--encoder needs lzw or rle"};
      const std::string& name = args[++i];
      if (name == "lzw")
        kind = 0;
      else if (name == "rle")
        kind = 1;
      else
        throw UsageError{"unknown encoder '" + name + "' (lzw or rle)"};
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) throw UsageError{"copy needs IN and OUT"};

  LoadedGif loaded = LoadGif(files[0]);
  gif::TGIFImage& image = *loaded.Image;
  if (kind >= 0) image.EncoderKind = static_cast<uint8_t>(kind);
  // Encode into memory first: a picture that cannot be written (a pixel
  // outside its colour table) must not leave a truncated OUT behind.
  platform::TMemoryStream encoded;
  ShowProgress(image);
  image.SaveToStream(encoded);
  image.OnProgress = nullptr;
  encoded.SaveToFile(files[1]);
  for (const std::string& w : loaded.Warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());
  return 0;
}

}  // namespace tools
