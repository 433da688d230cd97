#include "platform/rtl/Files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "platform/rtl/SysUtils.h"

namespace platform {

namespace {

std::mutex pathLock;
std::string pathOverride;

std::string ReadOwnPath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string ProgramPath() {
  std::lock_guard guard(pathLock);
  if (!pathOverride.empty()) return pathOverride;
  return ReadOwnPath();
}

void SetProgramPath(std::string path) {
  std::lock_guard guard(pathLock);
  pathOverride = std::move(path);
}

std::string ProgramFolder() { return ExtractFilePath(ProgramPath()); }

bool FileExists(const std::string& fileName) {
  struct stat info;
  return !fileName.empty() && stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct TFindState {
  DIR* dir = nullptr;
  std::string folder;   // ends in "/"
  std::string pattern;  // empty: every name
  int32_t excluded = 0;

  ~TFindState() {
    if (dir) closedir(dir);
  }
};

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() = default;
TSearchRec::TSearchRec(TSearchRec&&) noexcept = default;
TSearchRec& TSearchRec::operator=(TSearchRec&&) noexcept = default;

namespace {

int32_t AttributesOf(const std::string& fullName, const std::string& name, int64_t& size) {
  int32_t attr = 0;
  size = 0;
  struct stat info;
  // Follow links as a Windows user would see their targets; a dangling link
  // is shown as an empty file.
  if (stat(fullName.c_str(), &info) == 0 || lstat(fullName.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode))
      attr |= faDirectory;
    else if (S_ISREG(info.st_mode))
      size = info.st_size;
    else if (!S_ISLNK(info.st_mode))
      attr |= faSysFile;
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  }
  if (name.size() > 0 && name[0] == '.' && name != "." && name != "..") attr |= faHidden;
  return attr;
}

// Reads entries until one matches; fills F and returns 0, or
// FindNoMoreFiles.
int NextMatch(TSearchRec& F) {
  TFindState& state = *F.FindHandle;
  while (dirent* entry = readdir(state.dir)) {
    const std::string name = entry->d_name;
    if (!state.pattern.empty() && fnmatch(state.pattern.c_str(), name.c_str(), FNM_CASEFOLD) != 0)
      continue;
    int64_t size = 0;
    const int32_t attr = AttributesOf(state.folder + name, name, size);
    if (attr & state.excluded) continue;
    F.Name = name;
    F.Attr = attr;
    F.Size = size;
    return 0;
  }
  return FindNoMoreFiles;
}

}  // namespace

int FindFirst(const std::string& Path, int32_t Attr, TSearchRec& F) {
  FindClose(F);
  auto state = std::make_unique<TFindState>();
  state->folder = ExtractFilePath(Path);
  std::string pattern = ExtractFileName(Path);
  if (pattern == "*.*" || pattern == "*") pattern.clear();
  state->pattern = pattern;
  state->excluded = ~Attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  state->dir = opendir(state->folder.empty() ? "." : state->folder.c_str());
  if (!state->dir) return FindPathNotFound;
  F.FindHandle = std::move(state);
  if (NextMatch(F) != 0) {
    FindClose(F);
    return FindFileNotFound;
  }
  return 0;
}

int FindNext(TSearchRec& F) {
  if (!F.FindHandle) return FindNoMoreFiles;
  return NextMatch(F);
}

void FindClose(TSearchRec& F) { F.FindHandle.reset(); }

}  // namespace platform
