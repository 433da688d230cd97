#include "platform/ui/headless/HeadlessBackend.h"

#include <algorithm>

#include "platform/graphics/Gdi.h"
#include "platform/rtl/SysUtils.h"
#include "platform/threads/Messages.h"
#include "platform/ui/Forms.h"

namespace platform {

class THeadlessWindow : public TBackendWindow {
public:
  THeadlessWindow(THeadlessBackend& backend, TWindowSink& sink, const std::string& className, uint64_t native)
      : backend_(backend), sink_(sink), native_(native) {
    state_.ClassName = className;
    backend_.windows_.push_back(this);
  }
  ~THeadlessWindow() override {
    auto& list = backend_.windows_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (backend_.main_ == this) backend_.main_ = nullptr;
  }

  void SetCaption(const std::string& caption) override { state_.Caption = caption; }
  void SetBounds(int left, int top, int width, int height) override {
    state_.Left = left;
    state_.Top = top;
    state_.Width = width;
    state_.Height = height;
  }
  void SetDecorated(bool decorated) override { state_.Decorated = decorated; }
  void SetStayOnTop(bool stayOnTop) override { state_.StayOnTop = stayOnTop; }
  void SetTransientFor(TBackendWindow*) override {}
  void Show() override {
    bool first = !state_.Visible;
    state_.Visible = true;
    state_.Iconic = false;
    // A display would ask for the whole window once it is mapped.
    if (first) sink_.BackendExpose(0, 0, state_.Width, state_.Height);
  }
  void Hide() override { state_.Visible = false; }
  void Minimize() override { state_.Iconic = true; }
  bool IsIconic() override { return state_.Iconic; }
  void Present(const TPixelView&, int, int, int, int) override { ++state_.Presents; }
  void SetCursor(TCursor cursor) override { state_.Cursor = cursor; }
  uint64_t NativeHandle() const override { return native_; }

  const THeadlessBackend::TWindowState& State() const { return state_; }

private:
  THeadlessBackend& backend_;
  TWindowSink& sink_;
  uint64_t native_;
  THeadlessBackend::TWindowState state_;
};

THeadlessBackend::THeadlessBackend() {
  TDesktopWindow owner;
  owner.Native = ownerNative_ = nextNative_++;
  owner.ClassName = "TApplication";
  owner.Visible = false;
  desktop_.push_back(owner);
}

THeadlessBackend::~THeadlessBackend() = default;

std::unique_ptr<TBackendWindow> THeadlessBackend::CreateWindow(TWindowSink& sink, const std::string& className) {
  return std::make_unique<THeadlessWindow>(*this, sink, className, nextNative_++);
}

void THeadlessBackend::ScreenSize(int& width, int& height) {
  TScreenSettings settings = GetScreenSettings();
  width = settings.Width;
  height = settings.Height;
}

void THeadlessBackend::SetApplicationTitle(const std::string& title) {
  for (auto& w : desktop_)
    if (w.Native == ownerNative_) w.Caption = title;
}

HWND THeadlessBackend::AddDesktopWindow(const std::string& className, const std::string& caption, bool iconic) {
  TDesktopWindow window;
  window.Native = nextNative_++;
  window.ClassName = className;
  window.Caption = caption;
  window.Iconic = iconic;
  desktop_.push_back(window);
  return ForeignWindowHandle(window.Native);
}

THeadlessBackend::TDesktopWindow* THeadlessBackend::Find(HWND window) {
  uint64_t native = ForeignWindowNative(window);
  for (auto& w : desktop_)
    if (w.Native == native) return &w;
  return nullptr;
}

const THeadlessBackend::TDesktopWindow* THeadlessBackend::DesktopWindow(HWND window) const {
  return const_cast<THeadlessBackend*>(this)->Find(window);
}

HWND THeadlessBackend::FindWindow(const char* className, const char* windowName) {
  // Newest first, as the topmost window of a desktop would be.
  for (auto it = desktop_.rbegin(); it != desktop_.rend(); ++it) {
    if (className && !SameText(it->ClassName, className)) continue;
    if (windowName && it->Caption != windowName) continue;
    return ForeignWindowHandle(it->Native);
  }
  return nullptr;
}

bool THeadlessBackend::IsIconic(HWND window) {
  calls_.push_back("IsIconic");
  TDesktopWindow* w = Find(window);
  return w && w->Iconic;
}

bool THeadlessBackend::ShowWindow(HWND window, int showCmd) {
  calls_.push_back("ShowWindow " + std::to_string(showCmd));
  TDesktopWindow* w = Find(window);
  if (!w) return false;
  bool wasVisible = w->Visible && !w->Iconic;
  if (showCmd == 0) w->Visible = false;
  else if (showCmd == 2 || showCmd == 6 || showCmd == 7) w->Iconic = true;
  else {
    w->Visible = true;
    w->Iconic = false;
  }
  return wasVisible;
}

bool THeadlessBackend::BringWindowToTop(HWND window) {
  calls_.push_back("BringWindowToTop");
  TDesktopWindow* w = Find(window);
  if (!w) return false;
  // The end of the list is the top of the z-order.
  TDesktopWindow copy = *w;
  desktop_.erase(desktop_.begin() + (w - desktop_.data()));
  desktop_.push_back(copy);
  return true;
}

bool THeadlessBackend::SetForegroundWindow(HWND window) {
  calls_.push_back("SetForegroundWindow");
  if (!Find(window)) return false;
  foreground_ = window;
  return true;
}

bool THeadlessBackend::GetClipboard(uint16_t format, std::vector<uint8_t>& data) {
  auto it = clipboard_.find(format);
  if (it == clipboard_.end()) return false;
  data = it->second;
  return true;
}

std::vector<uint16_t> THeadlessBackend::ClipboardFormats() {
  std::vector<uint16_t> formats;
  for (auto& [format, data] : clipboard_) formats.push_back(format);
  return formats;
}

std::optional<int> THeadlessBackend::AnswerDialog(const TDialogRequest& request) {
  dialogs_.push_back(request);
  return 0;
}

const THeadlessBackend::TWindowState* THeadlessBackend::WindowState(const TBackendWindow* window) const {
  for (auto* w : windows_)
    if (w == window) return &w->State();
  return nullptr;
}

std::vector<const THeadlessBackend::TWindowState*> THeadlessBackend::Windows() const {
  std::vector<const TWindowState*> list;
  for (auto* w : windows_) list.push_back(&w->State());
  return list;
}

THeadlessBackend& UseHeadlessBackend() {
  if (!HasBackend()) SetBackend(std::make_unique<THeadlessBackend>());
  auto* headless = dynamic_cast<THeadlessBackend*>(&Backend());
  if (!headless) {
    SetBackend(std::make_unique<THeadlessBackend>());
    headless = static_cast<THeadlessBackend*>(&Backend());
  }
  return *headless;
}

namespace {
LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(x) & 0xFFFF) | ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}
}  // namespace

void HeadlessMouseMove(TForm& form, int x, int y) { PostMessage(form.Handle(), WM_MOUSEMOVE, 0, PointParam(x, y)); }
void HeadlessMouseDown(TForm& form, int x, int y) { PostMessage(form.Handle(), WM_LBUTTONDOWN, 0, PointParam(x, y)); }
void HeadlessMouseUp(TForm& form, int x, int y) { PostMessage(form.Handle(), WM_LBUTTONUP, 0, PointParam(x, y)); }
void HeadlessMouseLeave(TForm& form) { PostMessage(form.Handle(), WM_MOUSELEAVE, 0, 0); }
void HeadlessClick(TForm& form, int x, int y) {
  HeadlessMouseMove(form, x, y);
  HeadlessMouseDown(form, x, y);
  HeadlessMouseUp(form, x, y);
}
void HeadlessCloseRequest(TForm& form) { PostMessage(form.Handle(), WM_CLOSE, 0, 0); }

}  // namespace platform
