#include "tests/e2e/XSession.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

pid_t SpawnWith(const std::vector<std::string>& argv, const std::string& display, const std::string& output) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      close(out);
    }
    int err = open("/dev/null", O_WRONLY);
    if (err >= 0 && output == "/dev/null") dup2(err, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

XSession::XSession(int width, int height) {
  for (int number = 90; number <= 140 && !ok_; ++number) {
    std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    struct stat st{};
    if (stat(lock.c_str(), &st) == 0) continue;
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (stat(socket.c_str(), &st) == 0) continue;
    display_ = ":" + std::to_string(number);
    xvfb_ = SpawnWith({"Xvfb", display_, "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24",
                       "-nolisten", "tcp", "-noreset"},
                      "", "/dev/null");
    // The server is up once xdpyinfo can talk to it.
    for (int i = 0; i < 100; ++i) {
      SleepMs(50);
      int status = 0;
      if (waitpid(xvfb_, &status, WNOHANG) == xvfb_) {
        xvfb_ = 0;
        break;
      }
      // Another test may have won this number a moment earlier: the
      // server is ours only when its lock file names our process.
      std::string owner = ReadFile(lock);
      if (owner.empty() || std::atoi(owner.c_str()) != xvfb_) continue;
      int rc = 1;
      Run("xdpyinfo >/dev/null 2>&1", &rc);
      if (rc == 0) {
        ok_ = true;
        break;
      }
    }
    if (!ok_ && xvfb_) {
      Stop(xvfb_);
      xvfb_ = 0;
    }
  }
  if (!ok_) {
    error_ = "no X server could be started on :90 to :140";
    return;
  }
  wm_ = SpawnWith({"openbox", "--sm-disable"}, display_, "/dev/null");
  if (!WaitForWindowManager()) {
    ok_ = false;
    error_ = "openbox did not start";
  }
}

XSession::~XSession() {
  if (wm_) Stop(wm_);
  if (xvfb_) Stop(xvfb_);
}

bool XSession::WaitForWindowManager() {
  // The manager announces itself before it manages windows; it is ready
  // once a window of ours that we map gets its WM_STATE from it.
  ::Display* dpy = nullptr;
  for (int i = 0; i < 100 && !dpy; ++i) {
    dpy = XOpenDisplay(display_.c_str());
    if (!dpy) SleepMs(50);
  }
  if (!dpy) return false;
  Atom wmState = XInternAtom(dpy, "WM_STATE", False);
  bool managed = false;
  for (int attempt = 0; attempt < 10 && !managed; ++attempt) {
    Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 10, 10, 0, 0, 0);
    XMapWindow(dpy, w);
    XSync(dpy, False);
    for (int i = 0; i < 20 && !managed; ++i) {
      Atom type;
      int format;
      unsigned long count, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy, w, wmState, 0, 2, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
              Success &&
          type != None) {
        managed = true;
      }
      if (data) XFree(data);
      if (!managed) SleepMs(25);
    }
    XDestroyWindow(dpy, w);
    XSync(dpy, False);
  }
  XCloseDisplay(dpy);
  return managed;
}

std::string XSession::Run(const std::string& command, int* status) const {
  std::string line = "DISPLAY=" + display_ + " " + command;
  FILE* pipe = popen(line.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return {};
  }
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

pid_t XSession::Spawn(const std::vector<std::string>& argv, const std::string& output) const {
  return SpawnWith(argv, display_, output);
}

int WaitForExit(pid_t pid, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    SleepMs(20);
  }
  return -1;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (WaitForExit(pid, 2000) == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

std::string ReadFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WaitForText(const std::string& file, const std::string& text, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    if (ReadFile(file).find(text) != std::string::npos) return true;
    SleepMs(20);
  }
  return false;
}

}  // namespace e2e
