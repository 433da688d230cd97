#include "gif/encode/Encoders.h"

#include <cassert>
#include <cstring>

#include "gif/decode/Items.h"

namespace gif {

// ---------------------------------------------------------------------------
// THashTable

namespace {
constexpr uint32_t EmptyMask = 0xFFFFF000u;
// 2 has order 4004 modulo 8009, so doubling from any slot comes back to it
// after 4004 steps (from slot 0 the walk joins that cycle after one step).
// A cycle can fill (the table holds up to 4089 strings), so once a whole
// cycle has been seen the walk goes on linearly, which reaches every slot.
// Store and Find walk the same sequence, so Find still meets every key.
constexpr int32_t DoublingProbes = 4005;
constexpr int32_t ProbeLimit = DoublingProbes + THashTable::SlotCount;

inline int32_t Probe(int32_t Slot, int32_t Probes) {
  if (Probes < DoublingProbes) return THashTable::NextSlot(Slot);
  return Slot + 1 == THashTable::SlotCount ? 0 : Slot + 1;
}
}  // namespace

THashTable::THashTable() : slots(new uint32_t[SlotCount]) { Reset(); }

void THashTable::Reset() { std::memset(slots.get(), 0xFF, sizeof(uint32_t) * SlotCount); }

void THashTable::Store(uint32_t Key, int16_t Code) {
  int32_t slot = SlotOf(Key);
  for (int32_t probes = 0; probes < ProbeLimit; ++probes) {
    if ((slots[slot] & EmptyMask) == EmptyMask) {
      slots[slot] = (Key << 12) | (static_cast<uint32_t>(Code) & 0xFFFu);
      return;
    }
    slot = Probe(slot, probes);
  }
  // Every slot taken: the encoder clears long before (at most 4089 strings).
  assert(false && "string table overfilled");
}

int16_t THashTable::LookupFrom(uint32_t Key, int32_t Slot, int32_t& EmptySlot) const {
  // Slot, the home slot of Key, holds another key.
  const uint32_t wanted = Key << 12;
  int32_t slot = NextSlot(Slot);
  for (int32_t probes = 1; probes < ProbeLimit; ++probes) {
    const uint32_t entry = slots[slot];
    if ((entry & EmptyMask) == EmptyMask) {
      EmptySlot = slot;
      return -1;
    }
    if ((entry & EmptyMask) == wanted) return static_cast<int16_t>(entry & 0xFFFu);
    slot = Probe(slot, probes);
  }
  EmptySlot = -1;
  return -1;
}

int16_t THashTable::FindFrom(uint32_t Key, int32_t Slot) const {
  // Slot, the home slot of Key, holds another key.
  const uint32_t wanted = Key << 12;
  int32_t slot = NextSlot(Slot);
  for (int32_t probes = 1; probes < ProbeLimit; ++probes) {
    const uint32_t entry = slots[slot];
    if ((entry & EmptyMask) == EmptyMask) return -1;
    if ((entry & EmptyMask) == wanted) return static_cast<int16_t>(entry & 0xFFFu);
    slot = Probe(slot, probes);
  }
  return -1;
}

// ---------------------------------------------------------------------------
// TGIFEncoder

void TGIFEncoder::ColorNotInTable() { throw GIFException("Color not in color table"); }

void TGIFEncoder::Encode(platform::TStream& Destination, uint8_t MinimumCodeSize, int32_t Width,
                         int32_t Height, bool Interlaced, const uint8_t* Pixels,
                         int32_t ColorLimit) {
  this->Destination = &Destination;
  this->Width = Width;
  this->Height = Height;
  this->Interlaced = Interlaced;
  this->Pixels = Pixels;
  // 2 is the smallest code size the GIF89a standard allows, 8 the largest.
  this->MinimumCodeSize = MinimumCodeSize < 2 ? 2 : (MinimumCodeSize > 8 ? 8 : MinimumCodeSize);
  // A pixel value at or above the clear code would be read as a control code.
  this->ColorLimit = ColorLimit < (1 << this->MinimumCodeSize) ? ColorLimit : (1 << this->MinimumCodeSize);

  StartCodeWidth = this->MinimumCodeSize + 1;
  const uint8_t codeSize = this->MinimumCodeSize;
  Destination.WriteBuffer(&codeSize, 1);  // LZW minimum code size
  CodeWidth = StartCodeWidth;
  MaxCodeValue = MaxCodeFor(CodeWidth);
  ClearCode = static_cast<int16_t>(1 << this->MinimumCodeSize);
  EndCode = static_cast<int16_t>(ClearCode + 1);
  FirstFreeCode = static_cast<int16_t>(ClearCode + 2);
  BitBuffer = 0;
  BitCount = 0;
  JustCleared = false;
  RowRemaining = Interlaced ? Width : static_cast<int64_t>(Width) * Height;
  Row = 0;
  Pass = 0;
  Cursor = Pixels;

  {
    // On a failure the writer's destructor still emits what is buffered; the
    // terminator is then left out, so the image stays visibly truncated.
    TGIFWriter writer(Destination);
    Output = &writer;
    struct Detach {
      TGIFWriter*& Output;
      ~Detach() { Output = nullptr; }
    } detach{Output};
    if (Pixels != nullptr && Height > 0 && Width > 0) EncodePixels();
    EmitCode(EndCode);
    writer.Flush();
  }
  const uint8_t terminator = 0;
  Destination.WriteBuffer(&terminator, 1);  // block terminator
}

inline void TGIFEncoder::PackCode(int32_t Code) {
  // Locals, because the byte writes could alias the fields.
  const uint32_t code = static_cast<uint32_t>(Code);
  int32_t count = BitCount;
  uint32_t buffer = count > 0 ? (code << count) | (BitBuffer & ((1u << count) - 1u)) : code;
  count += CodeWidth;
  TGIFWriter& output = *Output;
  while (count >= 8) {
    output.WriteByte(static_cast<uint8_t>(buffer));
    buffer >>= 8;
    count -= 8;
  }
  if (Code == EndCode) {
    // The last byte is padded with zero bits.
    while (count > 0) {
      output.WriteByte(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      count -= 8;
    }
    count = 0;
  }
  BitBuffer = buffer;
  BitCount = count;
}

void TGIFEncoder::EmitCode(int32_t Code) { PackCode(Code); }

void TGIFEncoder::EmitClear() {
  JustCleared = true;
  EmitCode(ClearCode);
}

bool TGIFEncoder::NextInterlacedRow() {
  // The four passes of the GIF89a standard: first row and row step.
  static constexpr int32_t PassStart[4] = {0, 4, 2, 1};
  static constexpr int32_t PassStep[4] = {8, 8, 4, 2};
  RowRemaining = Width;
  Row += PassStep[Pass];
  // Frames of four rows or fewer skip passes whose first row is already out.
  while (Row >= Height && Pass < 3) {
    ++Pass;
    Row = PassStart[Pass];
  }
  if (Row >= Height) return false;
  Cursor = Pixels + static_cast<int64_t>(Row) * Width;
  return true;
}

// ---------------------------------------------------------------------------
// TLZWEncoder

void TLZWEncoder::EmitCode(int32_t Code) {
  PackCode(Code);
  if (JustCleared) {
    CodeWidth = StartCodeWidth;
    MaxCodeValue = MaxCodeFor(CodeWidth);
    JustCleared = false;
  } else if (NextFreeCode > MaxCodeValue) {
    ++CodeWidth;
    // 4096 can never be exceeded, so the width stops at 12 bits.
    MaxCodeValue = CodeWidth == 12 ? int16_t{4096} : MaxCodeFor(CodeWidth);
  }
}

void TLZWEncoder::EmitClear() {
  TGIFEncoder::EmitClear();
  Table->Reset();
  NextFreeCode = FirstFreeCode;
}

void TLZWEncoder::EncodePixels() {
  Table = std::make_unique<THashTable>();
  struct Free {
    std::unique_ptr<THashTable>& Table;
    ~Free() { Table.reset(); }
  } free{Table};

  EmitClear();
  Prefix = *Cursor++;
  if (Prefix >= ColorLimit) ColorNotInTable();
  // The walk of AdvancePixel and the code output of EmitCode, with their
  // state held in locals: the byte writes could alias the fields, which
  // would reload them for every pixel. The fields are brought up to date
  // around the (rare) clear and at the end; the output is the same.
  const THashTable& table = *Table;
  TGIFWriter& out = *Output;
  const int32_t limit = ColorLimit;
  int32_t prefix = Prefix;
  const uint8_t* cursor = Cursor;
  int64_t remaining = RowRemaining;
  uint32_t buffer = BitBuffer;
  int32_t count = BitCount;
  int32_t width = CodeWidth;
  int32_t maxCode = MaxCodeValue;
  int32_t next = NextFreeCode;
  auto save = [&] {
    BitBuffer = buffer;
    BitCount = count;
    CodeWidth = width;
    MaxCodeValue = static_cast<int16_t>(maxCode);
    NextFreeCode = static_cast<int16_t>(next);
  };
  for (;;) {
    if (--remaining <= 0) {
      if (!Interlaced || !NextInterlacedRow()) break;
      cursor = Cursor;
      remaining = RowRemaining;
    }
    const int32_t c = *cursor++;
    if (c >= limit) ColorNotInTable();
    const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(c);
    int32_t empty;
    const int16_t found = table.Lookup(key, empty);
    if (found >= 0) {
      prefix = found;
      continue;
    }
    // EmitCode(prefix): pack it, then the width rule (never right after a clear here).
    buffer = count > 0 ? (static_cast<uint32_t>(prefix) << count) | (buffer & ((1u << count) - 1u))
                       : static_cast<uint32_t>(prefix);
    count += width;
    while (count >= 8) {
      out.WriteByte(static_cast<uint8_t>(buffer));
      buffer >>= 8;
      count -= 8;
    }
    if (next > maxCode) {
      ++width;
      maxCode = width == 12 ? 4096 : MaxCodeFor(width);
    }
    prefix = c;
    if (next < 4095) {
      assert(empty >= 0);
      Table->StoreAt(empty, key, static_cast<int16_t>(next));  // where Store would put it
      ++next;
    } else {
      save();
      EmitClear();  // the table is full: start afresh instead of assigning 4095
      buffer = BitBuffer;
      count = BitCount;
      width = CodeWidth;
      maxCode = MaxCodeValue;
      next = NextFreeCode;
    }
  }
  save();
  Cursor = cursor;
  RowRemaining = 0;
  Prefix = static_cast<int16_t>(prefix);
  EmitCode(Prefix);
}

// ---------------------------------------------------------------------------
// TRLEEncoder

void TRLEEncoder::EncodePixels() {
  WidenAtStart = ClearCode - 1;
  ClearAtStart = MinimumCodeSize <= 3 ? 9 : ClearCode - 2;
  RunCodeLimit = 4095 - FirstFreeCode;
  EmitClear();
  RunPixel = -1;
  int32_t count = 0;
  do {
    const int32_t c = *Cursor++;
    if (c >= ColorLimit) ColorNotInTable();
    if (c == RunPixel) {
      ++count;
      continue;
    }
    if (count > 0) EmitRun(count);
    RunPixel = c;
    count = 1;
  } while (AdvancePixel());
  EmitRun(count);
}

void TRLEEncoder::EmitClear() {
  WidenAt = WidenAtStart;
  ClearLimit = ClearAtStart;
  CodesSinceClear = 0;
  RunTableLength = 0;
  TGIFEncoder::EmitClear();
  CodeWidth = StartCodeWidth;
}

void TRLEEncoder::EmitPlain(int32_t Code) {
  JustCleared = false;
  TGIFEncoder::EmitCode(Code);
  ++CodesSinceClear;
  // Mirrors the decoder: its next free entry is FirstFreeCode + codes - 1,
  // and it widens when that reaches a power of two.
  if (CodesSinceClear >= WidenAt) {
    ++CodeWidth;
    WidenAt += 1 << (CodeWidth - 1);
  }
  if (CodesSinceClear >= ClearLimit) EmitClear();
}

void TRLEEncoder::EmitRun(int32_t Count) {
  if (Count == 1)
    EmitPlain(RunPixel);
  else if (JustCleared)
    RunFromClear(Count);
  else if (RunTableLength >= 2 && RunTablePixel == RunPixel)
    RunWithTable(Count);
  else
    RunByClearOrRepeat(Count);
}

void TRLEEncoder::RunFromClear(int32_t Count) {
  // The k-th code after a clear, written while the decoder is about to define
  // it, expands to k pixels and defines the run of k.
  WidenClearLimit();
  RunTablePixel = RunPixel;
  int32_t n = 1;
  while (Count > 0) {
    if (n == 1) {
      RunTableLength = 1;
      EmitPlain(RunPixel);
      Count -= 1;
    } else if (n <= Count) {
      RunTableLength = n;
      EmitPlain(FirstFreeCode + n - 2);
      Count -= n;
    } else {
      // The shorter remainder still makes the decoder define the run of n.
      ++RunTableLength;
      EmitPlain(Count == 1 ? RunPixel : FirstFreeCode + Count - 2);
      break;
    }
    n = CodesSinceClear == 0 ? 1 : n + 1;
  }
  RestoreClearLimit();
}

void TRLEEncoder::RunWithTable(int32_t Count) {
  const int32_t r = RunTableLength;
  int32_t full = Count / r;
  int32_t rest = Count % r;
  int32_t extra = rest > 0 ? 1 : 0;
  if (CodesSinceClear + full + extra > RunCodeLimit) {
    // The table fills before the run ends; the rest goes out after that clear.
    full = RunCodeLimit - CodesSinceClear;
    rest = Count - full * r;
    extra = CodesForRun(rest, RunCodeLimit) + 1;
  }
  if (CodesForRun(Count, RunCodeLimit) + 1 < full + extra) {
    EmitClear();
    RunFromClear(Count);
    return;
  }
  WidenClearLimit();
  for (int32_t i = 0; i < full; ++i) EmitPlain(FirstFreeCode + r - 2);
  if (rest > 0) {
    if (JustCleared)
      RunFromClear(rest);
    else if (rest == 1)
      EmitPlain(RunPixel);
    else
      EmitPlain(FirstFreeCode + rest - 2);
  }
  RestoreClearLimit();
}

void TRLEEncoder::RunByClearOrRepeat(int32_t Count) {
  const int32_t viaClear = CodesForRun(Count, RunCodeLimit) + 1;  // + the clear code
  if (Count > viaClear) {
    EmitClear();
    RunFromClear(Count);
    return;
  }
  for (int32_t i = 0; i < Count; ++i) EmitPlain(RunPixel);  // ties go to plain codes
}

void TRLEEncoder::RestoreClearLimit() {
  ClearLimit = ClearAtStart;
  if (CodesSinceClear >= ClearLimit) EmitClear();
}

int32_t TRLEEncoder::CodesForRun(int32_t Count, int32_t Limit) {
  const int64_t t = static_cast<int64_t>(Limit) * (Limit + 1) / 2;
  int32_t cost = 0;
  int64_t count = Count;
  if (t > 0) {
    while (t <= count) {
      cost += Limit;
      count -= t;
    }
  }
  if (count > 0) {
    int64_t b = IntegerSqrt(static_cast<int32_t>(count));
    while (b > 0 && b * (b + 1) >= 2 * count) --b;
    while (b * (b + 1) < 2 * count) ++b;
    cost += static_cast<int32_t>(b);
  }
  return cost;
}

int32_t TRLEEncoder::IntegerSqrt(int32_t X) {
  if (X < 2) return X;
  int32_t r = 1;
  for (int32_t x = X; x > 0; x /= 4) r *= 2;
  for (;;) {
    const int32_t next = (X / r + r) / 2;
    if (next == r || next == r + 1) return r;
    r = next;
  }
}

}  // namespace gif
