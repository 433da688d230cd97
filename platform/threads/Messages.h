#pragma once
// Win32-style message queues: one per thread that asks for one (any call of
// PeekMessage, GetMessage, WaitMessage, AllocateHWnd or SetTimer creates it;
// the main thread's exists from start-up). Windows are opaque handles with a
// procedure each; a window belongs to the thread that allocated it, and its
// posted messages go to that thread's queue.
//
// The main thread: the thread that ran the program's static initialisation,
// which is the thread that runs main(). It is recorded then, before any other
// thread can exist, so the identity holds in every test process as well.
//
// The main loop's waits (GetMessage, WaitMessage, and PeekMessage with a zero
// wait) also poll the descriptors given to AddMainLoopDescriptor and run their
// handlers on the main thread. A handler should read what is readable and
// post messages for it; handlers are not run again while one is running.

#include <functional>

#include "platform/threads/Types.h"

namespace platform {

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;  // timeGetTime() when it was posted
};

using TWindowProc = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// Standard message numbers (the Win32 values).
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ENABLE = 0x000A;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_ACTIVATEAPP = 0x001C;
inline constexpr UINT WM_SETCURSOR = 0x0020;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_MOUSELEAVE = 0x02A3;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

// The thread window's two messages: the window that carries synchronised
// calls to the main thread. PeekMessage(.., 0x8FFE, 0x8FFF, ..) serves
// exactly these.
inline constexpr UINT WM_DESTROYTHREADWINDOW = 0x8FFE;
inline constexpr UINT WM_SYNCHRONIZE = 0x8FFF;

// PeekMessage options.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;  // accepted, no effect

// Filter value for PeekMessage/GetMessage: only messages with no window.
inline const HWND HWND_THREADMESSAGES = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

DWORD GetCurrentThreadId();
DWORD MainThreadID();
bool IsMainThread();

// Windows: a handle with a procedure, owned by the calling thread.
HWND AllocateHWnd(TWindowProc proc);
// Forgets the window and its timers; messages still queued for it are
// dropped when dispatched. A dead or null handle is ignored.
void DeallocateHWnd(HWND hwnd);
bool IsWindow(HWND hwnd);
// The thread that owns the window, 0 for a dead handle. pid, when given,
// receives this process's id.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* pid = nullptr);

// Appends to the queue of the window's thread; a null hwnd posts a thread
// message to the calling thread. False for a dead window.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// False when the thread has no message queue.
bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure. On the owning thread that is a direct call;
// from another thread the call is handed to the owner, which runs it inside
// its next PeekMessage/GetMessage/WaitMessage (whatever their filter), and
// the caller blocks until then; an exception the procedure raised is raised
// again in the caller. A dead window, or an owner that ends first, gives 0.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Takes the first queued message whose window matches hwnd (nullptr: any;
// HWND_THREADMESSAGES: only thread messages) and whose number lies in
// [filterMin, filterMax] (both 0: any). WM_QUIT matches every filter and
// comes after the matching posted messages; WM_TIMER comes last.
bool PeekMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// Blocks until a matching message arrives; false when it is WM_QUIT.
bool GetMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Blocks until a message arrives that the thread has not yet seen in a
// PeekMessage/GetMessage call, a timer is due, a sent message was served or
// (main thread) a descriptor handler ran.
void WaitMessage();
// Keyboard translation happens in the window backend; kept for the loop's
// shape. Always false.
bool TranslateMessage(const MSG& msg);
// Calls the procedure of msg.hwnd; 0 for thread messages and dead windows.
LRESULT DispatchMessage(const MSG& msg);
// Marks the calling thread's queue to deliver WM_QUIT (wParam = exitCode).
void PostQuitMessage(int exitCode);

// Timers post WM_TIMER (wParam = id) to the window's thread while the queue
// has nothing else that matches. With a null hwnd a new id is chosen and
// returned; elapse is raised to 10 ms as on Win32. Timers follow Clock():
// with a test clock a loop waiting only for a timer advances the clock.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
bool KillTimer(HWND hwnd, UINT_PTR id);

// Main-loop descriptors (the window backend's connection). onReadable runs on
// the main thread when fd is readable (or has hung up); an fd that was closed
// without removal is dropped. Adding an fd again replaces its handler.
void AddMainLoopDescriptor(int fd, std::function<void()> onReadable);
void RemoveMainLoopDescriptor(int fd);

}  // namespace platform
