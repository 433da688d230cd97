#pragma once
// The sub-block output stream: cuts the encoders' plain byte sequence into
// GIF data sub-blocks (a length byte 1..255 and that many bytes) on its way
// to the destination. The block terminator is not written here.

#include <cstdint>

#include "platform/rtl/Streams.h"

namespace gif {

// A write-only stream over Target. Reading, seeking and (on this base) writing
// raise "Invalid stream operation", so nothing can ask it for a position.
class TGIFStream : public platform::TStream {
public:
  explicit TGIFStream(platform::TStream& Target);
  const char* ClassName() const noexcept override { return "TGIFStream"; }

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, platform::TSeekOrigin Origin) override;

protected:
  platform::TStream* Target;  // not owned
  uint8_t Block[256];         // [0] is the length byte when emitted; data in 1..255
  int32_t BlockFill = 1;      // where the next data byte goes: 1 empty, 256 full
};

class TGIFWriter final : public TGIFStream {
public:
  explicit TGIFWriter(platform::TStream& Target);
  // Emits the last, partly filled sub-block. A write failure here cannot
  // leave a destructor, so the encoders call Flush on their normal path.
  ~TGIFWriter() override;
  const char* ClassName() const noexcept override { return "TGIFWriter"; }

  // Buffers Count bytes, emitting each sub-block as soon as it holds 255;
  // always returns Count.
  int32_t Write(const void* Buffer, int32_t Count) override;

  // One byte, as the encoders write them; same effect as Write(&Value, 1).
  void WriteByte(uint8_t Value) {
    const int32_t fill = BlockFill;
    Block[fill] = Value;
    BlockFill = fill + 1;
    Pending = true;
    if (fill + 1 >= 256) EmitBlock();
  }

  // Emits the pending sub-block now, letting a write error through.
  void Flush() {
    if (Pending) EmitBlock();
  }

  // Writes the buffered data as one sub-block. On a failed write to Target
  // the block stays buffered.
  void EmitBlock();

private:
  bool Pending = false;
};

}  // namespace gif
