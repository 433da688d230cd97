// A small program for the end-to-end tests: it plays one side of a
// cross-process exchange (the running application, the second start, the
// clipboard owner or reader) on the real X display.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/graphics/Clipboard.h"
#include "platform/shell/WindowServices.h"
#include "platform/threads/Messages.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "tests/e2e/ProbeForm.h"

using namespace platform;

namespace {

void Serve() {
  MSG msg;
  while (GetMessage(msg, nullptr, 0, 0)) DispatchMessage(msg);
}

int Usage() {
  std::fprintf(stderr,
               "usage: pellisto-ui-probe activate TITLE | copy FILE | paste FILE | show TITLE | "
               "message TEXT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1], arg = argv[2];
  uint16_t gifFormat = RegisterClipboardFormat("GIF Image");
  if (command == "activate") {
    // The single-instance sequence of a second start.
    HWND window = FindWindow("TApplication", arg.c_str());
    if (!window) {
      std::printf("none\n");
      return 3;
    }
    if (IsIconic(window)) {
      std::printf("iconic\n");
      ShowWindow(window, SW_RESTORE);
    } else {
      std::printf("normal\n");
      BringWindowToTop(window);
    }
    SetForegroundWindow(window);
    return 0;
  }
  if (command == "copy") {
    std::ifstream in(arg, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Backend().SetClipboard({{gifFormat, bytes}});
    std::printf("ready\n");
    std::fflush(stdout);
    Serve();
    return 0;
  }
  if (command == "paste") {
    std::vector<uint8_t> bytes;
    if (!Backend().GetClipboard(gifFormat, bytes)) return 3;
    std::ofstream(arg, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    return 0;
  }
  if (command == "show") return RunProbeForm(arg);
  if (command == "message") {
    // The modal message dialog, as the launcher shows its limit message.
    TApplication application;
    application.Initialize();
    application.SetTitle("Pellisto");
    ShowMessage(arg);
    std::printf("closed\n");
    return 0;
  }
  return Usage();
}
