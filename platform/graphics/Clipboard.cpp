#include "platform/graphics/Clipboard.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace platform {

namespace {
struct Formats {
  std::mutex mutex;
  std::vector<std::string> names;  // index i is format 0xC000 + i
};
Formats& TheFormats() {
  static Formats* f = new Formats;
  return *f;
}
std::atomic<TClipboardProvider*> gProvider{nullptr};
}  // namespace

uint16_t RegisterClipboardFormat(const std::string& Name) {
  if (Name.empty()) return 0;
  Formats& f = TheFormats();
  std::lock_guard lock(f.mutex);
  for (size_t i = 0; i < f.names.size(); ++i)
    if (SameText(f.names[i], Name)) return static_cast<uint16_t>(0xC000 + i);
  if (f.names.size() >= 0x4000) return 0;
  f.names.push_back(Name);
  return static_cast<uint16_t>(0xC000 + f.names.size() - 1);
}

std::string GetClipboardFormatName(uint16_t Format) {
  Formats& f = TheFormats();
  std::lock_guard lock(f.mutex);
  if (Format < 0xC000 || Format - 0xC000u >= f.names.size()) return "";
  return f.names[Format - 0xC000u];
}

void SetClipboardProvider(TClipboardProvider* Provider) { gProvider = Provider; }
TClipboardProvider* GetClipboardProvider() { return gProvider; }

void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) {
  TClipboardProvider* p = gProvider;
  if (!p) throw EInvalidOperation("Cannot open clipboard");
  p->SetClipboardData(Format, std::move(Data));
}

bool GetClipboardData(uint16_t Format, std::vector<uint8_t>& Data) {
  TClipboardProvider* p = gProvider;
  return p && p->GetClipboardData(Format, Data);
}

bool IsClipboardFormatAvailable(uint16_t Format) {
  TClipboardProvider* p = gProvider;
  return p && p->HasClipboardFormat(Format);
}

}  // namespace platform
