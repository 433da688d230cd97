#include "platform/ui/Clipbrd.h"

#include "platform/graphics/Graphic.h"
#include "platform/ui/Backend.h"

namespace platform {

TClipboard::TClipboard() { SetClipboardProvider(this); }

TClipboard::~TClipboard() {
  if (GetClipboardProvider() == this) SetClipboardProvider(nullptr);
}

void TClipboard::Open() {
  if (openCount_++ == 0) {
    pending_.clear();
    changed_ = false;
  }
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0 && changed_) {
    Backend().SetClipboard(std::move(pending_));
    pending_.clear();
    changed_ = false;
  }
}

void TClipboard::Clear() {
  if (openCount_ > 0) {
    pending_.clear();
    changed_ = true;
  } else {
    Backend().SetClipboard({});
  }
}

void TClipboard::SetClipboardData(uint16_t format, std::vector<uint8_t> data) {
  if (openCount_ > 0) {
    pending_[format] = std::move(data);
    changed_ = true;
  } else {
    Backend().SetClipboard({{format, std::move(data)}});
  }
}

bool TClipboard::GetClipboardData(uint16_t format, std::vector<uint8_t>& data) {
  if (openCount_ > 0 && changed_) {
    auto it = pending_.find(format);
    if (it == pending_.end()) return false;
    data = it->second;
    return true;
  }
  return Backend().GetClipboard(format, data);
}

bool TClipboard::HasClipboardFormat(uint16_t format) {
  for (uint16_t f : Formats())
    if (f == format) return true;
  return false;
}

std::vector<uint16_t> TClipboard::Formats() {
  if (openCount_ > 0 && changed_) {
    std::vector<uint16_t> formats;
    for (auto& [f, d] : pending_) formats.push_back(f);
    return formats;
  }
  return Backend().ClipboardFormats();
}

std::string TClipboard::AsText() {
  std::vector<uint8_t> data;
  if (!GetClipboardData(CF_TEXT, data)) return {};
  std::string text(data.begin(), data.end());
  if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

void TClipboard::SetAsText(const std::string& text) {
  SetClipboardData(CF_TEXT, std::vector<uint8_t>(text.begin(), text.end()));
}

void TClipboard::Assign(TGraphic& graphic) {
  if (graphic.Empty()) return;
  Open();
  try {
    Clear();
    uint16_t format = 0;
    std::vector<uint8_t> data;
    HPALETTE palette = nullptr;
    graphic.SaveToClipboardFormat(format, data, palette);
    if (format != 0) SetClipboardData(format, std::move(data));
    if (palette) DeleteObject(palette);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

bool TClipboard::GetPicture(TPicture& picture) {
  for (uint16_t format : Formats()) {
    if (!TPicture::SupportsClipboardFormat(format)) continue;
    std::vector<uint8_t> data;
    if (!GetClipboardData(format, data)) continue;
    picture.LoadFromClipboardFormat(format, data, nullptr);
    return true;
  }
  return false;
}

TClipboard& Clipboard() {
  static TClipboard clipboard;
  return clipboard;
}

}  // namespace platform
