#include "platform/rtl/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/rtl/Exceptions.h"

namespace platform {

int64_t TStream::Size() {
  const int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* Buffer, int32_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int32_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  constexpr int32_t kChunk = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, kChunk)));
  int64_t left = Count;
  while (left > 0) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

// --- TMemoryStream ---

int32_t TMemoryStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0 || position_ >= Size()) return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(Count, Size() - position_));
  std::memcpy(Buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = position_ + Count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, Buffer, static_cast<size_t>(Count));
  position_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  if (Origin == TSeekOrigin::soCurrent) base = position_;
  if (Origin == TSeekOrigin::soEnd) base = Size();
  // Past the end is allowed (a later write fills the gap); before the start is not.
  position_ = std::max<int64_t>(0, base + Offset);
  return position_;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, NewSize)));
  position_ = std::min(position_, Size());
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  const int64_t size = Stream.Size();
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (size > 0) Stream.ReadBuffer(data.data(), static_cast<int32_t>(size));
  data_ = std::move(data);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) const {
  if (!data_.empty()) Stream.WriteBuffer(data_.data(), static_cast<int32_t>(data_.size()));
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& FileName) const {
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

// --- TFileStream ---

TFileStream::TFileStream(const std::string& FileName, uint32_t Mode) : file_name_(FileName) {
  if (Mode == fmCreate) {
    fd_ = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
      throw EFCreateError(Format("Cannot create file \"%s\". %s", FileName.c_str(), std::strerror(errno)));
    return;
  }
  int flags = O_RDONLY;
  if ((Mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((Mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  fd_ = ::open(FileName.c_str(), flags | O_CLOEXEC);
  struct stat info {};
  if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode))) {
    ::close(fd_);
    fd_ = -1;
    errno = EISDIR;
  }
  if (fd_ < 0)
    throw EFOpenError(Format("Cannot open file \"%s\". %s", FileName.c_str(), std::strerror(errno)));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int32_t TFileStream::Read(void* Buffer, int32_t Count) {
  int32_t done = 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::read(fd_, out + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TFileStream::Write(const void* Buffer, int32_t Count) {
  int32_t done = 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  while (done < Count) {
    const ssize_t n = ::write(fd_, in + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  const off_t result = ::lseek(fd_, Offset, kWhence[static_cast<int>(Origin)]);
  return result < 0 ? -1 : result;
}

void TFileStream::SetSize(int64_t NewSize) {
  if (::ftruncate(fd_, NewSize) != 0) throw EStreamError("Stream size cannot be changed");
  if (Position() > NewSize) SetPosition(NewSize);
}

}  // namespace platform
