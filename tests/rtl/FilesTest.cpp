#include "platform/rtl/Files.h"

#include <dirent.h>
#include <sys/types.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace platform;

// A fresh folder removed at the end of the test.
struct TempFolder {
  std::string path;
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "pellisto-files-XXXXXX").string();
    path = mkdtemp(pattern.data());
    path += '/';
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path + "locked.txt", fs::perms::owner_all, ignored);
    fs::remove_all(path, ignored);
  }
  void File(const std::string& name, const std::string& content = "") const {
    std::ofstream(path + name, std::ios::binary) << content;
  }
};

struct Entry {
  int32_t attr;
  int64_t size;
  bool operator==(const Entry&) const = default;
};

// Names in listing order, and each entry's attributes.
std::vector<std::string> List(const std::string& pattern, int32_t attr,
                              std::map<std::string, Entry>* entries = nullptr) {
  std::vector<std::string> names;
  TSearchRec rec;
  for (int result = FindFirst(pattern, attr, rec); result == 0; result = FindNext(rec)) {
    names.push_back(rec.Name);
    if (entries) (*entries)[rec.Name] = {rec.Attr, rec.Size};
  }
  return names;
}

std::vector<std::string> RawOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = readdir(dir)) names.push_back(entry->d_name);
  closedir(dir);
  return names;
}

TEST(Files, ListingGivesEveryEntryInFileSystemOrderWithAttributes) {
  TempFolder folder;
  folder.File("setup.exe", "12345");
  folder.File(".profile", "ab");
  folder.File("archive.tar.gz");
  folder.File("locked.txt", "x");
  fs::create_directory(folder.path + "Tools");
  fs::create_directory(folder.path + ".cache");
  fs::permissions(folder.path + "locked.txt", fs::perms::owner_read | fs::perms::group_read);
  fs::create_symlink("missing-target", folder.path + "dangling");
  ASSERT_EQ(mkfifo((folder.path + "pipe").c_str(), 0644), 0);

  std::map<std::string, Entry> entries;
  EXPECT_EQ(List(folder.path + "*.*", faAnyFile, &entries), RawOrder(folder.path));
  const std::map<std::string, Entry> expected = {
      {".", {faDirectory, 0}},
      {"..", {faDirectory, 0}},
      {"setup.exe", {0, 5}},
      {".profile", {faHidden, 2}},
      {"archive.tar.gz", {0, 0}},
      {"locked.txt", {faReadOnly, 1}},
      {"Tools", {faDirectory, 0}},
      {".cache", {faDirectory | faHidden, 0}},
      {"dangling", {0, 0}},
      {"pipe", {faSysFile, 0}},
  };
  EXPECT_EQ(entries, expected);
  auto plain = List(folder.path + "*.*", 0);
  std::sort(plain.begin(), plain.end());
  EXPECT_EQ(plain, (std::vector<std::string>{"archive.tar.gz", "dangling", "locked.txt", "setup.exe"}));
}

TEST(Files, AttributeFilterAndPatterns) {
  TempFolder folder;
  folder.File("a.gif");
  folder.File("B.GIF");
  folder.File(".hidden.gif");
  folder.File("readme");
  fs::create_directory(folder.path + "sub.gif");

  struct Case { const char* pattern; int32_t attr; std::vector<std::string> names; };
  const Case cases[] = {
      {"*.*", 0, {"B.GIF", "a.gif", "readme"}},
      {"*", faHidden, {".hidden.gif", "B.GIF", "a.gif", "readme"}},
      {"*.gif", 0, {"B.GIF", "a.gif"}},
      {"*.gif", faDirectory, {"B.GIF", "a.gif", "sub.gif"}},
      {"?.gif", 0, {"B.GIF", "a.gif"}},
      {"readme", 0, {"readme"}},
      {"*.bmp", faAnyFile, {}},
  };
  for (const Case& c : cases) {
    auto names = List(folder.path + c.pattern, c.attr);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names) << c.pattern << " attr " << c.attr;
  }
}

TEST(Files, EmptyAndMissingFolders) {
  TempFolder folder;
  TSearchRec rec;
  EXPECT_EQ(FindFirst(folder.path + "*.*", 0, rec), FindFileNotFound);
  EXPECT_EQ(FindNext(rec), FindNoMoreFiles);
  auto dots = List(folder.path + "*.*", faAnyFile);
  std::sort(dots.begin(), dots.end());
  EXPECT_EQ(dots, (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(FindFirst(folder.path + "nothing/*.*", faAnyFile, rec), FindPathNotFound);
  FindClose(rec);
  FindClose(rec);  // closing twice is harmless
}

TEST(Files, ExistenceTests) {
  TempFolder folder;
  folder.File("options.ini");
  fs::create_directory(folder.path + "picture.gif");
  EXPECT_TRUE(FileExists(folder.path + "options.ini"));
  EXPECT_FALSE(FileExists(folder.path + "picture.gif")) << "a folder is not a file";
  EXPECT_FALSE(FileExists(folder.path + "missing"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(DirectoryExists(folder.path + "picture.gif"));
  EXPECT_TRUE(DirectoryExists(folder.path));
  EXPECT_FALSE(DirectoryExists(folder.path + "options.ini"));
  EXPECT_FALSE(DirectoryExists(folder.path + "missing"));
}

TEST(Files, ProgramPathAndFolder) {
  const std::string real = ProgramPath();
  EXPECT_EQ(real, fs::canonical("/proc/self/exe").string());
  EXPECT_EQ(ProgramFolder(), fs::path(real).parent_path().string() + "/");
  SetProgramPath("/media/cd/launcher");
  EXPECT_EQ(ProgramPath(), "/media/cd/launcher");
  EXPECT_EQ(ProgramFolder(), "/media/cd/");
  SetProgramPath("");
  EXPECT_EQ(ProgramPath(), real);
}

}  // namespace
