#include "platform/ui/Forms.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/Dialogs.h"

namespace platform {

TApplication* Application = nullptr;

namespace {

constexpr UINT CM_RELEASE = 0xB021;

// A window's DC (GetDC) draws on its form's back buffer.
std::map<HWND, TForm*>& FormsByHandle() {
  static std::map<HWND, TForm*> forms;
  return forms;
}

void RegisterForm(HWND handle, TForm* form) {
  static bool installed = false;
  if (!installed) {
    installed = true;
    SetWindowSurfaceProvider([](HWND window) -> HBITMAP {
      auto it = FormsByHandle().find(window);
      return it == FormsByHandle().end() ? nullptr : it->second->BackBuffer().Handle();
    });
  }
  if (form) FormsByHandle()[handle] = form;
  else FormsByHandle().erase(handle);
}

int16_t LowWord(LPARAM l) { return static_cast<int16_t>(l & 0xFFFF); }
int16_t HighWord(LPARAM l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }

}  // namespace

// ---- TForm ----

TForm::TForm(TComponent* owner) : TWinControl(owner), backBuffer_(std::make_unique<TBitmap>()) {
  backBuffer_->SetPixelFormat(TPixelFormat::pf32bit);
  handle_ = AllocateHWnd([this](UINT message, WPARAM w, LPARAM l) { return WndProc(message, w, l); });
  RegisterForm(handle_, this);
  SetColor(clBtnFace);
  SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      // A destructor cannot report; the error box would need this form.
    }
  }
  if (Application && Application->MainForm() == this && HasBackend()) Backend().SetMainWindow(nullptr);
  window_.reset();
  RegisterForm(handle_, nullptr);
  DeallocateHWnd(handle_);
}

TCanvas& TForm::Canvas() { return backBuffer_->Canvas(); }

void TForm::SetBorderStyle(TFormBorderStyle value) {
  borderStyle_ = value;
  if (window_) window_->SetDecorated(value != TFormBorderStyle::bsNone);
}

void TForm::SetFormStyle(TFormStyle value) {
  formStyle_ = value;
  if (window_) window_->SetStayOnTop(value == TFormStyle::fsStayOnTop);
}

void TForm::SetBounds(int left, int top, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  TWinControl::SetBounds(left, top, width, height);
}

void TForm::BoundsChanged() {
  if (backBuffer_->Width() != Width() || backBuffer_->Height() != Height()) {
    backBuffer_->SetSize(Width(), Height());
  }
  TWinControl::BoundsChanged();
  if (window_) window_->SetBounds(Left(), Top(), Width(), Height());
  InvalidateForm();
}

void TForm::CaptionChanged() {
  if (window_) window_->SetCaption(Caption());
}

void TForm::EnsureWindow() {
  if (window_) return;
  window_ = Backend().CreateWindow(*this, ClassName());
  window_->SetCaption(Caption());
  window_->SetBounds(Left(), Top(), Width(), Height());
}

void TForm::DoCreate() {
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    else throw;
  }
}

void TForm::Show() {
  EnsureWindow();
  if (!placed_) {
    placed_ = true;
    if (position_ == TPosition::poScreenCenter) {
      int screenWidth = 0, screenHeight = 0;
      Backend().ScreenSize(screenWidth, screenHeight);
      // A form larger than the screen keeps to its top or left edge.
      SetBounds(std::max(0, (screenWidth - Width()) / 2), std::max(0, (screenHeight - Height()) / 2), Width(),
                Height());
    }
  }
  window_->SetBounds(Left(), Top(), Width(), Height());
  window_->SetDecorated(borderStyle_ != TFormBorderStyle::bsNone);
  window_->SetStayOnTop(formStyle_ == TFormStyle::fsStayOnTop);
  if (Application && Application->MainForm() == this) Backend().SetMainWindow(window_.get());
  bool first = !shown_;
  shown_ = true;
  InvalidateForm();
  window_->Show();
  if (first && OnShow) OnShow(this);
}

void TForm::Hide() {
  if (!shown_) return;
  shown_ = false;
  if (window_) window_->Hide();
}

void TForm::Close() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return;
  if (inModal_) {
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    return;
  }
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case TCloseAction::caMinimize:
      if (window_) window_->Minimize();
      break;
    case TCloseAction::caFree:
      Hide();
      PostMessage(handle_, CM_RELEASE, 0, 0);
      break;
    default:
      Hide();
      break;
  }
}

TModalResult TForm::ShowModal() {
  inModal_ = true;
  modalResult_ = mrNone;
  Show();
  while (modalResult_ == mrNone) {
    MSG msg;
    if (!GetMessage(msg, nullptr, 0, 0)) {
      // The program ends: leave the quit for the outer loop too.
      PostQuitMessage(static_cast<int>(msg.wParam));
      modalResult_ = mrCancel;
      break;
    }
    TranslateMessage(msg);
    try {
      DispatchMessage(msg);
    } catch (...) {
      if (!Application) throw;
      Application->HandleException(std::current_exception());
    }
  }
  inModal_ = false;
  Hide();
  return modalResult_;
}

void TForm::InvalidateRect(const TRect& r) {
  TRect clipped;
  if (!IntersectRect(clipped, r, ClientRect())) return;
  UnionRect(invalid_, invalid_, clipped);
  if (!paintPosted_) {
    paintPosted_ = true;
    PostMessage(handle_, WM_PAINT, 0, 0);
  }
}

void TForm::UpdateForm() {
  if (invalid_.IsEmpty()) return;
  TRect r = invalid_;
  invalid_ = {};
  PaintRect(r);
  Present(r);
}

void TForm::Paint() {
  TCanvas& canvas = Canvas();
  canvas.Brush().SetStyle(TBrushStyle::bsSolid);
  canvas.Brush().SetColor(Color());
  canvas.FillRect(painting_);
  if (OnPaint) {
    HDC dc = canvas.Handle();
    int saved = SaveDC(dc);
    IntersectClipRect(dc, painting_.Left, painting_.Top, painting_.Right, painting_.Bottom);
    try {
      OnPaint(this);
    } catch (...) {
      RestoreDC(dc, saved);
      throw;
    }
    RestoreDC(dc, saved);
  }
}

void TForm::PaintRect(const TRect& r) {
  if (!IntersectRect(painting_, r, ClientRect())) return;
  Paint();
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* control = Controls(i);
    if (!control->Visible()) continue;
    if (auto* graphic = dynamic_cast<TGraphicControl*>(control)) graphic->PaintOnto(*backBuffer_, painting_);
  }
}

void TForm::Present(const TRect& r) {
  if (!window_ || !shown_) return;
  int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  presentBuffer_.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = std::max(0, r.Top); y < std::min(h, r.Bottom); ++y) {
    const auto* row = static_cast<const uint32_t*>(backBuffer_->ScanLine(y));
    std::memcpy(presentBuffer_.data() + static_cast<size_t>(y) * w, row, static_cast<size_t>(w) * 4);
  }
  window_->Present(TPixelView{presentBuffer_.data(), w, h, w}, r.Left, r.Top, r.Right, r.Bottom);
}

void TForm::BackendExpose(int left, int top, int right, int bottom) { InvalidateRect(Rect(left, top, right, bottom)); }

void TForm::SaveToBitmapFile(const std::string& fileName) {
  PaintAll();
  TBitmap copy;
  copy.Assign(backBuffer_.get());
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  copy.SaveToFile(fileName);
}

void TForm::ForgetControl(TControl* control) {
  if (hover_ == control) hover_ = nullptr;
  if (captured_ == control) captured_ = nullptr;
}

void TForm::SetHover(TControl* control) {
  if (control == hover_) return;
  TControl* old = hover_;
  hover_ = control;
  if (old) old->MouseLeave();
  if (hover_) hover_->MouseEnter();
  ShowCursor();
}

void TForm::ShowCursor() {
  if (!window_) return;
  window_->SetCursor(hover_ && hover_->Cursor() != crDefault ? hover_->Cursor() : Cursor());
}

void TForm::CursorChanged(TControl* control) {
  if (control == this || control == hover_) ShowCursor();
}

void TForm::MouseAt(UINT message, int x, int y) {
  TPoint p{x, y};
  TMouseButton button = message == WM_RBUTTONDOWN || message == WM_RBUTTONUP ? TMouseButton::mbRight
                        : message == WM_MBUTTONDOWN || message == WM_MBUTTONUP ? TMouseButton::mbMiddle
                                                                               : TMouseButton::mbLeft;
  switch (message) {
    case WM_MOUSEMOVE:
      SetHover(ControlAtPos(p));
      if (TControl* c = captured_ ? captured_ : hover_) c->MouseMove(x - c->Left(), y - c->Top());
      else TControl::MouseMove(x, y);
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      SetHover(ControlAtPos(p));
      TControl* c = hover_;
      captured_ = c;
      if (c) c->MouseDown(button, x - c->Left(), y - c->Top());
      else TControl::MouseDown(button, x, y);
      break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      TControl* c = captured_;
      captured_ = nullptr;
      if (!c) {
        TControl::MouseUp(button, x, y);
        break;
      }
      TPoint local{x - c->Left(), y - c->Top()};
      c->MouseUp(button, local.X, local.Y);
      // A click is a press and a release inside the same control.
      if (button == TMouseButton::mbLeft && c->ClientRect().Contains(local) && c->Parent() == this) c->Click();
      break;
    }
  }
}

LRESULT TForm::WndProc(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT:
      paintPosted_ = false;
      UpdateForm();
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      MouseAt(message, LowWord(l), HighWord(l));
      return 0;
    case WM_MOUSELEAVE:
      if (!captured_) SetHover(nullptr);
      return 0;
    case WM_KEYDOWN:
      if (OnKeyDown) {
        uint16_t key = static_cast<uint16_t>(w);
        OnKeyDown(this, key);
      }
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case CM_RELEASE:
      delete this;
      return 0;
    default:
      return 0;
  }
}

// ---- TApplication ----

namespace {

std::string DefaultTitle() {
  std::string name = ExtractFileName(ProgramPath());
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  for (size_t i = 1; i < name.size(); ++i)
    if (name[i] >= 'A' && name[i] <= 'Z') name[i] = static_cast<char>(name[i] - 'A' + 'a');
  return name;
}

}  // namespace

TApplication::TApplication() : TComponent(nullptr), title_(DefaultTitle()) {
  Application = this;
  Clipboard();  // pictures reach the clipboard through the graphics layer
  if (HasBackend()) Backend().SetApplicationTitle(title_);
}

TApplication::~TApplication() {
  // Forms go first: they hold windows of the backend.
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  mainForm_ = nullptr;
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() { Backend().SetApplicationTitle(title_); }

void TApplication::SetTitle(const std::string& value) {
  title_ = value;
  if (HasBackend()) Backend().SetApplicationTitle(title_);
}

void TApplication::AddForm(TForm* form) {
  form->DoCreate();
  if (!mainForm_) mainForm_ = form;
}

void TApplication::Run() {
  if (mainForm_) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

bool TApplication::Dispatch(MSG& msg) {
  try {
    TranslateMessage(msg);
    DispatchMessage(msg);
  } catch (...) {
    HandleException(std::current_exception());
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      break;
    }
    Dispatch(msg);
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!GetMessage(msg, nullptr, 0, 0)) {
    terminated_ = true;
    return;
  }
  Dispatch(msg);
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    // The silent exception.
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowException(Exception("Unknown error"));
  }
}

void TApplication::ShowException(const std::exception& error) {
  auto* own = dynamic_cast<const Exception*>(&error);
  std::string text = ExceptionMessageText(own ? own->Message : std::string(error.what()));
  MessageBox(text, nullptr, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const std::string& text, const char* caption, unsigned flags) {
  return platform::MessageBox(nullptr, text.c_str(), caption ? caption : title_.c_str(), flags);
}

std::string ExceptionMessageText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace platform
