#pragma once
// The headless window backend: forms without a display, for tests and for
// rendering forms to files. Windows only keep their state; the pixels stay
// in the forms' back buffers. The desktop is simulated: the application's
// owner window and any window a test adds can be found, restored, raised
// and activated, and every such call is recorded. Dialogs are recorded and
// answered with their first button; the clipboard lives in the process.

#include <string>
#include <vector>

#include "platform/ui/Backend.h"

namespace platform {

class TForm;

class THeadlessBackend : public TWindowBackend {
public:
  THeadlessBackend();
  ~THeadlessBackend() override;

  const char* Name() const override { return "headless"; }
  std::unique_ptr<TBackendWindow> CreateWindow(TWindowSink& Sink, const std::string& ClassName) override;
  void ScreenSize(int& Width, int& Height) override;
  void SetApplicationTitle(const std::string& Title) override;
  void SetMainWindow(TBackendWindow* Window) override { main_ = Window; }

  HWND FindWindow(const char* ClassName, const char* WindowName) override;
  bool IsIconic(HWND Window) override;
  bool ShowWindow(HWND Window, int ShowCmd) override;
  bool BringWindowToTop(HWND Window) override;
  bool SetForegroundWindow(HWND Window) override;

  void SetClipboard(TClipboardData Formats) override { clipboard_ = std::move(Formats); }
  bool GetClipboard(uint16_t Format, std::vector<uint8_t>& Data) override;
  std::vector<uint16_t> ClipboardFormats() override;

  std::optional<int> AnswerDialog(const TDialogRequest& Request) override;

  // ---- The simulated desktop ----
  struct TDesktopWindow {
    uint64_t Native = 0;
    std::string ClassName, Caption;
    bool Iconic = false, Visible = true;
  };
  // Another program's top-level window; returns its handle.
  HWND AddDesktopWindow(const std::string& ClassName, const std::string& Caption, bool Iconic = false);
  const TDesktopWindow* DesktopWindow(HWND Window) const;
  // Calls of the window services, as "IsIconic", "ShowWindow 9",
  // "BringWindowToTop", "SetForegroundWindow", in order.
  const std::vector<std::string>& DesktopCalls() const { return calls_; }
  // The handle of the foreground window after SetForegroundWindow.
  HWND Foreground() const { return foreground_; }

  const std::vector<TDialogRequest>& Dialogs() const { return dialogs_; }
  void ClearDialogs() { dialogs_.clear(); }

  // State of the windows the forms asked for.
  struct TWindowState {
    std::string ClassName, Caption;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Decorated = true, StayOnTop = false, Visible = false, Iconic = false;
    TCursor Cursor = crDefault;
    int Presents = 0;  // how often pixels were shown
  };
  const TWindowState* WindowState(const TBackendWindow* Window) const;
  std::vector<const TWindowState*> Windows() const;

private:
  friend class THeadlessWindow;
  TDesktopWindow* Find(HWND Window);

  uint64_t nextNative_ = 0x1000;
  uint64_t ownerNative_ = 0;  // the application's owner window
  std::vector<TDesktopWindow> desktop_;
  std::vector<std::string> calls_;
  HWND foreground_ = nullptr;
  std::vector<TDialogRequest> dialogs_;
  TClipboardData clipboard_;
  std::vector<class THeadlessWindow*> windows_;
  TBackendWindow* main_ = nullptr;
};

// The headless backend in use (chosen now if no backend is chosen yet).
THeadlessBackend& UseHeadlessBackend();

// Input for a form shown by the headless backend, in client coordinates;
// the messages are posted, so run the loop (Application->ProcessMessages)
// to deliver them. Click is a press and a release at the same point.
void HeadlessMouseMove(TForm& Form, int X, int Y);
void HeadlessMouseDown(TForm& Form, int X, int Y);
void HeadlessMouseUp(TForm& Form, int X, int Y);
void HeadlessMouseLeave(TForm& Form);
void HeadlessClick(TForm& Form, int X, int Y);
// The window manager's close request.
void HeadlessCloseRequest(TForm& Form);

}  // namespace platform
