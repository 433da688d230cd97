#pragma once
// Loading fixtures into pictures while recording warnings and errors.

#include <memory>
#include <string>
#include <vector>

#include "gif/decode/Extensions.h"
#include "gif/picture/GIFImage.h"
#include "platform/rtl/Streams.h"
#include "tests/gif/decode/GifBuilder.h"

namespace giftest {

struct Loaded {
  std::unique_ptr<gif::TGIFImage> image = std::make_unique<gif::TGIFImage>();
  std::vector<std::string> warnings;  // "SenderClass: message"
  std::string error;                  // "ExceptionClass: message", empty on success
  int64_t end_position = 0;

  gif::TGIFSubImage& Frame(int i) const { return *image->Frames->FrameAt(i); }
  int FrameCount() const { return image->Frames->ItemCount(); }
};

inline std::unique_ptr<platform::TMemoryStream> MemoryOf(const Bytes& bytes) {
  auto stream = std::make_unique<platform::TMemoryStream>();
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

inline Bytes BytesOf(platform::TMemoryStream& stream) {
  return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

inline Loaded Load(const Bytes& bytes) {
  Loaded result;
  result.image->WarningHandler = [&w = result.warnings](platform::TObject* sender, uint8_t severity,
                                                        const std::string& message) {
    w.push_back(std::string(sender != nullptr ? sender->ClassName() : "null") + ": " + message +
                (severity == 1 ? "" : " (severity " + std::to_string(severity) + ")"));
  };
  auto stream = MemoryOf(bytes);
  try {
    result.image->LoadFromStream(*stream);
  } catch (const platform::Exception& e) {
    result.error = std::string(e.ClassName()) + ": " + e.Message;
  }
  result.end_position = stream->Position();
  return result;
}

// A 4-colour global table picture of the given size, ready for frames.
inline GifBuilder Screen(int w, int h) {
  GifBuilder b;
  b.Header(w, h, 0x81).ColorTable(4);
  return b;
}

}  // namespace giftest
