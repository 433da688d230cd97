#pragma once
// The program's own location, existence tests and folder listing in the
// FindFirst/FindNext style.

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The program's full path (from /proc/self/exe unless overridden).
std::string ProgramPath();
// Tests pose as a program elsewhere; an empty path restores the real one.
void SetProgramPath(std::string path);
// The folder part of ProgramPath(), ending in "/".
std::string ProgramFolder();

bool FileExists(const std::string& fileName);  // regular files only
bool DirectoryExists(const std::string& path);

// Entry attributes.
inline constexpr int32_t faReadOnly = 0x01;   // nobody may write it
inline constexpr int32_t faHidden = 0x02;     // name starts with "." ("." and ".." excepted)
inline constexpr int32_t faSysFile = 0x04;    // neither a regular file nor a folder
inline constexpr int32_t faVolumeID = 0x08;   // never set here
inline constexpr int32_t faDirectory = 0x10;
inline constexpr int32_t faArchive = 0x20;    // never set here
inline constexpr int32_t faAnyFile = 0x3F;

// FindFirst / FindNext results other than 0, with the values of the Windows
// error codes (named apart from the shell's error constants).
inline constexpr int FindFileNotFound = 2;
inline constexpr int FindPathNotFound = 3;
inline constexpr int FindNoMoreFiles = 18;

struct TFindState;

struct TSearchRec {
  std::string Name;
  int32_t Attr = 0;
  int64_t Size = 0;

  TSearchRec();
  ~TSearchRec();  // closes an unfinished search
  TSearchRec(TSearchRec&&) noexcept;
  TSearchRec& operator=(TSearchRec&&) noexcept;

  std::unique_ptr<TFindState> FindHandle;
};

// Path is a folder followed by a name pattern ("*" and "?"; "*.*" matches
// every name, as does "*"), e.g. "/cd/data/*.*". Entries come in the order
// the file system lists them, "." and ".." included. Hidden, system and
// folder entries are skipped unless Attr admits them. Returns 0 when F holds
// an entry, otherwise one of the codes above.
int FindFirst(const std::string& Path, int32_t Attr, TSearchRec& F);
int FindNext(TSearchRec& F);
void FindClose(TSearchRec& F);

}  // namespace platform
