#include "gif/encode/GIFStream.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/Exceptions.h"

namespace gif {

namespace {
[[noreturn]] void InvalidStreamOperation() {
  throw platform::Exception("Invalid stream operation");
}
}  // namespace

TGIFStream::TGIFStream(platform::TStream& Target) : Target(&Target) {}

int32_t TGIFStream::Read(void*, int32_t) { InvalidStreamOperation(); }
int32_t TGIFStream::Write(const void*, int32_t) { InvalidStreamOperation(); }
int64_t TGIFStream::Seek(int64_t, platform::TSeekOrigin) { InvalidStreamOperation(); }

TGIFWriter::TGIFWriter(platform::TStream& Target) : TGIFStream(Target) {}

TGIFWriter::~TGIFWriter() {
  if (!Pending) return;
  try {
    EmitBlock();
  } catch (...) {
    // Only reached when an earlier failure is already on its way out (the
    // normal path flushes first); that failure is the one to report.
  }
}

int32_t TGIFWriter::Write(const void* Buffer, int32_t Count) {
  Pending = true;  // stays set if an emit fails: the block is still buffered
  auto* from = static_cast<const uint8_t*>(Buffer);
  int32_t left = std::max(Count, 0);
  while (left > 0) {
    const int32_t n = std::min(256 - BlockFill, left);
    std::memcpy(Block + BlockFill, from, static_cast<size_t>(n));
    from += n;
    BlockFill += n;
    left -= n;
    if (BlockFill >= 256) EmitBlock();
  }
  // Pending follows the buffer itself: the bytes left after the last full block
  // must still go out on destruction, and an empty write adds no empty block
  // (which a reader would take for the terminator).
  Pending = BlockFill > 1;
  return Count;
}

void TGIFWriter::EmitBlock() {
  if (BlockFill <= 0) return;
  Block[0] = static_cast<uint8_t>(BlockFill - 1);
  Target->WriteBuffer(Block, BlockFill);
  BlockFill = 1;
  Pending = false;
}

}  // namespace gif
