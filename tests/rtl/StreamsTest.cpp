#include "platform/rtl/Streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/rtl/Exceptions.h"

namespace {

using namespace platform;

// A stream that transfers at most Limit bytes in all, then fails.
class TFailingStream : public TMemoryStream {
public:
  explicit TFailingStream(int32_t limit) : limit_(limit) {}
  int32_t Read(void* Buffer, int32_t Count) override { return TMemoryStream::Read(Buffer, Take(Count)); }
  int32_t Write(const void* Buffer, int32_t Count) override { return TMemoryStream::Write(Buffer, Take(Count)); }

private:
  int32_t Take(int32_t count) {
    const int32_t n = std::min(count, limit_);
    limit_ -= n;
    return n;
  }
  int32_t limit_;
};

TEST(Streams, ShortTransfersRaiseStreamErrors) {
  TFailingStream writer(5);
  const char text[] = "0123456789";
  try {
    writer.WriteBuffer(text, 10);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message, "Stream write error");
  }
  EXPECT_EQ(writer.Size(), 5);

  TMemoryStream reader;
  reader.WriteBuffer(text, 4);
  reader.SetPosition(0);
  char buffer[10];
  try {
    reader.ReadBuffer(buffer, 10);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Stream read error");
    EXPECT_STREQ(e.ClassName(), "EReadError");
  }
  EXPECT_NO_THROW(reader.ReadBuffer(buffer, 0));
}

TEST(Streams, SeekOrigins) {
  TMemoryStream s;
  s.WriteBuffer("abcdefgh", 8);
  struct Case { int64_t offset; TSeekOrigin origin; int64_t expected; };
  const Case cases[] = {
      {2, TSeekOrigin::soBeginning, 2},
      {3, TSeekOrigin::soCurrent, 5},
      {-1, TSeekOrigin::soEnd, 7},
      {-4, TSeekOrigin::soCurrent, 3},
      {0, TSeekOrigin::soEnd, 8},
  };
  for (const Case& c : cases) EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected);
  char ch = 0;
  EXPECT_EQ(s.Read(&ch, 1), 0);  // at the end
  s.SetPosition(6);
  s.ReadBuffer(&ch, 1);
  EXPECT_EQ(ch, 'g');
}

TEST(Streams, CopyFromWholeAndPart) {
  TMemoryStream source;
  source.WriteBuffer("hello world", 11);
  TMemoryStream whole;
  EXPECT_EQ(whole.CopyFrom(source, 0), 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole.Memory()), 11), "hello world");
  source.SetPosition(6);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(source, 5), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(part.Memory()), 5), "world");
  source.SetPosition(8);
  EXPECT_THROW(part.CopyFrom(source, 5), EReadError);
}

TEST(Streams, FileStreamOpenCreateAndErrors) {
  const auto dir = std::filesystem::temp_directory_path() / "pellisto-streams-test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "file.bin").string();
  {
    TFileStream out(path, fmCreate);
    out.WriteBuffer("xyz", 3);
  }
  {
    TFileStream in(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(in.Size(), 3);
    char buffer[3];
    in.ReadBuffer(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
  }
  const std::string missing = (dir / "missing.bin").string();
  try {
    TFileStream in(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message.find(missing), std::string::npos) << e.Message;
  }
  // A folder is not a file.
  EXPECT_THROW(TFileStream(dir.string(), fmOpenRead), EFOpenError);
  std::filesystem::remove_all(dir);
}

}  // namespace
