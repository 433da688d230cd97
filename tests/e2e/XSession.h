#pragma once
// A private X display for end-to-end tests: Xvfb on the first free display
// number from :90 to :140 (no TCP), with openbox as the window manager.
// Both are started by the test and killed when the session ends.

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

class XSession {
public:
  XSession(int width = 1024, int height = 768);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  bool Ok() const { return ok_; }
  const std::string& Display() const { return display_; }
  const std::string& Error() const { return error_; }

  // Runs a shell command line with DISPLAY set; returns its standard output.
  std::string Run(const std::string& command, int* status = nullptr) const;
  // Starts a program with DISPLAY set; its standard output goes to Output.
  pid_t Spawn(const std::vector<std::string>& argv, const std::string& output = "/dev/null") const;

private:
  bool WaitForWindowManager();

  bool ok_ = false;
  std::string display_, error_;
  pid_t xvfb_ = 0, wm_ = 0;
};

// Waits until pid ends (at most timeoutMs); its exit code, or -1.
int WaitForExit(pid_t pid, int timeoutMs);
// Kills pid and reaps it.
void Stop(pid_t pid);
// Waits until File holds a line that contains Text.
bool WaitForText(const std::string& file, const std::string& text, int timeoutMs = 10000);
std::string ReadFile(const std::string& file);

}  // namespace e2e
