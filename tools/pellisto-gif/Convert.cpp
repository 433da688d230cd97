// pellisto-gif convert IN OUT.gif [--reduce METHOD] [--bits N] [--dither none|fs]:
// any picture the picture system reads becomes a one-frame GIF. Without
// options an indexed picture keeps its colours exactly and a true-colour one
// is reduced to the web palette; any reduction option makes the picture true
// colour first, so the method asked for always applies.

#include <cstdlib>
#include <iterator>

#include "gif/encode/Reduce.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

namespace {

// Indexed by the reduction method's value.
constexpr const char* kMethods[] = {"none",    "system20", "halftone",  "gray4",           "bw",
                                    "gray256", "web216",   "optimized", "optimized-system"};

uint8_t MethodNamed(const std::string& name) {
  for (size_t i = 0; i < std::size(kMethods); ++i)
    if (name == kMethods[i]) return static_cast<uint8_t>(i);
  throw UsageError{"unknown reduction method '" + name + "'"};
}

int32_t BitsOf(const std::string& text) {
  char* end = nullptr;
  const long bits = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || bits < 1 || bits > 8) throw UsageError{"--bits takes 1 to 8"};
  return static_cast<int32_t>(bits);
}

}  // namespace

int RunConvert(const Args& args) {
  std::vector<std::string> files;
  uint8_t method = gif::ReduceWeb216;
  uint8_t dither = gif::NoDither;
  int32_t bits = 8;
  bool explicitReduction = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue = a == "--reduce" || a == "--bits" || a == "--dither";
    if (takesValue && i + 1 == args.size()) throw UsageError{a + " needs a value"};
    explicitReduction = explicitReduction || takesValue;
    if (a == "--reduce") {
      method = MethodNamed(args[++i]);
    } else if (a == "--bits") {
      bits = BitsOf(args[++i]);
    } else if (a == "--dither") {
      const std::string& mode = args[++i];
      if (mode == "none")
        dither = gif::NoDither;
      else if (mode == "fs")
        dither = gif::FloydSteinbergDither;
      else
        throw UsageError{"--dither takes none or fs"};
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option '" + a + "'"};
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw UsageError{"convert needs IN and OUT.gif"};

  platform::TPicture picture;
  picture.LoadFromFile(files[0]);
  platform::TGraphic* source = picture.Graphic();
  if (!source || source->GetEmpty()) throw platform::EInvalidGraphic("The picture is empty");

  gif::TGIFImage image;
  image.ReductionMethod = method;
  image.DitherMode = dither;
  image.ReductionBits = bits;
  ShowProgress(image);
  const bool isGif = dynamic_cast<gif::TGIFImage*>(source) != nullptr;
  if (explicitReduction) {
    platform::TBitmap truecolour;
    if (isGif || dynamic_cast<platform::TBitmap*>(source)) {
      truecolour.Assign(source);  // a GIF gives its first frame as drawn
    } else {
      truecolour.SetPixelFormat(platform::TPixelFormat::pf24bit);
      truecolour.SetSize(source->GetWidth(), source->GetHeight());
      truecolour.Canvas().Draw(0, 0, source);
    }
    truecolour.SetPixelFormat(platform::TPixelFormat::pf24bit);
    image.Assign(&truecolour);
  } else if (isGif) {
    // The first frame as drawn, so the result has one frame.
    platform::TBitmap first;
    first.Assign(source);
    image.Assign(&first);
  } else {
    image.Assign(source);
  }
  image.SaveToFile(files[1]);
  return 0;
}

}  // namespace tools
