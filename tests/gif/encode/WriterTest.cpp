#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "gif/encode/GIFStream.h"
#include "platform/rtl/Exceptions.h"

namespace gif {
namespace {

struct CutCase {
  const char* Name;
  std::vector<int> Writes;           // Count of each Write call
  std::vector<size_t> SizeAfter;     // target size after each Write
  std::vector<int> Blocks;           // length bytes after the writer is gone
};

class SubBlockCuts : public ::testing::TestWithParam<CutCase> {};

TEST_P(SubBlockCuts, EmitsFullBlocksAtOnceAndTheRestOnDestruction) {
  const CutCase& c = GetParam();
  platform::TMemoryStream target;
  std::vector<uint8_t> sent;
  {
    TGIFWriter writer(target);
    for (size_t i = 0; i < c.Writes.size(); ++i) {
      std::vector<uint8_t> data(c.Writes[i]);
      for (size_t j = 0; j < data.size(); ++j) data[j] = static_cast<uint8_t>((sent.size() + j) * 7);
      EXPECT_EQ(writer.Write(data.data(), c.Writes[i]), c.Writes[i]);
      sent.insert(sent.end(), data.begin(), data.end());
      if (!c.SizeAfter.empty()) {
        EXPECT_EQ(static_cast<size_t>(target.Size()), c.SizeAfter[i]) << "write " << i;
      }
    }
  }
  // Walk the blocks: lengths as expected, payload is exactly what was sent.
  std::vector<int> lengths;
  std::vector<uint8_t> payload;
  const uint8_t* p = target.Memory();
  const uint8_t* end = p + target.Size();
  while (p < end) {
    const int n = *p++;
    lengths.push_back(n);
    payload.insert(payload.end(), p, p + n);
    p += n;
  }
  EXPECT_EQ(lengths, c.Blocks);
  EXPECT_EQ(payload, sent);
}

std::vector<int> Repeat(int value, int times) { return std::vector<int>(times, value); }
std::vector<size_t> SizesOneAtATime(int count) {
  std::vector<size_t> sizes;
  for (int i = 1; i <= count; ++i) sizes.push_back(static_cast<size_t>(i / 255) * 256);
  return sizes;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, SubBlockCuts,
    ::testing::Values(CutCase{"Bytes255OneAtATime", Repeat(1, 255), SizesOneAtATime(255), {255}},
                      CutCase{"Bytes256OneAtATime", Repeat(1, 256), SizesOneAtATime(256), {255, 1}},
                      CutCase{"OneByte", {1}, {0}, {1}},
                      CutCase{"OneWriteOf600", {600}, {512}, {255, 255, 90}},
                      CutCase{"ZeroCountWrite", {0}, {0}, {}},
                      CutCase{"MixedCounts", {100, 200, 300}, {0, 256, 512}, {255, 255, 90}}),
    [](const auto& info) { return info.param.Name; });

void ExpectInvalidOperation(const std::function<void()>& call) {
  try {
    call();
    FAIL() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message, "Invalid stream operation");
  }
}

TEST(Writer, ReadSeekAndBareWriteAreInvalidOperations) {
  platform::TMemoryStream target;
  TGIFWriter writer(target);
  uint8_t byte = 0;
  ExpectInvalidOperation([&] { writer.Position(); });
  ExpectInvalidOperation([&] { writer.Size(); });
  ExpectInvalidOperation([&] { writer.Seek(0, platform::TSeekOrigin::soBeginning); });
  ExpectInvalidOperation([&] { writer.Read(&byte, 1); });
  TGIFStream bare(target);
  ExpectInvalidOperation([&] { bare.Write(&byte, 1); });
  ExpectInvalidOperation([&] { bare.Read(&byte, 1); });
  EXPECT_EQ(target.Size(), 0);
}

// Accepts writes only while Open is set.
class GatedStream : public platform::TMemoryStream {
public:
  bool Open = true;
  int32_t Write(const void* Buffer, int32_t Count) override {
    return Open ? TMemoryStream::Write(Buffer, Count) : 0;
  }
};

TEST(Writer, FailedEmitKeepsTheBlockBuffered) {
  GatedStream target;
  TGIFWriter writer(target);
  std::vector<uint8_t> data(255, 0xAB);
  target.Open = false;
  EXPECT_THROW(writer.Write(data.data(), 255), platform::EWriteError);
  EXPECT_EQ(target.Size(), 0);
  target.Open = true;
  writer.Flush();
  ASSERT_EQ(target.Size(), 256);
  EXPECT_EQ(target.Memory()[0], 255);
  EXPECT_EQ(target.Memory()[255], 0xAB);
}

TEST(Writer, DestructionAfterAFailureDoesNotThrow) {
  GatedStream target;
  auto writer = std::make_unique<TGIFWriter>(target);
  uint8_t byte = 1;
  writer->Write(&byte, 1);
  target.Open = false;
  EXPECT_NO_THROW(writer.reset());
}

}  // namespace
}  // namespace gif
