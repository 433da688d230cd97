#include "app/Launcher.h"

#include "app/Unit1.h"
#include "platform/shell/WindowServices.h"
#include "platform/ui/Forms.h"

namespace launcher {

using namespace platform;

int RunLauncher() {
  // Not atomic with the title being set below: two copies started at the
  // same moment may both run.
  if (HWND running = FindWindow("TApplication", ApplicationTitle)) {
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    else BringWindowToTop(running);
    SetForegroundWindow(running);
    return 0;
  }
  {
    TApplication application;
    application.Initialize();
    application.SetTitle(ApplicationTitle);
    application.CreateForm(Form1);
    application.Run();
  }
  Form1 = nullptr;  // freed with the application
  return 0;
}

}  // namespace launcher
