// pellisto: the launcher menu for the folder that holds this program.
// Command-line arguments are ignored.

#include "app/Launcher.h"
#include "platform/ui/Backend.h"

#ifdef PELLISTO_WITH_GIF
#include "gif/picture/Settings.h"
#endif

int main() {
#ifdef PELLISTO_WITH_GIF
  // Before any window: the picture may be a GIF.
  gif::GIFModuleStartup();
#endif
  int code = launcher::RunLauncher();
#ifdef PELLISTO_WITH_GIF
  gif::GIFModuleShutdown();
#endif
  platform::ResetBackend();
  return code;
}
