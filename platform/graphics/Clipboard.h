#pragma once
// Clipboard formats and the hook through which the window layer provides the
// real clipboard. The picture classes (and the GIF module, which may not
// reach the window layer) only see these calls.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint16_t CF_BITMAP = 2;
inline constexpr uint16_t CF_DIB = 8;
inline constexpr uint16_t CF_PALETTE = 9;

// The number of a named format: the same name (in any letter case) gives the
// same number for the life of the process; numbers start at 0xC000. An empty
// name gives 0.
uint16_t RegisterClipboardFormat(const std::string& Name);
// The name a format was registered under; "" for an unknown number.
std::string GetClipboardFormatName(uint16_t Format);

// The clipboard's contents by format; the window layer installs the real one.
class TClipboardProvider {
 public:
  virtual ~TClipboardProvider() = default;
  virtual void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) = 0;  // adds a format
  virtual bool GetClipboardData(uint16_t Format, std::vector<uint8_t>& Data) = 0;  // false: absent
  virtual bool HasClipboardFormat(uint16_t Format) = 0;
};
// The provider is not owned; nullptr removes it.
void SetClipboardProvider(TClipboardProvider* Provider);
TClipboardProvider* GetClipboardProvider();

// Forward to the provider. Without one, SetClipboardData raises
// EInvalidOperation "Cannot open clipboard" and the others report nothing.
void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data);
bool GetClipboardData(uint16_t Format, std::vector<uint8_t>& Data);
bool IsClipboardFormatAvailable(uint16_t Format);

}  // namespace platform
