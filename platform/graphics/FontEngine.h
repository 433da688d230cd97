#pragma once
// Fonts for our own text drawing: fontconfig finds an installed face for a
// family name (the classic Windows families map to metric-compatible
// look-alikes), FreeType measures and rasterises it. Faces, sizes and glyphs
// are cached for the life of the process; every entry point is thread-safe.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What a font object asks for. Height follows the component library's rule:
// negative = character height (em size) in pixels, positive = cell height
// including internal leading, 0 = the default (-11, 8 points at 96 ppi).
struct TFontRequest {
  std::string Name;
  int32_t Height = -11;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;

  friend bool operator==(const TFontRequest&, const TFontRequest&) = default;
};

// The installed face a family name resolved to.
struct TFontFile {
  std::string Path;
  int32_t Index = 0;    // face index inside a collection
  std::string Family;   // the family fontconfig chose
  bool Bold = false;    // the face itself is bold (else bold is synthesised)
  bool Italic = false;  // the face itself is italic or oblique
};

// Resolves a family with a style. Never fails while any font is installed;
// raises EInvalidGraphicOperation "No font is installed" otherwise.
TFontFile ResolveFontFamily(const std::string& Name, bool Bold, bool Italic);

// Pixel metrics of a font (a text cell is Ascent + Descent high, the
// baseline Ascent below its top).
struct TFontMetrics {
  int32_t Height = 0;  // Ascent + Descent
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t InternalLeading = 0;  // Height - em size
  int32_t ExternalLeading = 0;
  int32_t AveCharWidth = 0;
  int32_t MaxCharWidth = 0;
  int32_t EmPixels = 0;
};
TFontMetrics GetFontMetrics(const TFontRequest& Font);

// One line of text, no kerning: the sum of the glyphs' advances.
int32_t TextWidth(const TFontRequest& Font, std::string_view Text);
// The cell height, the same for every text.
int32_t TextHeight(const TFontRequest& Font);

// Antialiased coverage (0 = none, 255 = full) of a line of text whose cell's
// top-left corner is the origin. The mask starts at (Left, Top) relative to
// that corner; Left can be negative (a glyph reaching left of its origin),
// and so can Top (accents above the ascent). Empty text or only blanks give
// an empty mask. Underline and strike-out are part of the mask.
struct TTextMask {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Advance = 0;  // equals TextWidth
  std::vector<uint8_t> Coverage;  // Width * Height bytes, rows from the top

  uint8_t At(int32_t x, int32_t y) const { return Coverage[static_cast<size_t>(y) * Width + x]; }
};
TTextMask RenderText(const TFontRequest& Font, std::string_view Text);

// Text is UTF-8; a byte that does not start a valid sequence is taken as a
// Latin-1 character, so text from older files still shows.
std::u32string DecodeText(std::string_view Text);

}  // namespace platform
