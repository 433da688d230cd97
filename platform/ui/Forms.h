#pragma once
// Forms and the application object. A form is one top-level window with a
// 32-bit back buffer of its client size: the form paints its background
// and composes its controls there, and the backend shows those pixels.
// Invalidations are gathered into one repaint, done when the loop next
// dispatches the form's WM_PAINT.

#include <exception>
#include <memory>
#include <string>

#include "platform/threads/Messages.h"
#include "platform/ui/Controls.h"

namespace platform {

class TBitmap;
class TCanvas;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum class TFormStyle { fsNormal, fsStayOnTop };
enum class TPosition { poDesigned, poScreenCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
// Key is a virtual-key code: VK_RETURN, VK_ESCAPE, VK_SPACE, 'A'..'Z', '0'..'9'.
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key)>;
inline constexpr uint16_t VK_RETURN = 0x0D;
inline constexpr uint16_t VK_ESCAPE = 0x1B;
inline constexpr uint16_t VK_SPACE = 0x20;

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

class TForm : public TWinControl, private TWindowSink {
public:
  explicit TForm(TComponent* Owner);
  ~TForm() override;
  const char* ClassName() const noexcept override { return "TForm"; }

  // The form's window handle in this process's message layer.
  HWND Handle() const { return handle_; }
  TBackendWindow* BackendWindow() const { return window_.get(); }

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle Value);
  // Switchable while the form is shown.
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle Value);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition Value) { position_ = Value; }

  // The form has no frame of its own: the window manager's decorations lie
  // outside, so the form's size is its client size.
  int ClientWidth() const override { return Width(); }
  int ClientHeight() const override { return Height(); }
  void SetClientWidth(int Value) { SetWidth(Value); }
  void SetClientHeight(int Value) { SetHeight(Value); }
  void SetBounds(int Left, int Top, int Width, int Height) override;

  // The back buffer and its canvas.
  TBitmap& BackBuffer() { return *backBuffer_; }
  TCanvas& Canvas();

  TNotifyEvent OnCreate, OnDestroy, OnShow, OnPaint;
  TCloseEvent OnClose;
  TKeyEvent OnKeyDown;

  // Runs OnCreate (the application does this after the form's reference is set).
  void DoCreate();
  // Shows the window; the first time a centred form is placed on the screen.
  void Show();
  void Hide();
  // Asks OnClose what to do; the main form's close ends the application.
  void Close();
  // Shows the form and runs the loop until ModalResult is set or the form closes.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  bool FormVisible() const { return shown_; }

  // Adds R (client coordinates) to the area to repaint; one WM_PAINT is posted.
  void InvalidateRect(const TRect& R);
  void InvalidateForm() { InvalidateRect(ClientRect()); }
  // Repaints the invalid area now and shows it.
  void UpdateForm();
  // Paints the whole form into its back buffer (no display needed).
  void PaintAll() { PaintRect(ClientRect()); }
  // Composes R anew: the background there, then every visible control
  // over it in z-order; pixels outside R stay as they are.
  void PaintRect(const TRect& R);
  // Paints the form and writes its pixels as a 24-bit BMP file.
  void SaveToBitmapFile(const std::string& FileName);

  // A control leaves the form: forget it as the hovered or captured one.
  void ForgetControl(TControl* Control);
  // A control's cursor changed: the pointer over it shows the new one.
  void CursorChanged(TControl* Control);

  // Messages of the form's window (input, paint, close).
  virtual LRESULT WndProc(UINT Message, WPARAM WParam, LPARAM LParam);

protected:
  // The background: the form's colour, then OnPaint (clipped to the part
  // being painted).
  virtual void Paint();
  void BoundsChanged() override;
  void CaptionChanged() override;

private:
  void BackendExpose(int Left, int Top, int Right, int Bottom) override;
  HWND BackendHandle() const override { return handle_; }
  void EnsureWindow();
  void Present(const TRect& R);
  void MouseAt(UINT Message, int X, int Y);
  void SetHover(TControl* Control);
  void ShowCursor();

  HWND handle_ = nullptr;
  std::unique_ptr<TBackendWindow> window_;
  std::unique_ptr<TBitmap> backBuffer_;
  std::vector<uint32_t> presentBuffer_;  // top-down copy for the backend
  TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
  TFormStyle formStyle_ = TFormStyle::fsNormal;
  TPosition position_ = TPosition::poDesigned;
  bool shown_ = false, placed_ = false, paintPosted_ = false, inModal_ = false;
  TRect invalid_{};
  TRect painting_{};  // the part PaintRect composes
  TModalResult modalResult_ = mrNone;
  TControl* hover_ = nullptr;
  TControl* captured_ = nullptr;
};

class TApplication : public TComponent {
public:
  TApplication();
  ~TApplication() override;
  const char* ClassName() const noexcept override { return "TApplication"; }

  void Initialize();
  // Before a title is set: the program's file name up to its first dot,
  // every letter but the first in lower case.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& Value);

  // Creates a form owned by the application and sets Reference before the
  // form's OnCreate runs; an exception from OnCreate is shown in the error
  // box and the form stays. The first form is the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    AddForm(form);
  }
  TForm* MainForm() const { return mainForm_; }

  // Shows the main form and runs the message loop until it closes.
  void Run();
  // Dispatches every waiting message.
  void ProcessMessages();
  // Waits for one message and dispatches it.
  void HandleMessage();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // The error box for an exception that reached the loop.
  void HandleException(std::exception_ptr Error);
  void ShowException(const std::exception& Error);
  // A message box captioned as given (the title when Caption is null).
  int MessageBox(const std::string& Text, const char* Caption, unsigned Flags);

private:
  void AddForm(TForm* Form);
  bool Dispatch(MSG& Msg);

  std::string title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The application object; exists from the construction of a TApplication
// until its destruction.
extern TApplication* Application;

// Error-box text: a period is added when the last character's code is
// above the period's (letters, digits), not after ")" or ".".
std::string ExceptionMessageText(const std::string& Message);

}  // namespace platform
