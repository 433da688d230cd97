#pragma once
// Colour values: $00BBGGRR plain colours, $80000000 + n system colours that
// follow a fixed classic colour scheme, and the special values clNone and
// clDefault. Also the names the settings file accepts and their parser.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A colour value. Kept unsigned so that system colours (high bit set) and
// plain colours share one integer without sign games.
using TColor = uint32_t;
// The GDI's own colour reference: $00BBGGRR, or a palette index/relative
// colour with $01/$02 in the high byte.
using COLORREF = uint32_t;

// System colour indices (GetSysColor).
enum : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_ENDCOLORS = 25,  // one past the last index the scheme knows
};

inline constexpr TColor clSystemColor = 0x80000000u;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
inline constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
inline constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
inline constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
inline constexpr TColor clMenu = clSystemColor | COLOR_MENU;
inline constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
inline constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
inline constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
inline constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
inline constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
inline constexpr TColor clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER;
inline constexpr TColor clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER;
inline constexpr TColor clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE;
inline constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
inline constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
inline constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
inline constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
inline constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
inline constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
inline constexpr TColor clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT;
inline constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
inline constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
inline constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
inline constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
inline constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;

inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }
// A colour that names entry i of the palette selected into the DC.
constexpr COLORREF PALETTEINDEX(uint16_t i) { return 0x01000000u | i; }
// A colour matched to the nearest entry of the selected palette.
constexpr COLORREF PALETTERGB(uint8_t r, uint8_t g, uint8_t b) { return 0x02000000u | RGB(r, g, b); }

// The classic scheme's colour for a system colour index; 0 for an unknown index.
COLORREF GetSysColor(int Index);
// Plain colours unchanged; system colours resolved through GetSysColor.
// clNone and clDefault are returned unchanged (they are not system colours).
COLORREF ColorToRGB(TColor Color);

// The 42 names of the settings file ("clBlack" ... "clInfoBk", "clNone"),
// matched without regard to letter case.
bool IdentToColor(std::string_view Ident, TColor& Color);
// The name of a colour that has one ("clRed"), else false.
bool ColorToIdent(TColor Color, std::string& Ident);
// A colour value of the settings file: a colour name, or an integer by the
// integer rules (leading blanks; "$" and 1-8 hex digits, or an optional sign
// and decimal digits; nothing after). False for anything else.
bool TryStringToColor(std::string_view Text, TColor& Color);
// As TryStringToColor; raises EConvertError "'%s' is not a valid integer value".
TColor StringToColor(std::string_view Text);
// "clRed" for named colours, else "$00BBGGRR" in hex.
std::string ColorToString(TColor Color);

}  // namespace platform
