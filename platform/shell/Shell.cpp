#include "platform/shell/Shell.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/rtl/SysUtils.h"

namespace platform {

struct ShellAccess {
  static void Add(TShellRecorder& recorder, const TShellRequest& request) {
    recorder.requests_.push_back(request);
  }
};

namespace {

std::mutex& ShellLock() {
  static std::mutex lock;
  return lock;
}

TShellRecorder* currentRecorder = nullptr;
std::string windowsDirectory;  // "" = default

bool IsExecutableFile(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Records Request when a recorder is active; true means "do not start".
bool Record(const TShellRequest& request) {
  std::lock_guard guard(ShellLock());
  if (!currentRecorder) return false;
  ShellAccess::Add(*currentRecorder, request);
  return true;
}

bool IsFileManagerName(std::string word) {
  word = LowerCase(word);
  if (word.size() > 4 && word.compare(word.size() - 4, 4, ".exe") == 0) word.resize(word.size() - 4);
  return word == "explorer" || word == "winfile";
}

// Closes every descriptor from first on except keep; runs between fork and exec.
void CloseDescriptorsFrom(int first, int keep) {
#ifdef SYS_close_range
  if (keep >= first) {
    if (keep > first) syscall(SYS_close_range, first, keep - 1, 0);
    if (syscall(SYS_close_range, keep + 1, ~0U, 0) == 0) return;
  } else if (syscall(SYS_close_range, first, ~0U, 0) == 0) {
    return;
  }
#endif
  long limit = sysconf(_SC_OPEN_MAX);
  if (limit < 0 || limit > 65536) limit = 65536;
  for (int fd = first; fd < limit; ++fd)
    if (fd != keep) close(fd);
}

}  // namespace

TShellRecorder::TShellRecorder() {
  std::lock_guard guard(ShellLock());
  previous_ = currentRecorder;
  currentRecorder = this;
}

TShellRecorder::~TShellRecorder() {
  std::lock_guard guard(ShellLock());
  currentRecorder = previous_;
}

std::vector<TShellRequest> TShellRecorder::Requests() const {
  std::lock_guard guard(ShellLock());
  return requests_;
}

void TShellRecorder::Clear() {
  std::lock_guard guard(ShellLock());
  requests_.clear();
}

std::string SearchProgram(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";  // an empty PATH element is the current folder
    std::string candidate = dir + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

int SpawnDetached(const std::vector<std::string>& argvStrings, const std::string& directory) {
  if (argvStrings.empty()) return ENOENT;
  // Everything the children need is prepared here: after fork only
  // async-signal-safe calls are made.
  std::vector<char*> argv;
  for (const auto& a : argvStrings) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const char* dir = directory.empty() ? nullptr : directory.c_str();

  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0) return errno;

  pid_t child = fork();
  if (child < 0) {
    int error = errno;
    close(errorPipe[0]);
    close(errorPipe[1]);
    return error;
  }
  if (child == 0) {
    // The middle process: a new session, then the grandchild, then leave,
    // so the program is adopted by init and never becomes our zombie.
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) {
      if (grandchild < 0) {
        int error = errno;
        (void)!write(errorPipe[1], &error, sizeof error);
      }
      _exit(0);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0 && devNull != 0) {
      dup2(devNull, 0);
      close(devNull);
    }
    CloseDescriptorsFrom(3, errorPipe[1]);
    if (dir && chdir(dir) != 0) {
      int error = errno;
      (void)!write(errorPipe[1], &error, sizeof error);
      _exit(127);
    }
    execv(argv[0], argv.data());
    int error = errno;
    (void)!write(errorPipe[1], &error, sizeof error);
    _exit(127);
  }
  close(errorPipe[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  do {
    got = read(errorPipe[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(errorPipe[0]);
  return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

namespace {

intptr_t ShellResult(int error) {
  switch (error) {
    case 0: return SE_ERR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: return SE_ERR_ACCESSDENIED;
    case ENOEXEC: return ERROR_BAD_FORMAT;
    case ENOMEM: return SE_ERR_OOM;
    default: return 0;
  }
}

}  // namespace

intptr_t ShellExecute(HWND, const char* verb, const char* file, const char* parameters,
                      const char* directory, int showCmd) {
  TShellRequest request;
  request.Kind = TShellRequest::TKind::Execute;
  request.Verb = verb ? verb : "";
  request.File = file ? file : "";
  request.Parameters = parameters ? parameters : "";
  request.Directory = directory ? directory : "";
  request.ShowCmd = showCmd;
  if (Record(request)) return SE_ERR_SUCCESS;

  if (request.File.empty()) return ERROR_FILE_NOT_FOUND;
  std::string action = LowerCase(request.Verb);
  if (!action.empty() && action != "open" && action != "explore") return 31;  // no association

  // With parameters an executable file is run itself; everything else
  // goes to the desktop's opener, which alone knows the default actions.
  if (!request.Parameters.empty() && IsExecutableFile(request.File)) {
    std::vector<std::string> argv{request.File};
    for (auto& word : SplitCommandLine(request.Parameters)) argv.push_back(std::move(word));
    return ShellResult(SpawnDetached(argv, request.Directory));
  }
  std::string opener = SearchProgram("xdg-open");
  if (opener.empty()) return ERROR_FILE_NOT_FOUND;
  return ShellResult(SpawnDetached({opener, request.File}, request.Directory));
}

uint32_t WinExec(const char* cmdLine, uint32_t showCmd) {
  TShellRequest request;
  request.Kind = TShellRequest::TKind::Exec;
  request.CmdLine = cmdLine ? cmdLine : "";
  request.ShowCmd = static_cast<int>(showCmd);
  if (Record(request)) return 33;

  const std::string& line = request.CmdLine;
  size_t pos = line.find_first_not_of(" \t");
  if (pos == std::string::npos) return ERROR_FILE_NOT_FOUND;
  std::string word;
  if (line[pos] == '"') {
    size_t close = line.find('"', pos + 1);
    if (close == std::string::npos) close = line.size();
    word = line.substr(pos + 1, close - pos - 1);
    pos = close < line.size() ? close + 1 : close;
  } else {
    size_t end = line.find_first_of(" \t", pos);
    if (end == std::string::npos) end = line.size();
    word = line.substr(pos, end - pos);
    pos = end;
  }
  size_t restStart = line.find_first_not_of(" \t", pos);
  std::string rest = restStart == std::string::npos ? std::string() : line.substr(restStart);

  std::vector<std::string> argv;
  if (IsFileManagerName(word)) {
    // The file manager takes the rest of the line whole as its folder.
    std::string opener = SearchProgram("xdg-open");
    if (opener.empty()) return ERROR_FILE_NOT_FOUND;
    if (rest.empty()) {
      const char* home = std::getenv("HOME");
      rest = home && *home ? home : "/";
    }
    argv = {opener, rest};
  } else {
    std::string program = SearchProgram(word);
    if (program.empty() && word.size() > 4 && LowerCase(word.substr(word.size() - 4)) == ".exe")
      program = SearchProgram(word.substr(0, word.size() - 4));
    if (program.empty()) return ERROR_FILE_NOT_FOUND;
    argv.push_back(program);
    for (auto& w : SplitCommandLine(rest)) argv.push_back(std::move(w));
  }
  int error = SpawnDetached(argv);
  if (error == 0) return 33;
  intptr_t result = ShellResult(error);
  return static_cast<uint32_t>(result == SE_ERR_SUCCESS ? 0 : result);
}

uint32_t GetWindowsDirectory(char* buffer, uint32_t size) {
  std::string folder;
  {
    std::lock_guard guard(ShellLock());
    folder = windowsDirectory;
  }
  if (folder.empty()) {
    const char* env = std::getenv("PELLISTO_WINDOWS_DIR");
    folder = env && *env ? env : "/usr/share/pellisto";
  }
  if (!buffer || size < folder.size() + 1) {
    if (buffer && size > 0) buffer[0] = '\0';
    return static_cast<uint32_t>(folder.size() + 1);
  }
  std::memcpy(buffer, folder.c_str(), folder.size() + 1);
  return static_cast<uint32_t>(folder.size());
}

void SetWindowsDirectory(const std::string& folder) {
  std::lock_guard guard(ShellLock());
  windowsDirectory = folder;
}

}  // namespace platform
