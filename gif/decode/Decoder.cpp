// The LZW decoder of GIF image data: variable-width codes of up to 12 bits,
// least significant bit first, packed into data sub-blocks.

#include <array>
#include <cstring>

#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"

namespace gif {

namespace {

constexpr int kTableSize = 4096;
constexpr int kStackSize = 8192;

constexpr std::array<uint32_t, 16> kCodeMasks = [] {
  std::array<uint32_t, 16> masks{};
  for (int n = 0; n < 16; ++n) masks[static_cast<size_t>(n)] = (1u << n) - 1;
  return masks;
}();

// State of one DecodePixels call. Fixed arrays only: no allocation per code.
class LZWDecoder {
public:
  LZWDecoder(TGIFSubImage& Frame, platform::TStream& Stream, int MinimumCodeSize)
      : frame_(Frame), stream_(Stream) {
    position_ = Stream.Position();
    size_ = Stream.Size();
    min_code_size_ = MinimumCodeSize;
    clear_code_ = 1 << MinimumCodeSize;
    end_code_ = clear_code_ + 1;
    code_width_ = MinimumCodeSize + 1;
    next_free_code_ = clear_code_ + 2;
    code_limit_ = 2 * clear_code_;
  }

  // Fills Count pixels; false once the data ended (or the end code came).
  bool Fill(uint8_t* Out, int Count) {
    while (Count > 0) {
      if (sp_ == 0) {
        const int value = NextDecodedValue();
        if (value < 0) return false;
        *Out++ = static_cast<uint8_t>(value);
        --Count;
        continue;
      }
      // Unload the rest of the current string in one go.
      int n = sp_ < Count ? sp_ : Count;
      Count -= n;
      while (n-- > 0) *Out++ = static_cast<uint8_t>(stack_[static_cast<size_t>(--sp_)]);
    }
    return true;
  }

  // One value more, discarded: for well-formed data this reads the end code
  // and skips whatever sub-blocks are left, up to the block terminator.
  void Finish() {
    if (sp_ > 0) {
      --sp_;
      return;
    }
    NextDecodedValue();
  }

private:
  int ReadCodeBits(int Width) {
    if (fresh_start_) [[unlikely]] {
      fresh_start_ = false;
      return clear_code_;
    }
    // Note >=: a code that ends exactly at the last buffered bit already
    // fetches the next sub-block.
    if (bit_position_ + Width >= bit_limit_) [[unlikely]] {
      if (!Refill()) return -1;
    }
    // Three bytes always hold a code of up to 16 bits; bytes past the
    // code's last one are masked off (the buffer has room to read them).
    const size_t lo = static_cast<size_t>(bit_position_ >> 3);
    const uint32_t v = buffer_[lo] | (uint32_t{buffer_[lo + 1]} << 8) | (uint32_t{buffer_[lo + 2]} << 16);
    const int code = static_cast<int>((v >> (bit_position_ & 7)) & kCodeMasks[static_cast<size_t>(Width)]);
    bit_position_ += Width;
    return code;
  }

  // Reads the next sub-block behind the two bytes carried over; false when
  // no more bits can come.
  [[gnu::noinline]] bool Refill() {
    if (data_exhausted_) {
      if (bit_position_ >= bit_limit_) frame_.ReportWarning(1, msg::BitBufferUnderrun);
      return false;
    }
    buffer_[0] = buffer_[static_cast<size_t>(buffer_fill_ - 2)];
    buffer_[1] = buffer_[static_cast<size_t>(buffer_fill_ - 1)];
    uint8_t size_byte = 0;
    if (stream_.Read(&size_byte, 1) != 1) return false;  // the stream ended: stop quietly
    ++position_;
    int size = size_byte;
    if (size == 0) {
      data_exhausted_ = true;
    } else {
      const int64_t left = size_ - position_;
      if (left < size) {
        // A truncated file: use what is there, the next size read ends it.
        frame_.ReportWarning(1, msg::PrematureEnd);
        size = left > 0 ? static_cast<int>(left) : 0;
      }
      if (size != 0) {
        ReadExact(stream_, buffer_.data() + 2, size);
        position_ += size;
      }
    }
    buffer_fill_ = size + 2;
    bit_position_ = bit_position_ - bit_limit_ + 16;
    bit_limit_ = buffer_fill_ * 8;
    return true;
  }

  void Push(int Value) {
    // Damaged data can chain prefixes into a cycle; a sound string is never
    // longer than the table, so a full stack means the table is circular.
    if (sp_ >= kStackSize) RaiseGIFError(msg::CircularTableEntry);
    stack_[static_cast<size_t>(sp_++)] = Value;
  }

  int NextDecodedValue() {
    int code = ReadCodeBits(code_width_);
    if (code < 0) [[unlikely]]
      return code;
    if (code < clear_code_) [[likely]] {
      // A single value: its string is itself, no walk needed.
      first_value_ = code;
      Define();
      previous_code_ = code;
      return code;
    }
    if (code == clear_code_) [[unlikely]] {
      for (int i = 0; i < clear_code_; ++i) {
        prefix_[static_cast<size_t>(i)] = 0;
        suffix_[static_cast<size_t>(i)] = i;
      }
      std::memset(prefix_.data() + clear_code_, 0, sizeof(int32_t) * static_cast<size_t>(kTableSize - clear_code_));
      std::memset(suffix_.data() + clear_code_, 0, sizeof(int32_t) * static_cast<size_t>(kTableSize - clear_code_));
      code_width_ = min_code_size_ + 1;
      code_limit_ = 2 * clear_code_;
      next_free_code_ = clear_code_ + 2;
      sp_ = 0;
      do {
        first_value_ = previous_code_ = ReadCodeBits(code_width_);
      } while (first_value_ == clear_code_);
      // Delivered unexamined: real files put the end code (or an undefined
      // code) right after a clear code, and it is taken as a pixel value.
      return first_value_;
    }
    if (code == end_code_) [[unlikely]] {
      if (!data_exhausted_) SkipRemainingBlocks();
      data_exhausted_ = true;
      return -2;
    }
    const int in_code = code;
    if (code >= next_free_code_) {
      Push(first_value_);
      code = previous_code_;
    }
    while (code >= clear_code_) {
      Push(suffix_[static_cast<size_t>(code)]);
      if (prefix_[static_cast<size_t>(code)] == code) RaiseGIFError(msg::CircularTableEntry);
      code = prefix_[static_cast<size_t>(code)];
    }
    first_value_ = suffix_[static_cast<size_t>(code)];
    Push(first_value_);
    Define();
    previous_code_ = in_code;
    return stack_[static_cast<size_t>(--sp_)];
  }

  // The new entry: the previous string plus the first value of this one.
  void Define() {
    if (next_free_code_ <= kTableSize - 1) {
      prefix_[static_cast<size_t>(next_free_code_)] = previous_code_;
      suffix_[static_cast<size_t>(next_free_code_)] = first_value_;
      ++next_free_code_;
      if (next_free_code_ >= code_limit_ && code_limit_ <= kTableSize - 1) {
        code_limit_ *= 2;
        ++code_width_;
      }
    }
  }

  void SkipRemainingBlocks() {
    uint8_t size = 0;
    while (stream_.Read(&size, 1) == 1 && size != 0) stream_.Seek(size, platform::TSeekOrigin::soCurrent);
  }

  TGIFSubImage& frame_;
  platform::TStream& stream_;
  int64_t position_ = 0;
  int64_t size_ = 0;
  int min_code_size_ = 0;
  int clear_code_ = 0;
  int end_code_ = 0;
  int code_width_ = 0;
  int next_free_code_ = 0;
  int code_limit_ = 0;
  int first_value_ = 0;
  int previous_code_ = 0;
  int sp_ = 0;
  int buffer_fill_ = 2;
  int bit_position_ = 0;
  int bit_limit_ = 0;
  bool data_exhausted_ = false;
  bool fresh_start_ = true;
  std::array<int32_t, kTableSize> prefix_;
  std::array<int32_t, kTableSize> suffix_;
  std::array<int32_t, kStackSize> stack_;
  std::array<uint8_t, 257 + 2> buffer_{};  // 2 carried + 255 read, + 2 for the 3-byte gather
};

}  // namespace

void TGIFSubImage::DecodePixels(platform::TStream& Stream) {
  AllocatePixels();
  const uint8_t fill =
      HasTransparency && ControlExtension != nullptr ? ControlExtension->TransparentColorIndex() : 0;
  if (PixelBytes > 0) std::memset(Pixels.get(), fill, static_cast<size_t>(PixelBytes));

  uint8_t code_size = 0;
  if (Stream.Read(&code_size, 1) != 1) return;  // no image data: the fill value stays
  // Above 11 the clear code would lie beyond the 4096-entry tables.
  if (code_size > 11) RaiseGIFError(msg::CodeSizeTooLarge);

  LZWDecoder decoder(*this, Stream, code_size);
  const int width = ImageDescriptor.ImageWidth;
  const int height = ImageDescriptor.ImageHeight;
  uint8_t* pixels = Pixels.get();
  if (pixels != nullptr) {
    if (!IsInterlaced()) {
      decoder.Fill(pixels, PixelBytes);
    } else {
      // GIF89a interlace: every 8th row from 0, every 8th from 4, every 4th
      // from 2, every 2nd from 1.
      int pass = 0, step = 8, row = 0;
      for (int n = 0; n < height; ++n) {
        if (!decoder.Fill(pixels + static_cast<size_t>(row) * static_cast<size_t>(width), width)) break;
        row += step;
        while (row >= height) {
          if (pass > 0) step /= 2;
          ++pass;
          row = step / 2;
        }
      }
    }
  }
  decoder.Finish();
}

}  // namespace gif
