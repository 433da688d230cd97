#include "platform/ui/x11/X11Backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

#include "platform/graphics/Gdi.h"
#include "platform/graphics/Clipboard.h"  // format numbers and names
#include "platform/threads/Messages.h"

namespace platform {

namespace {

constexpr long kActivateRestore = 1;
constexpr long kActivateRaise = 2;
constexpr long kActivateForeground = 3;
constexpr int kClipboardTimeoutMs = 3000;
constexpr size_t kIncrChunk = 64 * 1024;  // pieces of a large selection transfer

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(x) & 0xFFFF) | ((static_cast<uint32_t>(y) & 0xFFFF) << 16));
}

class TX11Backend;

class TX11Window : public TBackendWindow {
public:
  TX11Window(TX11Backend& backend, TWindowSink& sink, const std::string& className);
  ~TX11Window() override;

  void SetCaption(const std::string& caption) override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetDecorated(bool decorated) override;
  void SetStayOnTop(bool stayOnTop) override;
  void SetTransientFor(TBackendWindow* owner) override;
  void Show() override;
  void Hide() override;
  void Minimize() override;
  bool IsIconic() override;
  void Present(const TPixelView& pixels, int left, int top, int right, int bottom) override;
  void SetCursor(TCursor cursor) override;
  uint64_t NativeHandle() const override { return win_; }

  TWindowSink& Sink() { return sink_; }

private:
  void WriteSizeHints();
  void WriteMotifHints();
  void WriteState();

  TX11Backend& backend_;
  TWindowSink& sink_;
  Window win_ = 0;
  bool mapped_ = false, stayOnTop_ = false, decorated_ = true;
  int left_ = 0, top_ = 0, width_ = 1, height_ = 1;
  TCursor cursor_ = crDefault;
};

class TX11Backend : public TWindowBackend {
public:
  explicit TX11Backend(Display* display);
  ~TX11Backend() override;

  const char* Name() const override { return "x11"; }
  std::unique_ptr<TBackendWindow> CreateWindow(TWindowSink& sink, const std::string& className) override {
    return std::make_unique<TX11Window>(*this, sink, className);
  }
  void ScreenSize(int& width, int& height) override {
    width = DisplayWidth(dpy_, screen_);
    height = DisplayHeight(dpy_, screen_);
  }
  void SetApplicationTitle(const std::string& title) override {
    SetName(owner_, title);
    Flush();
  }
  void SetMainWindow(TBackendWindow* window) override;

  HWND FindWindow(const char* className, const char* windowName) override;
  bool IsIconic(HWND window) override;
  bool ShowWindow(HWND window, int showCmd) override;
  bool BringWindowToTop(HWND window) override;
  bool SetForegroundWindow(HWND window) override;

  void SetClipboard(TClipboardData formats) override;
  bool GetClipboard(uint16_t format, std::vector<uint8_t>& data) override;
  std::vector<uint16_t> ClipboardFormats() override;

  std::optional<int> AnswerDialog(const TDialogRequest&) override { return std::nullopt; }

  // For the windows.
  Display* Dpy() const { return dpy_; }
  int ScreenNumber() const { return screen_; }
  Window Root() const { return root_; }
  Window Owner() const { return owner_; }
  Atom A(const char* name);
  void SetName(Window w, const std::string& name);
  void Register(Window w, TX11Window* window) { windows_[w] = window; }
  void Unregister(Window w, TX11Window* window);
  Cursor CursorFor(TCursor cursor);
  void SendRootMessage(Window about, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0, long l4 = 0);
  long ReadCardinal(Window w, Atom property, Atom type, long fallback);
  Time LastTime() const { return lastTime_; }
  // Sends what is buffered; events that Xlib already read while waiting
  // for a reply are handed to the loop, since the descriptor will not wake it.
  void Flush();

private:
  void ProcessEvents();
  void Handle(XEvent& ev);
  void HandleActivate(long command);
  void ServeSelection(const XSelectionRequestEvent& request);
  void ContinueTransfer(Window requestor, Atom property);
  bool WaitForEvent(int type, Window w, XEvent& ev, const std::function<bool(const XEvent&)>& match);
  bool ConvertSelection(Atom target, std::vector<uint8_t>& data, Atom* typeOut = nullptr);
  std::string ReadString(Window w, Atom property);
  bool ReadProperty(Window w, Atom property, bool remove, Atom& type, int& format,
                    std::vector<uint8_t>& data);
  Window MainOf(Window w);
  std::vector<uint8_t> TargetData(uint16_t format) const;

  Display* dpy_;
  int screen_;
  Window root_;
  Window owner_;
  HWND pump_ = nullptr;
  bool pumpPosted_ = false;
  Time lastTime_ = CurrentTime;
  std::map<std::string, Atom> atoms_;
  std::map<Window, TX11Window*> windows_;
  std::map<TCursor, Cursor> cursors_;
  TX11Window* main_ = nullptr;

  TClipboardData clipboard_;
  bool ownsClipboard_ = false;
  struct TTransfer {
    Window Requestor;
    Atom Property, Type;
    std::vector<uint8_t> Data;
    size_t Offset;
  };
  std::vector<TTransfer> transfers_;
};

// ---- The backend ----

TX11Backend::TX11Backend(Display* display) : dpy_(display) {
  screen_ = DefaultScreen(dpy_);
  root_ = RootWindow(dpy_, screen_);
  XSetErrorHandler(IgnoreXErrors);

  owner_ = XCreateSimpleWindow(dpy_, root_, -100, -100, 1, 1, 0, 0, 0);
  XSelectInput(dpy_, owner_, PropertyChangeMask);
  XClassHint hint;
  std::string instance = program_invocation_short_name;
  hint.res_name = instance.data();
  hint.res_class = const_cast<char*>("TApplication");
  XSetClassHint(dpy_, owner_, &hint);
  long pid = getpid();
  XChangeProperty(dpy_, owner_, A("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);

  TScreenSettings settings = GetScreenSettings();
  settings.Width = DisplayWidth(dpy_, screen_);
  settings.Height = DisplayHeight(dpy_, screen_);
  SetScreenSettings(settings);

  pump_ = AllocateHWnd([this](UINT, WPARAM, LPARAM) -> LRESULT {
    pumpPosted_ = false;
    ProcessEvents();
    return 0;
  });
  AddMainLoopDescriptor(ConnectionNumber(dpy_), [this] { ProcessEvents(); });
  Flush();
}

TX11Backend::~TX11Backend() {
  RemoveMainLoopDescriptor(ConnectionNumber(dpy_));
  DeallocateHWnd(pump_);
  for (auto& [shape, cursor] : cursors_) XFreeCursor(dpy_, cursor);
  XDestroyWindow(dpy_, owner_);
  XCloseDisplay(dpy_);
}

Atom TX11Backend::A(const char* name) {
  auto it = atoms_.find(name);
  if (it != atoms_.end()) return it->second;
  Atom atom = XInternAtom(dpy_, name, False);
  atoms_.emplace(name, atom);
  return atom;
}

void TX11Backend::SetName(Window w, const std::string& name) {
  XStoreName(dpy_, w, name.c_str());
  XChangeProperty(dpy_, w, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(name.data()), static_cast<int>(name.size()));
}

void TX11Backend::Unregister(Window w, TX11Window* window) {
  windows_.erase(w);
  if (main_ == window) {
    main_ = nullptr;
    XDeleteProperty(dpy_, owner_, A("_PELLISTO_MAIN_WINDOW"));
  }
}

void TX11Backend::SetMainWindow(TBackendWindow* window) {
  main_ = static_cast<TX11Window*>(window);
  if (main_) {
    long id = static_cast<long>(main_->NativeHandle());
    XChangeProperty(dpy_, owner_, A("_PELLISTO_MAIN_WINDOW"), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&id), 1);
  } else {
    XDeleteProperty(dpy_, owner_, A("_PELLISTO_MAIN_WINDOW"));
  }
  Flush();
}

Cursor TX11Backend::CursorFor(TCursor cursor) {
  if (cursor != crHandPoint) return None;
  auto it = cursors_.find(cursor);
  if (it != cursors_.end()) return it->second;
  Cursor c = XCreateFontCursor(dpy_, XC_hand2);
  cursors_[cursor] = c;
  return c;
}

void TX11Backend::SendRootMessage(Window about, Atom type, long l0, long l1, long l2, long l3, long l4) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = about;
  ev.xclient.message_type = type;
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = l0;
  ev.xclient.data.l[1] = l1;
  ev.xclient.data.l[2] = l2;
  ev.xclient.data.l[3] = l3;
  ev.xclient.data.l[4] = l4;
  XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

bool TX11Backend::ReadProperty(Window w, Atom property, bool remove, Atom& type, int& format,
                               std::vector<uint8_t>& data) {
  data.clear();
  long offset = 0;
  for (;;) {
    unsigned long count = 0, after = 0;
    unsigned char* bytes = nullptr;
    if (XGetWindowProperty(dpy_, w, property, offset, 1 << 20, False, AnyPropertyType, &type, &format,
                           &count, &after, &bytes) != Success) {
      return false;
    }
    if (type == None) {
      if (bytes) XFree(bytes);
      return false;
    }
    // Format 32 comes as longs; keep 32-bit items in our buffer.
    if (format == 32) {
      const long* items = reinterpret_cast<const long*>(bytes);
      for (unsigned long i = 0; i < count; ++i) {
        uint32_t v = static_cast<uint32_t>(items[i]);
        data.insert(data.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
      }
    } else {
      size_t unit = format == 16 ? 2 : 1;
      data.insert(data.end(), bytes, bytes + count * unit);
    }
    XFree(bytes);
    offset += static_cast<long>(count * static_cast<unsigned long>(format) / 32);
    if (after == 0 || count == 0) break;
  }
  if (remove) XDeleteProperty(dpy_, w, property);
  return true;
}

long TX11Backend::ReadCardinal(Window w, Atom property, Atom type, long fallback) {
  Atom actual;
  int format;
  std::vector<uint8_t> data;
  if (!ReadProperty(w, property, false, actual, format, data) || actual != type || format != 32 ||
      data.size() < 4) {
    return fallback;
  }
  uint32_t v;
  std::memcpy(&v, data.data(), 4);
  return static_cast<long>(v);
}

std::string TX11Backend::ReadString(Window w, Atom property) {
  Atom type;
  int format;
  std::vector<uint8_t> data;
  if (!ReadProperty(w, property, false, type, format, data) || format != 8) return {};
  return std::string(data.begin(), data.end());
}

void TX11Backend::Flush() {
  XFlush(dpy_);
  if (!pumpPosted_ && XEventsQueued(dpy_, QueuedAlready) > 0) {
    pumpPosted_ = true;
    PostMessage(pump_, WM_USER, 0, 0);
  }
}

void TX11Backend::ProcessEvents() {
  while (XPending(dpy_) > 0) {
    XEvent ev;
    XNextEvent(dpy_, &ev);
    Handle(ev);
  }
  XFlush(dpy_);
}

void TX11Backend::Handle(XEvent& ev) {
  if (ev.type == SelectionRequest) {
    ServeSelection(ev.xselectionrequest);
    return;
  }
  if (ev.type == SelectionClear) {
    if (ev.xselectionclear.selection == A("CLIPBOARD")) {
      ownsClipboard_ = false;
      clipboard_.clear();
    }
    return;
  }
  if (ev.type == PropertyNotify) {
    lastTime_ = ev.xproperty.time;
    if (ev.xproperty.state == PropertyDelete) ContinueTransfer(ev.xproperty.window, ev.xproperty.atom);
    return;
  }
  if (ev.type == ClientMessage && ev.xclient.window == owner_) {
    if (ev.xclient.message_type == A("_PELLISTO_ACTIVATE")) HandleActivate(ev.xclient.data.l[0]);
    return;
  }
  auto it = windows_.find(ev.xany.window);
  if (it == windows_.end()) return;
  TX11Window& window = *it->second;
  HWND hwnd = window.Sink().BackendHandle();
  switch (ev.type) {
    case Expose:
      window.Sink().BackendExpose(ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width,
                                  ev.xexpose.y + ev.xexpose.height);
      break;
    case ButtonPress:
    case ButtonRelease: {
      lastTime_ = ev.xbutton.time;
      bool down = ev.type == ButtonPress;
      UINT message = 0;
      if (ev.xbutton.button == Button1) message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
      if (ev.xbutton.button == Button2) message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
      if (ev.xbutton.button == Button3) message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
      if (message) PostMessage(hwnd, message, 0, PointParam(ev.xbutton.x, ev.xbutton.y));
      break;
    }
    case MotionNotify:
      lastTime_ = ev.xmotion.time;
      // Only the newest position of a burst matters.
      while (XCheckTypedWindowEvent(dpy_, ev.xany.window, MotionNotify, &ev)) {
      }
      PostMessage(hwnd, WM_MOUSEMOVE, 0, PointParam(ev.xmotion.x, ev.xmotion.y));
      break;
    case KeyPress: {
      lastTime_ = ev.xkey.time;
      KeySym key = XLookupKeysym(&ev.xkey, 0);
      WPARAM vk = 0;
      if (key == XK_Return || key == XK_KP_Enter) vk = 0x0D;  // VK_RETURN
      else if (key == XK_Escape) vk = 0x1B;                    // VK_ESCAPE
      else if (key == XK_space) vk = 0x20;                     // VK_SPACE
      else if (key >= XK_a && key <= XK_z) vk = 'A' + (key - XK_a);
      else if (key >= XK_0 && key <= XK_9) vk = '0' + (key - XK_0);
      if (vk) PostMessage(hwnd, WM_KEYDOWN, vk, 0);
      break;
    }
    case LeaveNotify:
      if (ev.xcrossing.detail != NotifyInferior) PostMessage(hwnd, WM_MOUSELEAVE, 0, 0);
      break;
    case ClientMessage:
      if (ev.xclient.message_type == A("WM_PROTOCOLS") &&
          static_cast<Atom>(ev.xclient.data.l[0]) == A("WM_DELETE_WINDOW")) {
        PostMessage(hwnd, WM_CLOSE, 0, 0);
      }
      break;
    default:
      break;
  }
}

void TX11Backend::HandleActivate(long command) {
  if (!main_) return;
  Window w = static_cast<Window>(main_->NativeHandle());
  if (command == kActivateRestore) {
    XMapRaised(dpy_, w);
    SendRootMessage(w, A("_NET_ACTIVE_WINDOW"), 2, static_cast<long>(lastTime_), 0);
  } else if (command == kActivateRaise) {
    XRaiseWindow(dpy_, w);
  } else if (command == kActivateForeground) {
    SendRootMessage(w, A("_NET_ACTIVE_WINDOW"), 2, static_cast<long>(lastTime_), 0);
  }
  XFlush(dpy_);
}

// ---- Other programs' windows ----

HWND TX11Backend::FindWindow(const char* className, const char* windowName) {
  auto matches = [&](Window w) {
    if (className) {
      XClassHint hint{};
      if (!XGetClassHint(dpy_, w, &hint)) return false;
      bool same = hint.res_class && strcasecmp(hint.res_class, className) == 0;
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
      if (!same) return false;
    }
    if (windowName) {
      std::string name = ReadString(w, A("_NET_WM_NAME"));
      if (name.empty()) name = ReadString(w, XA_WM_NAME);
      if (name != windowName) return false;
    }
    return true;
  };
  auto children = [&](Window parent) {
    std::vector<Window> list;
    Window rootReturn, parentReturn;
    Window* kids = nullptr;
    unsigned int count = 0;
    if (XQueryTree(dpy_, parent, &rootReturn, &parentReturn, &kids, &count) && kids) {
      list.assign(kids, kids + count);
      XFree(kids);
    }
    std::reverse(list.begin(), list.end());  // topmost first
    return list;
  };
  Window found = 0;
  for (Window top : children(root_)) {
    if (matches(top)) {
      found = top;
      break;
    }
    // A window manager's frame holds the program's window one level down.
    XClassHint hint{};
    if (XGetClassHint(dpy_, top, &hint)) {
      if (hint.res_name) XFree(hint.res_name);
      if (hint.res_class) XFree(hint.res_class);
      continue;
    }
    for (Window inner : children(top)) {
      if (matches(inner)) {
        found = inner;
        break;
      }
    }
    if (found) break;
  }
  Flush();
  return found ? ForeignWindowHandle(found) : nullptr;
}

// An application's owner window stands for its main window.
Window TX11Backend::MainOf(Window w) {
  long main = ReadCardinal(w, A("_PELLISTO_MAIN_WINDOW"), XA_WINDOW, 0);
  return main ? static_cast<Window>(main) : w;
}

bool TX11Backend::IsIconic(HWND window) {
  if (!IsForeignWindowHandle(window)) return false;
  Window w = MainOf(static_cast<Window>(ForeignWindowNative(window)));
  long state = ReadCardinal(w, A("WM_STATE"), A("WM_STATE"), 0);
  Flush();
  return state == IconicState;
}

bool TX11Backend::ShowWindow(HWND window, int showCmd) {
  if (!IsForeignWindowHandle(window)) return false;
  Window given = static_cast<Window>(ForeignWindowNative(window));
  Window w = MainOf(given);
  bool wasVisible = ReadCardinal(w, A("WM_STATE"), A("WM_STATE"), 0) == NormalState;
  switch (showCmd) {
    case 0:  // SW_HIDE
      XWithdrawWindow(dpy_, w, screen_);
      break;
    case 2:  // SW_SHOWMINIMIZED
    case 6:  // SW_MINIMIZE
    case 7:  // SW_SHOWMINNOACTIVE
      XIconifyWindow(dpy_, w, screen_);
      break;
    default:  // restore and the showing commands
      if (w != given) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = given;
        ev.xclient.message_type = A("_PELLISTO_ACTIVATE");
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = kActivateRestore;
        XSendEvent(dpy_, given, False, NoEventMask, &ev);
      }
      XMapRaised(dpy_, w);
      SendRootMessage(w, A("_NET_ACTIVE_WINDOW"), 2, static_cast<long>(lastTime_), 0);
      break;
  }
  Flush();
  return wasVisible;
}

bool TX11Backend::BringWindowToTop(HWND window) {
  if (!IsForeignWindowHandle(window)) return false;
  Window given = static_cast<Window>(ForeignWindowNative(window));
  Window w = MainOf(given);
  XRaiseWindow(dpy_, w);
  // The window manager restacks on request from a pager-like source.
  SendRootMessage(w, A("_NET_RESTACK_WINDOW"), 2, None, Above);
  Flush();
  return true;
}

bool TX11Backend::SetForegroundWindow(HWND window) {
  if (!IsForeignWindowHandle(window)) return false;
  Window given = static_cast<Window>(ForeignWindowNative(window));
  Window w = MainOf(given);
  if (w != given) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = given;
    ev.xclient.message_type = A("_PELLISTO_ACTIVATE");
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = kActivateForeground;
    XSendEvent(dpy_, given, False, NoEventMask, &ev);
  }
  SendRootMessage(w, A("_NET_ACTIVE_WINDOW"), 2, static_cast<long>(lastTime_), 0);
  Flush();
  return true;
}

// ---- The CLIPBOARD selection ----

std::vector<uint8_t> TX11Backend::TargetData(uint16_t format) const {
  auto it = clipboard_.find(format);
  if (it == clipboard_.end()) return {};
  const std::vector<uint8_t>& data = it->second;
  bool bitmap = format == 2 || format == 8;  // CF_BITMAP, CF_DIB
  if (!bitmap || (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') || data.size() < 40) return data;
  // A packed DIB goes out as a BMP file: a file header in front.
  uint32_t headerSize;
  std::memcpy(&headerSize, data.data(), 4);
  uint16_t bits;
  std::memcpy(&bits, data.data() + 14, 2);
  uint32_t used;
  std::memcpy(&used, data.data() + 32, 4);
  uint32_t compression;
  std::memcpy(&compression, data.data() + 16, 4);
  uint32_t colors = bits <= 8 ? (used ? used : (1u << bits)) : used;
  uint32_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
  uint32_t offset = 14 + headerSize + masks + colors * 4;
  uint32_t fileSize = static_cast<uint32_t>(14 + data.size());
  std::vector<uint8_t> out(14);
  out[0] = 'B';
  out[1] = 'M';
  std::memcpy(out.data() + 2, &fileSize, 4);
  std::memcpy(out.data() + 10, &offset, 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

void TX11Backend::SetClipboard(TClipboardData formats) {
  clipboard_ = std::move(formats);
  transfers_.clear();
  XSetSelectionOwner(dpy_, A("CLIPBOARD"), owner_, lastTime_);
  ownsClipboard_ = XGetSelectionOwner(dpy_, A("CLIPBOARD")) == owner_;
  if (!ownsClipboard_) clipboard_.clear();
  Flush();
}

void TX11Backend::ServeSelection(const XSelectionRequestEvent& request) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  Atom property = request.property == None ? request.target : request.property;  // old clients

  if (request.selection == A("CLIPBOARD") && ownsClipboard_) {
    if (request.target == A("TARGETS")) {
      std::vector<long> targets{static_cast<long>(A("TARGETS")), static_cast<long>(A("TIMESTAMP"))};
      for (auto& [format, data] : clipboard_) {
        long atom = static_cast<long>(A(ClipboardTarget(format).c_str()));
        if (std::find(targets.begin(), targets.end(), atom) == targets.end()) targets.push_back(atom);
      }
      XChangeProperty(dpy_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(targets.data()), static_cast<int>(targets.size()));
      reply.property = property;
    } else if (request.target == A("TIMESTAMP")) {
      long time = static_cast<long>(lastTime_);
      XChangeProperty(dpy_, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&time), 1);
      reply.property = property;
    } else {
      for (auto& [format, stored] : clipboard_) {
        if (A(ClipboardTarget(format).c_str()) != request.target) continue;
        std::vector<uint8_t> data = TargetData(format);
        if (data.size() > kIncrChunk) {
          // Too large for one property: hand it over in pieces (INCR).
          XSelectInput(dpy_, request.requestor, PropertyChangeMask);
          long size = static_cast<long>(data.size());
          XChangeProperty(dpy_, request.requestor, property, A("INCR"), 32, PropModeReplace,
                          reinterpret_cast<unsigned char*>(&size), 1);
          transfers_.push_back({request.requestor, property, request.target, std::move(data), 0});
        } else {
          XChangeProperty(dpy_, request.requestor, property, request.target, 8, PropModeReplace, data.data(),
                          static_cast<int>(data.size()));
        }
        reply.property = property;
        break;
      }
    }
  }
  XSendEvent(dpy_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
  XFlush(dpy_);
}

void TX11Backend::ContinueTransfer(Window requestor, Atom property) {
  for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
    if (it->Requestor != requestor || it->Property != property) continue;
    size_t n = std::min(kIncrChunk, it->Data.size() - it->Offset);
    XChangeProperty(dpy_, requestor, property, it->Type, 8, PropModeReplace, it->Data.data() + it->Offset,
                    static_cast<int>(n));
    it->Offset += n;
    if (n == 0) {
      XSelectInput(dpy_, requestor, NoEventMask);
      transfers_.erase(it);
    }
    XFlush(dpy_);
    return;
  }
}

bool TX11Backend::WaitForEvent(int type, Window w, XEvent& ev, const std::function<bool(const XEvent&)>& match) {
  // Real time even under a test clock: the other program answers in real time.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kClipboardTimeoutMs);
  for (;;) {
    // Serve requests for our own selection meanwhile, so two of our
    // programs can ask each other.
    while (XCheckTypedEvent(dpy_, SelectionRequest, &ev)) ServeSelection(ev.xselectionrequest);
    while (XCheckTypedWindowEvent(dpy_, w, type, &ev)) {
      if (match(ev)) return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(dpy_), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long long>(100, left.count())));
    XEventsQueued(dpy_, QueuedAfterReading);
  }
}

bool TX11Backend::ConvertSelection(Atom target, std::vector<uint8_t>& data, Atom* typeOut) {
  Atom property = A("_PELLISTO_SELECTION");
  XDeleteProperty(dpy_, owner_, property);
  XConvertSelection(dpy_, A("CLIPBOARD"), target, property, owner_, lastTime_);
  XFlush(dpy_);
  XEvent ev;
  bool answered = WaitForEvent(SelectionNotify, owner_, ev, [&](const XEvent& e) {
    return e.xselection.selection == A("CLIPBOARD");
  });
  if (!answered || ev.xselection.property == None) {
    Flush();
    return false;
  }
  Atom type;
  int format;
  // Discard property notifications that came before the answer.
  while (XCheckTypedWindowEvent(dpy_, owner_, PropertyNotify, &ev)) {
  }
  if (!ReadProperty(owner_, property, true, type, format, data)) {
    Flush();
    return false;
  }
  if (type == A("INCR")) {
    // The owner sends pieces, each after we delete the previous one.
    data.clear();
    for (;;) {
      bool more = WaitForEvent(PropertyNotify, owner_, ev, [&](const XEvent& e) {
        return e.xproperty.atom == property && e.xproperty.state == PropertyNewValue;
      });
      if (!more) {
        Flush();
        return false;
      }
      std::vector<uint8_t> piece;
      if (!ReadProperty(owner_, property, true, type, format, piece)) piece.clear();
      if (piece.empty()) break;
      data.insert(data.end(), piece.begin(), piece.end());
    }
  }
  if (typeOut) *typeOut = type;
  Flush();
  return true;
}

bool TX11Backend::GetClipboard(uint16_t format, std::vector<uint8_t>& data) {
  if (XGetSelectionOwner(dpy_, A("CLIPBOARD")) == owner_ && ownsClipboard_) {
    auto it = clipboard_.find(format);
    if (it == clipboard_.end()) return false;
    data = it->second;
    return true;
  }
  if (XGetSelectionOwner(dpy_, A("CLIPBOARD")) == None) return false;
  if (!ConvertSelection(A(ClipboardTarget(format).c_str()), data)) return false;
  // image/bmp is a BMP file; the bitmap formats hold a packed DIB.
  if ((format == CF_DIB || format == CF_BITMAP) && data.size() > 14 && data[0] == 'B' && data[1] == 'M')
    data.erase(data.begin(), data.begin() + 14);
  return true;
}

std::vector<uint16_t> TX11Backend::ClipboardFormats() {
  std::vector<uint16_t> formats;
  if (XGetSelectionOwner(dpy_, A("CLIPBOARD")) == owner_ && ownsClipboard_) {
    for (auto& [format, data] : clipboard_) formats.push_back(format);
    return formats;
  }
  std::vector<uint8_t> targets;
  if (!ConvertSelection(A("TARGETS"), targets)) return formats;
  for (size_t i = 0; i + 4 <= targets.size(); i += 4) {
    uint32_t atom;
    std::memcpy(&atom, targets.data() + i, 4);
    char* name = XGetAtomName(dpy_, atom);
    if (!name) continue;
    std::string target = name;
    XFree(name);
    uint16_t format = 0;
    if (target == "image/gif") format = RegisterClipboardFormat("GIF Image");
    else if (target == "image/bmp") format = CF_DIB;
    else if (target == "UTF8_STRING") format = 1;  // CF_TEXT
    if (format && std::find(formats.begin(), formats.end(), format) == formats.end()) formats.push_back(format);
  }
  return formats;
}

// ---- Form windows ----

TX11Window::TX11Window(TX11Backend& backend, TWindowSink& sink, const std::string& className)
    : backend_(backend), sink_(sink) {
  Display* dpy = backend_.Dpy();
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // the back buffer paints everything
  attributes.bit_gravity = NorthWestGravity;
  attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                          EnterWindowMask | LeaveWindowMask | StructureNotifyMask | PropertyChangeMask;
  win_ = XCreateWindow(dpy, backend_.Root(), 0, 0, 1, 1, 0, CopyFromParent, InputOutput, CopyFromParent,
                       CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
  XClassHint hint;
  std::string instance = program_invocation_short_name;
  hint.res_name = instance.data();
  hint.res_class = const_cast<char*>(className.c_str());
  XSetClassHint(dpy, win_, &hint);
  Atom deleteWindow = backend_.A("WM_DELETE_WINDOW");
  XSetWMProtocols(dpy, win_, &deleteWindow, 1);
  XWMHints wmHints{};
  wmHints.flags = InputHint | StateHint | WindowGroupHint;
  wmHints.input = True;
  wmHints.initial_state = NormalState;
  wmHints.window_group = backend_.Owner();
  XSetWMHints(dpy, win_, &wmHints);
  long leader = static_cast<long>(backend_.Owner());
  XChangeProperty(dpy, win_, backend_.A("WM_CLIENT_LEADER"), XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&leader), 1);
  long pid = getpid();
  XChangeProperty(dpy, win_, backend_.A("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  long type = static_cast<long>(backend_.A("_NET_WM_WINDOW_TYPE_NORMAL"));
  XChangeProperty(dpy, win_, backend_.A("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  backend_.Register(win_, this);
  backend_.Flush();
}

TX11Window::~TX11Window() {
  backend_.Unregister(win_, this);
  XDestroyWindow(backend_.Dpy(), win_);
  backend_.Flush();
}

void TX11Window::SetCaption(const std::string& caption) {
  backend_.SetName(win_, caption);
  backend_.Flush();
}

void TX11Window::WriteSizeHints() {
  XSizeHints hints{};
  hints.flags = USPosition | PPosition | USSize | PSize | PMinSize | PMaxSize;
  hints.x = left_;
  hints.y = top_;
  hints.width = hints.min_width = hints.max_width = width_;
  hints.height = hints.min_height = hints.max_height = height_;
  XSetWMNormalHints(backend_.Dpy(), win_, &hints);
}

void TX11Window::WriteMotifHints() {
  // flags = decorations given; decorations = all or none.
  long hints[5] = {2, 0, decorated_ ? 1 : 0, 0, 0};
  Atom atom = backend_.A("_MOTIF_WM_HINTS");
  XChangeProperty(backend_.Dpy(), win_, atom, atom, 32, PropModeReplace, reinterpret_cast<unsigned char*>(hints), 5);
}

void TX11Window::WriteState() {
  // Before mapping the window manager reads the state from the property.
  long above = static_cast<long>(backend_.A("_NET_WM_STATE_ABOVE"));
  XChangeProperty(backend_.Dpy(), win_, backend_.A("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&above), stayOnTop_ ? 1 : 0);
}

void TX11Window::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  WriteSizeHints();
  XMoveResizeWindow(backend_.Dpy(), win_, left_, top_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
  backend_.Flush();
}

void TX11Window::SetDecorated(bool decorated) {
  decorated_ = decorated;
  WriteMotifHints();
  backend_.Flush();
}

void TX11Window::SetStayOnTop(bool stayOnTop) {
  stayOnTop_ = stayOnTop;
  if (mapped_) {
    backend_.SendRootMessage(win_, backend_.A("_NET_WM_STATE"), stayOnTop ? 1 : 0,
                             static_cast<long>(backend_.A("_NET_WM_STATE_ABOVE")), 0, 1);
  } else {
    WriteState();
  }
  backend_.Flush();
}

void TX11Window::SetTransientFor(TBackendWindow* owner) {
  if (owner) {
    XSetTransientForHint(backend_.Dpy(), win_, static_cast<Window>(owner->NativeHandle()));
    long type = static_cast<long>(backend_.A("_NET_WM_WINDOW_TYPE_DIALOG"));
    XChangeProperty(backend_.Dpy(), win_, backend_.A("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
  }
  backend_.Flush();
}

void TX11Window::Show() {
  if (mapped_) {
    XMapRaised(backend_.Dpy(), win_);
    backend_.Flush();
    return;
  }
  WriteSizeHints();
  WriteMotifHints();
  WriteState();
  XMapRaised(backend_.Dpy(), win_);
  mapped_ = true;
  backend_.Flush();
}

void TX11Window::Hide() {
  if (!mapped_) return;
  XWithdrawWindow(backend_.Dpy(), win_, backend_.ScreenNumber());
  mapped_ = false;
  backend_.Flush();
}

void TX11Window::Minimize() {
  XIconifyWindow(backend_.Dpy(), win_, backend_.ScreenNumber());
  backend_.Flush();
}

bool TX11Window::IsIconic() {
  long state = backend_.ReadCardinal(win_, backend_.A("WM_STATE"), backend_.A("WM_STATE"), 0);
  backend_.Flush();
  return state == IconicState;
}

void TX11Window::Present(const TPixelView& pixels, int left, int top, int right, int bottom) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, pixels.Width);
  bottom = std::min(bottom, pixels.Height);
  if (left >= right || top >= bottom || !mapped_) return;
  Display* dpy = backend_.Dpy();
  Visual* visual = DefaultVisual(dpy, backend_.ScreenNumber());
  int depth = DefaultDepth(dpy, backend_.ScreenNumber());
  GC gc = DefaultGC(dpy, backend_.ScreenNumber());
  bool direct = (depth == 24 || depth == 32) && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 &&
                visual->blue_mask == 0xFF;
  int w = right - left, h = bottom - top;
  if (direct) {
    XImage* image = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(const_cast<uint32_t*>(pixels.Pixels)),
                                 static_cast<unsigned>(pixels.Width), static_cast<unsigned>(pixels.Height), 32,
                                 pixels.Stride * 4);
    if (image) {
      image->byte_order = LSBFirst;  // our pixels are host-order 32-bit words
      XPutImage(dpy, win_, gc, image, left, top, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
      image->data = nullptr;  // the pixels stay the form's
      XDestroyImage(image);
    }
  } else {
    // Any other visual: convert the part through the visual's masks.
    XImage* image = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (image) {
      image->data = static_cast<char*>(std::malloc(static_cast<size_t>(image->bytes_per_line) * h));
      auto scale = [](uint32_t value, unsigned long mask) -> unsigned long {
        if (!mask) return 0;
        int shift = __builtin_ctzl(mask);
        unsigned long bits = mask >> shift;
        return ((static_cast<unsigned long>(value) * bits + 127) / 255) << shift;
      };
      for (int y = 0; y < h; ++y) {
        const uint32_t* row = pixels.Pixels + static_cast<ptrdiff_t>(top + y) * pixels.Stride + left;
        for (int x = 0; x < w; ++x) {
          uint32_t p = row[x];
          XPutPixel(image, x, y,
                    scale((p >> 16) & 0xFF, visual->red_mask) | scale((p >> 8) & 0xFF, visual->green_mask) |
                        scale(p & 0xFF, visual->blue_mask));
        }
      }
      XPutImage(dpy, win_, gc, image, 0, 0, left, top, static_cast<unsigned>(w), static_cast<unsigned>(h));
      XDestroyImage(image);
    }
  }
  backend_.Flush();
}

void TX11Window::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  Cursor shape = backend_.CursorFor(cursor);
  if (shape == None) XUndefineCursor(backend_.Dpy(), win_);
  else XDefineCursor(backend_.Dpy(), win_, shape);
  backend_.Flush();
}

}  // namespace

std::string ClipboardTarget(uint16_t format) {
  if (format == 1) return "UTF8_STRING";            // CF_TEXT
  if (format == 2 || format == 8) return "image/bmp";  // CF_BITMAP, CF_DIB
  std::string name = GetClipboardFormatName(format);
  if (name == "GIF Image") return "image/gif";
  if (name.empty()) {
    name = "PELLISTO_FORMAT_";
    name += std::to_string(format);
  }
  return name;
}

std::unique_ptr<TWindowBackend> CreateX11Backend(const char* displayName, std::string& error) {
  Display* dpy = XOpenDisplay(displayName);
  if (!dpy) {
    error = std::string("cannot open display \"") + XDisplayName(displayName) + "\"";
    return nullptr;
  }
  return std::make_unique<TX11Backend>(dpy);
}

}  // namespace platform
