// pellisto-gif info FILE [--json]: the picture's structure and warnings.

#include <cstdio>
#include <iostream>
#include <sstream>

#include "gif/decode/Extensions.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

namespace {

std::string ExtensionName(const gif::TGIFExtension& ext) {
  if (dynamic_cast<const gif::TGIFGraphicControlExtension*>(&ext)) return "graphic-control";
  if (dynamic_cast<const gif::TGIFCommentExtension*>(&ext)) return "comment";
  if (dynamic_cast<const gif::TGIFTextExtension*>(&ext)) return "plain-text";
  if (auto* app = dynamic_cast<const gif::TGIFApplicationExtension*>(&ext)) {
    std::string id;
    for (uint8_t c : app->IdentifierBlock)
      id += (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') ? static_cast<char>(c) : '?';
    while (!id.empty() && id.back() == '?') id.pop_back();
    return (dynamic_cast<const gif::TGIFAppExtNSLoop*>(&ext) ? "loop:" : "application:") + id;
  }
  return "unknown";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

struct FrameInfo {
  int Left, Top, Width, Height;
  bool Interlaced;
  int LocalColors;
  int Transparent;  // -1 for none
  int Delay, Disposal;
  std::vector<std::string> Extensions;
};

FrameInfo Describe(const gif::TGIFSubImage& f) {
  FrameInfo info{f.BoundValue(1), f.BoundValue(2), f.BoundValue(3), f.BoundValue(4), f.IsInterlaced(),
                 f.LocalColorMap->EntryCount, -1, 0, 0, {}};
  if (const auto* gce = f.ControlExtension) {
    info.Delay = gce->DelayTime();
    info.Disposal = gce->DisposalMethod();
    if (f.HasTransparency) info.Transparent = gce->TransparentColorIndex();
  }
  for (int i = 0; i < f.ExtensionList->ItemCount(); ++i)
    info.Extensions.push_back(ExtensionName(*f.ExtensionList->ExtensionAt(i)));
  return info;
}

int LoopCountOf(const gif::TGIFImage& image) {
  for (int i = 0; i < image.Frames->ItemCount(); ++i) {
    const auto& list = *image.Frames->FrameAt(i)->ExtensionList;
    for (int k = 0; k < list.ItemCount(); ++k)
      if (auto* loop = dynamic_cast<const gif::TGIFAppExtNSLoop*>(list.ExtensionAt(k))) return loop->LoopCount;
  }
  return -1;
}

const char* VersionText(gif::GIFVersionCode v) { return v == gif::VersionNone ? "none" : gif::GIFVersionText[v]; }

}  // namespace

int RunInfo(const Args& args) {
  bool json = false;
  std::string file;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (!a.empty() && a[0] == '-')
      throw UsageError{"unknown option '" + a + "'"};
    else if (file.empty())
      file = a;
    else
      throw UsageError{"too many arguments"};
  }
  if (file.empty()) throw UsageError{"info needs a FILE"};

  LoadedGif loaded = LoadGif(file);
  gif::TGIFImage& image = *loaded.Image;
  const int loop = LoopCountOf(image);
  std::ostringstream out;
  if (json) {
    out << "{\"width\": " << image.GetWidth() << ", \"height\": " << image.GetHeight() << ", \"version\": \""
        << VersionText(image.RequiredVersion()) << "\", \"globalColors\": "
        << image.Header->GlobalColorMap->EntryCount
        << ", \"background\": " << int{image.Header->Descriptor.BackgroundColorIndex}
        << ", \"loopCount\": " << (loop < 0 ? "null" : std::to_string(loop)) << ", \"frames\": [";
    for (int i = 0; i < image.Frames->ItemCount(); ++i) {
      const FrameInfo f = Describe(*image.Frames->FrameAt(i));
      out << (i ? ", " : "") << "{\"index\": " << i << ", \"left\": " << f.Left << ", \"top\": " << f.Top
          << ", \"width\": " << f.Width << ", \"height\": " << f.Height
          << ", \"interlaced\": " << (f.Interlaced ? "true" : "false") << ", \"localColors\": " << f.LocalColors
          << ", \"transparent\": " << (f.Transparent < 0 ? "null" : std::to_string(f.Transparent))
          << ", \"delay\": " << f.Delay << ", \"disposal\": " << f.Disposal << ", \"extensions\": [";
      for (size_t k = 0; k < f.Extensions.size(); ++k) out << (k ? ", " : "") << JsonString(f.Extensions[k]);
      out << "]}";
    }
    out << "], \"warnings\": [";
    for (size_t k = 0; k < loaded.Warnings.size(); ++k) out << (k ? ", " : "") << JsonString(loaded.Warnings[k]);
    out << "]}\n";
  } else {
    out << "size: " << image.GetWidth() << " x " << image.GetHeight() << "\n"
        << "version: " << VersionText(image.RequiredVersion()) << "\n"
        << "global colors: " << image.Header->GlobalColorMap->EntryCount << "\n"
        << "background: " << int{image.Header->Descriptor.BackgroundColorIndex} << "\n"
        << "loop count: " << (loop < 0 ? "-" : std::to_string(loop)) << "\n"
        << "frames: " << image.Frames->ItemCount() << "\n";
    for (int i = 0; i < image.Frames->ItemCount(); ++i) {
      const FrameInfo f = Describe(*image.Frames->FrameAt(i));
      char index[16];
      std::snprintf(index, sizeof index, "%03d", i);
      out << "frame " << index << ": left " << f.Left << " top " << f.Top << " width " << f.Width << " height "
          << f.Height << " interlaced " << (f.Interlaced ? "yes" : "no") << " local colors " << f.LocalColors
          << " transparent " << (f.Transparent < 0 ? "-" : std::to_string(f.Transparent)) << " delay " << f.Delay
          << " disposal " << f.Disposal << " extensions ";
      if (f.Extensions.empty()) out << "-";
      for (size_t k = 0; k < f.Extensions.size(); ++k) out << (k ? "," : "") << f.Extensions[k];
      out << "\n";
    }
    for (const std::string& w : loaded.Warnings) out << "warning: " << w << "\n";
  }
  std::cout << out.str();
  return 0;
}

}  // namespace tools
