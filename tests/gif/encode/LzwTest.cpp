#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "CodeReader.h"
#include "EncodeHelpers.h"
#include "gif/decode/Items.h"
#include "gif/encode/Encoders.h"

namespace gif {
namespace {

using test::EncodeFrame;
using test::Kind;
using test::ReadImageData;

TEST(LzwEncoder, OneBitFrameUsesCodeSizeTwo) {
  const auto data = EncodeFrame(Kind::LZW, 1, 4, 1, false, {0, 1, 0, 1}, 2);
  const auto read = ReadImageData(data);
  EXPECT_EQ(read.CodeSize, 2);
  // clear 4, then 0 and 1 (defining 6 = "01" and 7 = "10"), then 6, end 5.
  EXPECT_EQ(read.Codes, (std::vector<int>{4, 0, 1, 6, 5}));
  EXPECT_EQ(read.Widths, (std::vector<int>{3, 3, 3, 3, 4}));
  EXPECT_TRUE(read.Terminated);
  EXPECT_EQ(read.Consumed, data.size());
}

TEST(LzwEncoder, OnePixelFrame) {
  const auto data = EncodeFrame(Kind::LZW, 8, 1, 1, false, {200});
  // code size, one sub-block of 27 bits in 4 bytes, terminator.
  ASSERT_EQ(data.size(), 7u);
  EXPECT_EQ(data[0], 8);
  EXPECT_EQ(data[1], 4);
  EXPECT_EQ(data[6], 0);
  EXPECT_EQ(ReadImageData(data).Codes, (std::vector<int>{256, 200, 257}));
}

TEST(LzwEncoder, WidthGrowsAfterTheCodeEmittedAtNextFree512) {
  const auto pixels = test::DistinctPairs(400, 256);
  const auto read = ReadImageData(EncodeFrame(Kind::LZW, 8, 400, 1, false, pixels));
  ASSERT_EQ(read.Error, "");
  EXPECT_EQ(read.Pixels, pixels);
  // Code k after the clear is written while the next free code is 257 + k.
  EXPECT_EQ(read.Widths[0], 9);
  EXPECT_EQ(read.Widths[255], 9);
  EXPECT_EQ(read.Widths[256], 10);
  EXPECT_EQ(read.Codes[1], pixels[0]);
}

TEST(LzwEncoder, ClearsAfterCode4094InsteadOfAssigning4095) {
  const auto pixels = test::DistinctPairs(5000, 256);
  const auto read = ReadImageData(EncodeFrame(Kind::LZW, 8, 5000, 1, false, pixels));
  ASSERT_EQ(read.Error, "");
  EXPECT_EQ(read.Pixels, pixels);
  // Code 3838 is emitted while 4095 would be next; a clear follows at 12 bits.
  EXPECT_NE(read.Codes[3838], 256);
  EXPECT_EQ(read.Codes[3839], 256);
  EXPECT_EQ(read.Widths[3839], 12);
  EXPECT_EQ(read.Widths[3840], 9);
  EXPECT_EQ(std::count(read.Codes.begin(), read.Codes.end(), 256), 2);
  EXPECT_EQ(*std::max_element(read.Widths.begin(), read.Widths.end()), 12);
}

struct InterlaceCase {
  int Height;
  std::vector<uint8_t> StreamRows;
};

class InterlacedRows : public ::testing::TestWithParam<std::tuple<Kind, InterlaceCase>> {};

TEST_P(InterlacedRows, WalksThePassesFromNaturalOrder) {
  const auto [kind, c] = GetParam();
  std::vector<uint8_t> pixels;  // two pixels per row, both the row number
  for (int r = 0; r < c.Height; ++r) pixels.insert(pixels.end(), {uint8_t(r), uint8_t(r)});
  const auto read = ReadImageData(EncodeFrame(kind, 8, 2, c.Height, true, pixels));
  ASSERT_EQ(read.Error, "");
  std::vector<uint8_t> rows;
  for (size_t i = 0; i < read.Pixels.size(); i += 2) rows.push_back(read.Pixels[i]);
  EXPECT_EQ(rows, c.StreamRows);
}

INSTANTIATE_TEST_SUITE_P(
    Encoders, InterlacedRows,
    ::testing::Combine(::testing::Values(Kind::LZW, Kind::RLE),
                       ::testing::Values(InterlaceCase{1, {0}}, InterlaceCase{2, {0, 1}},
                                         InterlaceCase{3, {0, 2, 1}}, InterlaceCase{4, {0, 2, 1, 3}},
                                         InterlaceCase{5, {0, 4, 2, 1, 3}},
                                         InterlaceCase{9, {0, 8, 4, 2, 6, 1, 3, 5, 7}},
                                         InterlaceCase{12, {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9, 11}})),
    [](const auto& info) {
      return std::string(test::KindName(std::get<0>(info.param))) + "Height" +
             std::to_string(std::get<1>(info.param).Height);
    });

class ColorNotInTable : public ::testing::TestWithParam<std::tuple<Kind, int>> {};

TEST_P(ColorNotInTable, RaisesAndLeavesATruncatedImage) {
  const auto [kind, at] = GetParam();
  std::vector<uint8_t> pixels(3000);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 3);
  pixels[at] = 3;  // equal to the colour count of a 3-colour table
  platform::TMemoryStream out;
  std::unique_ptr<TGIFEncoder> encoder;
  if (kind == Kind::LZW)
    encoder = std::make_unique<TLZWEncoder>();
  else
    encoder = std::make_unique<TRLEEncoder>();
  try {
    encoder->Encode(out, 2, 100, 30, false, pixels.data(), 3);
    FAIL() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Color not in color table");
  }
  ASSERT_GE(out.Size(), 1);
  EXPECT_EQ(out.Memory()[0], 2);
  const auto read = ReadImageData(out.Memory(), static_cast<size_t>(out.Size()));
  EXPECT_FALSE(read.Terminated);
  EXPECT_FALSE(read.SawEnd);
  if (at == 0) {
    EXPECT_EQ(out.Size(), 1);  // only the clear code is in the bit buffer
  }
}

INSTANTIATE_TEST_SUITE_P(Encoders, ColorNotInTable,
                         ::testing::Combine(::testing::Values(Kind::LZW, Kind::RLE),
                                            ::testing::Values(0, 1, 2500)));

TEST(LzwEncoder, EmptyFrameWritesOnlyTheEndCode) {
  const auto read = ReadImageData(EncodeFrame(Kind::LZW, 8, 0, 0, false, {}));
  EXPECT_EQ(read.Codes, (std::vector<int>{257}));
  EXPECT_TRUE(read.Terminated);
}

TEST(HashTable, ProbeSequenceDoublesModulo8009) {
  EXPECT_EQ(THashTable::NextSlot(0), 8008);
  EXPECT_EQ(THashTable::NextSlot(1), 2);
  EXPECT_EQ(THashTable::NextSlot(5000), 10000 - 8009);
  for (uint32_t key = 0; key < (1u << 20); ++key)
    ASSERT_EQ(THashTable::SlotOf(key), static_cast<int32_t>((key ^ (key >> 4)) % 8009)) << key;
  for (uint32_t key : {0xFFFFFFFFu, 0x80000000u, 0x12345678u})
    EXPECT_EQ(THashTable::SlotOf(key), static_cast<int32_t>((key ^ (key >> 4)) % 8009));
}

TEST(HashTable, StoresAndFindsWhenAWholeProbeCycleIsFull) {
  // Keys whose home slot lies in the doubling cycle of slot 1 (the powers of
  // two): 4089 of them cannot all fit into its 4004 slots.
  std::vector<bool> inCycle(THashTable::SlotCount, false);
  for (int s = 1; !inCycle[s]; s = THashTable::NextSlot(s)) inCycle[s] = true;
  ASSERT_EQ(std::count(inCycle.begin(), inCycle.end(), true), 4004);
  std::vector<uint32_t> keys;
  for (uint32_t key = 0; keys.size() < 4090 && key < (1u << 20); ++key)
    if (inCycle[THashTable::SlotOf(key)]) keys.push_back(key);
  const uint32_t absent = keys.back();
  keys.pop_back();
  THashTable table;
  for (size_t i = 0; i < keys.size(); ++i) table.Store(keys[i], static_cast<int16_t>(i & 0xFFF));
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(table.Find(keys[i]), int16_t(i & 0xFFF)) << i;
  EXPECT_EQ(table.Find(absent), -1);
  table.Reset();
  EXPECT_EQ(table.Find(keys[0]), -1);
}

}  // namespace
}  // namespace gif
