// Start-up and shut-down of the GIF module: the registration with the
// picture system, the screen test, and freeing the shared objects.

#include "gif/decode/Extensions.h"
#include "gif/picture/GIFImage.h"
#include "gif/picture/Settings.h"
#include "gif/render/DIB.h"
#include "gif/render/RenderPool.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Graphic.h"
#include "platform/rtl/SysUtils.h"

namespace gif {

namespace {

constexpr char kFormatName[] = "GIF Image";
int g_nesting = 0;

}  // namespace

void GIFModuleStartup() {
  if (g_nesting++ > 0) return;
  const std::string description = kFormatName;
  platform::TPicture::RegisterFileFormat("gif", description, platform::GraphicClassOf<TGIFImage>("TGIFImage"));
  GIFClipboardFormat = platform::RegisterClipboardFormat(kFormatName);
  platform::TPicture::RegisterClipboardFormat(GIFClipboardFormat, platform::GraphicClassOf<TGIFImage>("TGIFImage"));

  platform::HDC screen = platform::GetDC(nullptr);
  struct Release {
    platform::HDC dc;
    ~Release() { platform::ReleaseDC(nullptr, dc); }
  } release{screen};
  const int bits = platform::GetDeviceCaps(screen, platform::BITSPIXEL) * platform::GetDeviceCaps(screen, platform::PLANES);
  PaletteDevice = bits <= 8;
  PaletteDeviceDraw = PaletteDevice;

  if (platform::Win32Platform != platform::VER_PLATFORM_WIN32_NT) RenderThreadLimit = 1;
}

void GIFModuleShutdown() {
  if (g_nesting <= 0 || --g_nesting > 0) return;
  FreeExtensionRegistries();
  FreeRenderPool();
  platform::TPicture::UnregisterGraphicClass("TGIFImage");
  FreeEightBitTemplate();
  FreeWebPalette();
}

}  // namespace gif
