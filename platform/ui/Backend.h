#pragma once
// The window backends' interface. Forms paint into their own back buffers;
// a backend only shows those pixels, turns the desktop's input into the
// forms' messages, and offers the desktop-wide services (other programs'
// windows, the clipboard). Backend events never run user code directly:
// they post messages to the form's window handle, so handlers always run
// from the message loop and may open modal loops of their own.

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/threads/Types.h"

namespace platform {

// Cursor shapes (the component library's numbers).
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crHandPoint = -21;

// Top-down rows of 32-bit pixels, 0x00RRGGBB (blue in the lowest byte).
struct TPixelView {
  const uint32_t* Pixels = nullptr;
  int Width = 0, Height = 0;
  int Stride = 0;  // in pixels
};

// What a backend reports to the form that owns a window. Only cheap
// bookkeeping happens here; input reaches the form as posted messages.
class TWindowSink {
public:
  virtual ~TWindowSink() = default;
  // The desktop needs [Left, Right) x [Top, Bottom) of the client shown again.
  virtual void BackendExpose(int Left, int Top, int Right, int Bottom) = 0;
  // The window handle that input messages are posted to.
  virtual HWND BackendHandle() const = 0;
};

class TBackendWindow {
public:
  virtual ~TBackendWindow() = default;
  virtual void SetCaption(const std::string& Caption) = 0;
  // Client area in screen coordinates.
  virtual void SetBounds(int Left, int Top, int Width, int Height) = 0;
  virtual void SetDecorated(bool Decorated) = 0;
  virtual void SetStayOnTop(bool StayOnTop) = 0;
  virtual void SetTransientFor(TBackendWindow* Owner) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Minimize() = 0;
  virtual bool IsIconic() = 0;
  // Shows the given part of the pixels; they stay the form's.
  virtual void Present(const TPixelView& Pixels, int Left, int Top, int Right, int Bottom) = 0;
  virtual void SetCursor(TCursor Cursor) = 0;
  // The desktop's handle of the window (an X window id); 0 for none.
  virtual uint64_t NativeHandle() const = 0;
};

// A message box or dialog as the program asked for it.
struct TDialogRequest {
  std::string Caption, Text;
  enum class TIcon { None, Error, Warning, Information, Question } Icon = TIcon::None;
  std::vector<std::string> Buttons;  // captions, in order
  bool operator==(const TDialogRequest&) const = default;
};

// Clipboard contents: formats in the order they were put there (readers
// take the first format they understand, as the richest comes first).
class TClipboardData {
public:
  using TEntry = std::pair<uint16_t, std::vector<uint8_t>>;
  using iterator = std::vector<TEntry>::iterator;
  using const_iterator = std::vector<TEntry>::const_iterator;

  TClipboardData() = default;
  TClipboardData(std::initializer_list<TEntry> Entries) : entries_(Entries) {}

  // The data of Format, added at the end when it is new.
  std::vector<uint8_t>& operator[](uint16_t Format) {
    auto it = find(Format);
    if (it != end()) return it->second;
    entries_.emplace_back(Format, std::vector<uint8_t>());
    return entries_.back().second;
  }
  iterator find(uint16_t Format) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (it->first == Format) return it;
    return entries_.end();
  }
  const_iterator find(uint16_t Format) const { return const_cast<TClipboardData*>(this)->find(Format); }
  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  void clear() { entries_.clear(); }

private:
  std::vector<TEntry> entries_;
};

class TWindowBackend {
public:
  virtual ~TWindowBackend() = default;
  virtual const char* Name() const = 0;

  virtual std::unique_ptr<TBackendWindow> CreateWindow(TWindowSink& Sink, const std::string& ClassName) = 0;
  virtual void ScreenSize(int& Width, int& Height) = 0;

  // The application's hidden owner window: class "TApplication", named
  // after the title, so that other programs can find the application.
  virtual void SetApplicationTitle(const std::string& Title) = 0;
  virtual void SetMainWindow(TBackendWindow* Window) = 0;

  // Top-level windows of any program on the desktop.
  virtual HWND FindWindow(const char* ClassName, const char* WindowName) = 0;
  virtual bool IsIconic(HWND Window) = 0;
  virtual bool ShowWindow(HWND Window, int ShowCmd) = 0;
  virtual bool BringWindowToTop(HWND Window) = 0;
  virtual bool SetForegroundWindow(HWND Window) = 0;

  // The clipboard, by format number. Setting replaces all formats; the
  // formats list in the order they were set.
  virtual void SetClipboard(TClipboardData Formats) = 0;
  virtual bool GetClipboard(uint16_t Format, std::vector<uint8_t>& Data) = 0;
  virtual std::vector<uint16_t> ClipboardFormats() = 0;

  // A backend that answers dialogs itself returns the pressed button's
  // index; nullopt means "show it": the caller builds a real dialog form.
  virtual std::optional<int> AnswerDialog(const TDialogRequest& Request) = 0;
};

// The backend in use. The first call chooses: the headless one when
// PELLISTO_BACKEND=headless, else X11; without a display the program
// prints "cannot open display" with the display's name and exits with 1.
TWindowBackend& Backend();
bool HasBackend();
void SetBackend(std::unique_ptr<TWindowBackend> Backend);
// Frees the backend (tests; the end of a program).
void ResetBackend();

// Handles of windows that belong to the desktop rather than to this
// process's message queues (what FindWindow returns).
HWND ForeignWindowHandle(uint64_t NativeHandle);
bool IsForeignWindowHandle(HWND Window);
uint64_t ForeignWindowNative(HWND Window);

}  // namespace platform
