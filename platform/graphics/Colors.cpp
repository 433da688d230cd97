#include "platform/graphics/Colors.h"

#include <array>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace platform {

namespace {

// The classic ("Windows Standard") scheme; it never changes at run time.
constexpr std::array<COLORREF, COLOR_ENDCOLORS> kClassicScheme = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // desktop
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application work space
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // 3D dark shadow
    RGB(192, 192, 192),  // 3D light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
};

struct ColorName {
  TColor Value;
  const char* Name;
};

constexpr std::array<ColorName, 42> kColorNames = {{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
}};

}  // namespace

COLORREF GetSysColor(int Index) {
  if (Index < 0 || Index >= COLOR_ENDCOLORS) return 0;
  return kClassicScheme[static_cast<size_t>(Index)];
}

COLORREF ColorToRGB(TColor Color) {
  if (Color & clSystemColor) return GetSysColor(static_cast<int>(Color & 0xFF));
  return Color;
}

bool IdentToColor(std::string_view Ident, TColor& Color) {
  for (const ColorName& entry : kColorNames) {
    if (SameText(Ident, entry.Name)) {
      Color = entry.Value;
      return true;
    }
  }
  return false;
}

bool ColorToIdent(TColor Color, std::string& Ident) {
  for (const ColorName& entry : kColorNames) {
    if (entry.Value == Color) {
      Ident = entry.Name;
      return true;
    }
  }
  return false;
}

bool TryStringToColor(std::string_view Text, TColor& Color) {
  if (IdentToColor(Text, Color)) return true;
  int32_t value = 0;
  if (!TryStrToInt(Text, value)) return false;
  Color = static_cast<TColor>(value);
  return true;
}

TColor StringToColor(std::string_view Text) {
  TColor color = 0;
  if (IdentToColor(Text, color)) return color;
  return static_cast<TColor>(StrToInt(Text));
}

std::string ColorToString(TColor Color) {
  std::string name;
  if (ColorToIdent(Color, name)) return name;
  return Format("$%.8X", Color);
}

}  // namespace platform
