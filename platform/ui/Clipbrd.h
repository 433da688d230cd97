#pragma once
// The clipboard object over the backend's clipboard (X11: the CLIPBOARD
// selection; headless: a store in the process). Between Open and the last
// Close, formats collect and reach the backend together; outside, each
// setting replaces the whole contents. It is also the provider behind the
// graphics layer's SetClipboardData/GetClipboardData, which pictures use.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/graphics/Clipboard.h"
#include "platform/ui/Backend.h"

namespace platform {

class TGraphic;
class TPicture;

class TClipboard : public TClipboardProvider {
public:
  TClipboard();
  ~TClipboard() override;

  void Open();
  void Close();
  // Empties the clipboard (within Open: the formats collected so far).
  void Clear();

  void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) override;
  bool GetClipboardData(uint16_t Format, std::vector<uint8_t>& Data) override;
  bool HasClipboardFormat(uint16_t Format) override;
  bool HasFormat(uint16_t Format) { return HasClipboardFormat(Format); }
  std::vector<uint16_t> Formats();

  std::string AsText();
  void SetAsText(const std::string& Text);

  // Puts a picture on the clipboard in its own formats (a GIF picture adds
  // "GIF Image" to the bitmap form); nothing for an empty graphic.
  void Assign(TGraphic& Graphic);
  // Loads the first format of the clipboard that the picture system knows.
  // False when there is none.
  bool GetPicture(TPicture& Picture);

private:
  int openCount_ = 0;
  bool changed_ = false;
  TClipboardData pending_;
};

inline constexpr uint16_t CF_TEXT = 1;

// The process's clipboard; installs itself as the graphics layer's provider.
TClipboard& Clipboard();

}  // namespace platform
