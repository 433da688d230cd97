#pragma once
// Byte streams: the abstract TStream with exact-transfer helpers, an in-memory
// stream and a file stream.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/Object.h"

namespace platform {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  const char* ClassName() const noexcept override { return "TStream"; }

  // Transfer up to Count bytes; return how many were transferred.
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  // Exact transfers: a short one raises EReadError "Stream read error" /
  // EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int32_t Count);
  void WriteBuffer(const void* Buffer, int32_t Count);

  // Copies Count bytes from Source's position; Count 0 copies all of Source
  // from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

class TMemoryStream : public TStream {
public:
  const char* ClassName() const noexcept override { return "TMemoryStream"; }

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t NewSize) override;

  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  void Clear();
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// Open modes: an access mode, optionally combined with a sharing mode, or fmCreate.
enum : uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

class TFileStream : public TStream {
public:
  // A file that cannot be opened raises EFOpenError, one that cannot be
  // created EFCreateError; both name the file.
  TFileStream(const std::string& FileName, uint32_t Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  const char* ClassName() const noexcept override { return "TFileStream"; }

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

  const std::string& FileName() const { return file_name_; }

private:
  std::string file_name_;
  int fd_ = -1;
};

}  // namespace platform
