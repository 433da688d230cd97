#pragma once
// The frame encoders. TGIFEncoder frames one frame's image data (code size
// byte, sub-blocks, terminator), walks the pixels in stream order (with the
// four interlace passes) and packs variable-width codes least significant bit
// first. TLZWEncoder is the real LZW compressor; TRLEEncoder writes data any
// LZW decoder reads but only exploits runs of one value.

#include <cstdint>
#include <memory>

#include "gif/encode/GIFStream.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

namespace gif {

// Largest code of a given width.
inline int16_t MaxCodeFor(int Bits) { return static_cast<int16_t>((1 << Bits) - 1); }

// The LZW string table: open addressing over 8009 slots. An entry is
// (key << 12) | code; a slot whose upper 20 bits are all ones is empty.
// Keys are (prefix << 8) | pixel.
class THashTable {
public:
  static constexpr int32_t SlotCount = 8009;

  THashTable();
  THashTable(const THashTable&) = delete;
  THashTable& operator=(const THashTable&) = delete;

  void Reset();
  void Store(uint32_t Key, int16_t Code);
  // The code stored for Key, or -1. The first probe is inline: it decides
  // most lookups.
  int16_t Find(uint32_t Key) const {
    const int32_t slot = SlotOf(Key);
    const uint32_t entry = slots[slot];
    if ((entry & 0xFFFFF000u) == 0xFFFFF000u) return -1;
    if ((entry & 0xFFFFF000u) == Key << 12) return static_cast<int16_t>(entry & 0xFFFu);
    return FindFrom(Key, slot);
  }

  // (Key XOR (Key >> 4)) mod 8009, the remainder taken with two multiplies
  // (exact for every 32-bit value) to keep the lookup chain short.
  static int32_t SlotOf(uint32_t Key) {
    constexpr uint64_t M = UINT64_MAX / SlotCount + 1;
    const uint64_t low = M * (Key ^ (Key >> 4));
    return static_cast<int32_t>((static_cast<unsigned __int128>(low) * SlotCount) >> 64);
  }
  // Doubles the slot number modulo 8009 (slot 0 goes to 8008).
  static int32_t NextSlot(int32_t Slot) {
    if (Slot == 0) return SlotCount - 1;
    const int32_t next = Slot - (SlotCount - Slot);
    return next < 0 ? next + SlotCount : next;
  }

  // Find that also tells, on a miss, the slot where Store would put Key (the
  // first empty slot of the same probe walk), so the encoder walks once.
  int16_t Lookup(uint32_t Key, int32_t& EmptySlot) const {
    const int32_t slot = SlotOf(Key);
    const uint32_t entry = slots[slot];
    if ((entry & 0xFFFFF000u) == Key << 12) return static_cast<int16_t>(entry & 0xFFFu);
    if ((entry & 0xFFFFF000u) == 0xFFFFF000u) {
      EmptySlot = slot;
      return -1;
    }
    return LookupFrom(Key, slot, EmptySlot);
  }
  void StoreAt(int32_t Slot, uint32_t Key, int16_t Code) {
    slots[Slot] = (Key << 12) | (static_cast<uint32_t>(Code) & 0xFFFu);
  }

private:
  int16_t FindFrom(uint32_t Key, int32_t Slot) const;
  int16_t LookupFrom(uint32_t Key, int32_t Slot, int32_t& EmptySlot) const;

  std::unique_ptr<uint32_t[]> slots;
};

class TGIFEncoder : public platform::TObject {
public:
  const char* ClassName() const noexcept override { return "TGIFEncoder"; }

  // Encodes one frame's image data onto Destination. Pixels holds Width x
  // Height indices, rows from the top; each must be below ColorLimit, else
  // GIFException "Color not in color table" (the image is then truncated and
  // has no terminator). Called once per encoder object.
  void Encode(platform::TStream& Destination, uint8_t MinimumCodeSize, int32_t Width,
              int32_t Height, bool Interlaced, const uint8_t* Pixels, int32_t ColorLimit);

protected:
  virtual void EmitCode(int32_t Code);
  // The bit packing of EmitCode, for callers that know which one they want.
  inline void PackCode(int32_t Code);
  virtual void EmitClear();
  virtual void EncodePixels() = 0;

  // Moves Cursor past the pixel just read to the next one in stream order;
  // false when the frame is done.
  bool AdvancePixel() {
    if (--RowRemaining > 0) return true;
    if (!Interlaced) return false;
    return NextInterlacedRow();
  }

  // Starts the next row of the interlace passes; false past the last one.
  bool NextInterlacedRow();
  [[noreturn]] static void ColorNotInTable();

  int32_t ColorLimit = 0;
  uint8_t MinimumCodeSize = 0;
  platform::TStream* Destination = nullptr;
  int32_t Width = 0, Height = 0;
  bool Interlaced = false;
  const uint8_t* Pixels = nullptr;
  TGIFWriter* Output = nullptr;  // alive only inside Encode
  uint32_t BitBuffer = 0;        // oldest bit is bit 0
  int32_t BitCount = 0;
  bool JustCleared = false;
  int32_t CodeWidth = 0;
  int32_t StartCodeWidth = 0;
  int16_t MaxCodeValue = 0;
  int16_t ClearCode = 0;
  int16_t EndCode = 0;
  int16_t FirstFreeCode = 0;
  const uint8_t* Cursor = nullptr;
  int64_t RowRemaining = 0;  // in the row (interlaced) or the frame (65535 x 65535 overflows 32 bits)
  int32_t Row = 0;
  int32_t Pass = 0;
};

class TLZWEncoder : public TGIFEncoder {
public:
  const char* ClassName() const noexcept override { return "TLZWEncoder"; }

protected:
  void EmitCode(int32_t Code) override;
  void EmitClear() override;
  void EncodePixels() override;

  int16_t Prefix = 0;
  int16_t NextFreeCode = 0;
  std::unique_ptr<THashTable> Table;  // lives for one EncodePixels run
};

class TRLEEncoder : public TGIFEncoder {
public:
  const char* ClassName() const noexcept override { return "TRLEEncoder"; }

  // Codes needed to send Count pixels of one value from a clear, when runs
  // grow 1, 2, 3, ... and at most Limit codes fit between clears.
  static int32_t CodesForRun(int32_t Count, int32_t Limit);
  static int32_t IntegerSqrt(int32_t X);

protected:
  void EmitClear() override;
  void EncodePixels() override;

  void EmitPlain(int32_t Code);
  void EmitRun(int32_t Count);
  void RunFromClear(int32_t Count);
  void RunWithTable(int32_t Count);
  void RunByClearOrRepeat(int32_t Count);
  void WidenClearLimit() { ClearLimit = RunCodeLimit; }
  void RestoreClearLimit();

  int32_t RunCodeLimit = 0;    // codes that may follow a clear while run codes are used
  int32_t WidenAtStart = 0;    // codes after a clear before the width first grows
  int32_t ClearAtStart = 0;    // the normal clear limit
  int32_t RunPixel = -1;
  int32_t RunTableLength = 0;  // the decoder holds runs 2..this of RunTablePixel
  int32_t RunTablePixel = 0;
  int32_t CodesSinceClear = 0;
  int32_t ClearLimit = 0;
  int32_t WidenAt = 0;
};

}  // namespace gif
