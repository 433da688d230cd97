#pragma once
// Message boxes and the message dialog. The backend may answer them itself
// (the headless one records them and presses the first button); otherwise
// a modal dialog form is shown.

#include <string>

#include "platform/threads/Types.h"

namespace platform {

// MessageBox flags and results (the Win32 values).
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_YESNOCANCEL = 0x03;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Caption, icon and buttons as the flags say; returns the button's ID.
int MessageBox(HWND Owner, const char* Text, const char* Caption, unsigned Type);

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
using TMsgDlgButtons = unsigned;
inline constexpr TMsgDlgButtons mbYes = 1u << 0;
inline constexpr TMsgDlgButtons mbNo = 1u << 1;
inline constexpr TMsgDlgButtons mbOK = 1u << 2;
inline constexpr TMsgDlgButtons mbCancel = 1u << 3;

// The message dialog: captioned "Warning", "Error", "Information",
// "Confirm", or the application title for mtCustom; no icon for mtCustom.
// Lines of Msg are separated by carriage returns and/or line feeds.
// Returns mrOk, mrYes, mrNo or mrCancel.
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx = 0);
// The application title as caption, no icon, one "OK" button.
void ShowMessage(const std::string& Msg);

}  // namespace platform
