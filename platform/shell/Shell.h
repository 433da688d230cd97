#pragma once
// Shell services: open a file, folder or address with the desktop's default
// action, run a command line, and the platform folder that stands for the
// Windows directory. Every program is started detached: the caller never
// waits for it and never has to reap it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/threads/Types.h"  // HWND

namespace platform {

// Show commands; Linux programs choose their own window state, so these are
// passed along for the record only.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// Results of the starters: above 32 (ShellExecute) or 31 (WinExec) is
// success, as on the platform these calls come from.
inline constexpr intptr_t SE_ERR_SUCCESS = 42;
inline constexpr intptr_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr intptr_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr intptr_t ERROR_BAD_FORMAT = 11;
inline constexpr intptr_t SE_ERR_ACCESSDENIED = 5;
inline constexpr intptr_t SE_ERR_OOM = 8;

// Opens File with its default action through the desktop's opener
// (xdg-open). Verb "open" or empty; Parameters, when given, follow the file
// as further arguments; Directory, when given, is the program's working
// folder. Never waits for the opener.
intptr_t ShellExecute(HWND Owner, const char* Verb, const char* File, const char* Parameters,
                      const char* Directory, int ShowCmd);

// Runs a command line: the first word (optionally in double quotes) is the
// program, found through PATH; the rest are its arguments, split at blanks
// with double quotes grouping. The two Windows file-manager names
// (EXPLORER, WINFILE, any case, ".exe" optional) open the rest of the line,
// taken whole as one folder even when it holds blanks, with xdg-open.
uint32_t WinExec(const char* CmdLine, uint32_t ShowCmd);

// Copies the platform folder into Buffer (Size characters with the final
// zero). Returns the length copied without the zero, or the size needed
// with the zero when Buffer is too small (Buffer then holds ""), like the
// call it stands in for.
uint32_t GetWindowsDirectory(char* Buffer, uint32_t Size);
// Tests and the demo point it elsewhere; "" restores the default, which is
// $PELLISTO_WINDOWS_DIR when set, else /usr/share/pellisto.
void SetWindowsDirectory(const std::string& Folder);

// One request that reached the starters, as it was made.
struct TShellRequest {
  enum class TKind { Execute, Exec };
  TKind Kind = TKind::Execute;
  std::string Verb, File, Parameters, Directory;  // Execute
  std::string CmdLine;                            // Exec
  int ShowCmd = 0;
  bool operator==(const TShellRequest&) const = default;
};

// While one exists, requests are recorded instead of started (tests of
// programs that use the shell; the headless window backend). Nested
// recorders: the newest one records.
class TShellRecorder {
public:
  TShellRecorder();
  ~TShellRecorder();
  TShellRecorder(const TShellRecorder&) = delete;
  TShellRecorder& operator=(const TShellRecorder&) = delete;

  std::vector<TShellRequest> Requests() const;
  void Clear();

private:
  friend struct ShellAccess;
  TShellRecorder* previous_;
  std::vector<TShellRequest> requests_;
};

// The pieces the starters are built from, for tests and other callers.
// The full path of Program found through PATH ("" if none); a name with a
// "/" is taken as it stands when it names an executable file.
std::string SearchProgram(const std::string& Program);
// Splits a command line at blanks; double quotes group and are removed.
std::vector<std::string> SplitCommandLine(const std::string& Line);
// Starts Argv[0] (a full path) detached in its own session, with Directory
// as working folder when not empty. Returns 0 when the program started,
// else the errno of the failure. Waits only for the exec, never for the
// program.
int SpawnDetached(const std::vector<std::string>& Argv, const std::string& Directory = {});

}  // namespace platform
