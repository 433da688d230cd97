#include "platform/graphics/FontEngine.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H      // one face, several sizes
#include FT_SYNTHESIS_H  // bold and oblique for families installed without them
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/rtl/Exceptions.h"

namespace platform {

namespace {

// The classic Windows families and the installed look-alikes that share
// their widths. MS Sans Serif was a bitmap font taller than its look-alike;
// its vertical metrics (ascent = em, descent = 2/11 em: a 13-pixel cell at
// 8 points) are kept so that layouts designed with it keep their heights.
struct FamilyAlias {
  const char* Name;
  const char* Substitute;
  double AscentEm = 0;  // 0: the face's own metrics
  double DescentEm = 0;
};
constexpr FamilyAlias kAliases[] = {
    {"ms sans serif", "Liberation Sans", 1.0, 2.0 / 11.0},
    {"microsoft sans serif", "Liberation Sans"},
    {"ms shell dlg", "Liberation Sans"},
    {"ms shell dlg 2", "Liberation Sans"},
    {"arial", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"tahoma", "DejaVu Sans"},
    {"verdana", "DejaVu Sans"},
    {"segoe ui", "Liberation Sans"},
    {"system", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"times", "Liberation Serif"},
    {"ms serif", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
    {"courier", "Liberation Mono"},
    {"fixedsys", "Liberation Mono"},
    {"terminal", "Liberation Mono"},
    {"lucida console", "Liberation Mono"},
};
constexpr const char* kDefaultFamily = "Liberation Sans";
constexpr int32_t kDefaultHeight = -11;
// The largest em size we rasterise; beyond it glyph bitmaps become absurd.
constexpr int32_t kMaxEmPixels = 2048;
constexpr size_t kMaxGlyphsPerSize = 8192;
constexpr size_t kMaxGlyphBytes = size_t{64} << 20;
constexpr size_t kMaxResolvedNames = 4096;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const FamilyAlias* FindAlias(std::string_view name) {
  const std::string key = Lower(name);
  for (const FamilyAlias& a : kAliases)
    if (key == a.Name) return &a;
  return nullptr;
}

struct Glyph {
  // Advances are the outlines' own (unhinted) widths in 1/64 pixel, summed
  // along the line and rounded only where a glyph is placed, so text widths
  // match the layouts made with the original fonts.
  int64_t Advance64 = 0;
  int32_t Left = 0;  // bitmap's left edge from the pen position
  int32_t Top = 0;   // bitmap's top edge above the baseline
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Bitmap;
};

struct Face;

// One face at one em size with one synthesis choice.
struct SizedFace {
  Face* Owner = nullptr;
  FT_Size Size = nullptr;
  bool SynthBold = false;
  bool SynthItalic = false;
  TFontMetrics Metrics;
  int32_t UnderlinePos = 0;  // pixels below the baseline (top of the line)
  int32_t UnderlineThickness = 1;
  int32_t StrikeOutPos = 0;  // pixels above the baseline (top of the line)
  int32_t StrikeOutThickness = 1;
  std::unordered_map<char32_t, Glyph> Glyphs;
};

struct Face {
  FT_Face Handle = nullptr;
  // Keyed by em size (or minus the cell height), synthesis, and the family
  // whose own vertical metrics apply (null: the face's).
  std::map<std::tuple<int32_t, bool, bool, const FamilyAlias*>, std::unique_ptr<SizedFace>> Sizes;
  ~Face() {
    if (Handle) FT_Done_Face(Handle);  // also frees its sizes
  }
};

class Engine {
public:
  static Engine& Instance() {
    static Engine engine;
    return engine;
  }

  std::mutex Lock;

  TFontFile Resolve(const std::string& name, bool bold, bool italic);
  SizedFace& SizeFor(const TFontRequest& font);
  const Glyph& GlyphFor(SizedFace& sized, char32_t c);
  // Makes room for a text's glyphs before it is laid out, so that no glyph
  // it holds is dropped while it is in use.
  void Trim(SizedFace& sized, size_t chars) {
    if (glyphBytes_ > kMaxGlyphBytes) {
      for (auto& [key, face] : faces_)
        for (auto& [size, entry] : face->Sizes) entry->Glyphs.clear();
      glyphBytes_ = 0;
    }
    if (sized.Glyphs.size() + chars > kMaxGlyphsPerSize) sized.Glyphs.clear();
  }

private:
  Engine();
  ~Engine();
  Face& FaceFor(const std::string& path, int32_t index);
  SizedFace& SizedFor(Face& face, int32_t em, bool synthBold, bool synthItalic, const FamilyAlias* alias,
                      int32_t cellHeight);
  SizedFace* FallbackFor(SizedFace& sized, char32_t c);
  void ListFallbacks();

  size_t glyphBytes_ = 0;  // bitmaps held by all glyph caches, roughly
  FT_Library library_ = nullptr;
  FcConfig* config_ = nullptr;
  std::map<std::tuple<std::string, bool, bool>, TFontFile> resolved_;
  std::map<std::pair<std::string, int32_t>, std::unique_ptr<Face>> faces_;
  // Faces that may carry a character the requested one lacks, and for each
  // character looked up the one that does (-1: none).
  struct FallbackFace {
    std::string Path;
    int32_t Index;
    FcCharSet* Chars;
  };
  std::vector<FallbackFace> fallbackFaces_;
  bool fallbacksListed_ = false;
  std::unordered_map<char32_t, int> fallbacks_;
};

Engine::Engine() {
  if (FT_Init_FreeType(&library_) != 0) throw EOutOfResources("Cannot start the font rasteriser");
  config_ = FcInitLoadConfigAndFonts();
}

Engine::~Engine() {
  faces_.clear();
  for (FallbackFace& f : fallbackFaces_) FcCharSetDestroy(f.Chars);
  FT_Done_FreeType(library_);
  if (config_) FcConfigDestroy(config_);
}

TFontFile Engine::Resolve(const std::string& name, bool bold, bool italic) {
  const auto key = std::make_tuple(Lower(name), bold, italic);
  if (auto it = resolved_.find(key); it != resolved_.end()) return it->second;

  const FamilyAlias* alias = FindAlias(name);
  const std::string family = alias ? alias->Substitute : name.empty() ? kDefaultFamily : name;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  // A family we do not know falls back to the default look-alike rather than
  // whatever fontconfig ranks first.
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(kDefaultFamily));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* file = nullptr;
  if (!match || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) {
    if (match) FcPatternDestroy(match);
    throw EInvalidGraphicOperation("No font is installed");
  }
  TFontFile out;
  out.Path = reinterpret_cast<const char*>(file);
  int value = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &value) == FcResultMatch) out.Index = value;
  FcChar8* chosen = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &chosen) == FcResultMatch)
    out.Family = reinterpret_cast<const char*>(chosen);
  if (FcPatternGetInteger(match, FC_WEIGHT, 0, &value) == FcResultMatch) out.Bold = value >= FC_WEIGHT_DEMIBOLD;
  if (FcPatternGetInteger(match, FC_SLANT, 0, &value) == FcResultMatch) out.Italic = value != FC_SLANT_ROMAN;
  FcPatternDestroy(match);
  // Names come from files too; do not let them grow the cache without end.
  if (resolved_.size() >= kMaxResolvedNames) resolved_.clear();
  resolved_.emplace(key, out);
  return out;
}

Face& Engine::FaceFor(const std::string& path, int32_t index) {
  auto& slot = faces_[{path, index}];
  if (!slot) {
    auto face = std::make_unique<Face>();
    if (FT_New_Face(library_, path.c_str(), index, &face->Handle) != 0 || !FT_IS_SCALABLE(face->Handle)) {
      faces_.erase({path, index});
      throw EInvalidGraphicOperation("Cannot load the font file " + path);
    }
    FT_Select_Charmap(face->Handle, FT_ENCODING_UNICODE);
    slot = std::move(face);
  }
  return *slot;
}

// Vertical metrics in font units as Windows uses them: the OS/2 table's
// clipping ascent and descent, else the horizontal header's.
struct UnitMetrics {
  double Ascent, Descent, LineGap, AvgWidth;
};
UnitMetrics UnitMetricsOf(FT_Face face) {
  UnitMetrics m{double(face->ascender), double(-face->descender), 0, 0};
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    m.Ascent = os2->usWinAscent;
    m.Descent = os2->usWinDescent;
    m.AvgWidth = os2->xAvgCharWidth;
  }
  if (const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA))) {
    const double hheaHeight = double(hhea->Ascender) - hhea->Descender + hhea->Line_Gap;
    m.LineGap = std::max(0.0, hheaHeight - (m.Ascent + m.Descent));
  }
  if (m.Ascent + m.Descent <= 0) m.Ascent = face->units_per_EM, m.Descent = 0;
  return m;
}

SizedFace& Engine::SizeFor(const TFontRequest& font) {
  const TFontFile file = Resolve(font.Name, font.Bold, font.Italic);
  Face& face = FaceFor(file.Path, file.Index);
  const FamilyAlias* alias = FindAlias(font.Name);
  const double upem = face.Handle->units_per_EM;
  const UnitMetrics units = UnitMetricsOf(face.Handle);
  const double ascentEm = alias && alias->AscentEm ? alias->AscentEm : units.Ascent / upem;
  const double descentEm = alias && alias->AscentEm ? alias->DescentEm : units.Descent / upem;
  const int32_t height = font.Height == 0 ? kDefaultHeight : font.Height;
  int32_t em = 0, cell = 0;
  if (height < 0) {
    em = height == INT32_MIN ? kMaxEmPixels : -height;
  } else {
    cell = height;
    em = static_cast<int32_t>(std::lround(height / (ascentEm + descentEm)));
  }
  em = std::clamp(em, 1, kMaxEmPixels);
  // A clamped em size cannot fill a larger cell.
  if (cell > 0) cell = std::min<int32_t>(cell, static_cast<int32_t>(std::lround(em * (ascentEm + descentEm))) + 1);
  return SizedFor(face, em, font.Bold && !file.Bold, font.Italic && !file.Italic, alias, cell);
}

SizedFace& Engine::SizedFor(Face& face, int32_t em, bool synthBold, bool synthItalic, const FamilyAlias* alias,
                            int32_t cellHeight) {
  // Cell-height requests share a size with the em request they round to,
  // but their metrics must match the asked height, so key them apart.
  const FamilyAlias* metrics = alias && alias->AscentEm ? alias : nullptr;
  auto& slot = face.Sizes[{cellHeight > 0 ? -cellHeight : em, synthBold, synthItalic, metrics}];
  if (slot) return *slot;
  auto sized = std::make_unique<SizedFace>();
  sized->Owner = &face;
  sized->SynthBold = synthBold;
  sized->SynthItalic = synthItalic;
  FT_Face f = face.Handle;
  if (FT_New_Size(f, &sized->Size) != 0) throw EOutOfResources("Cannot size the font");
  FT_Activate_Size(sized->Size);
  if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(em)) != 0) throw EOutOfResources("Cannot size the font");

  const double upem = f->units_per_EM;
  const double scale = em / upem;
  const UnitMetrics units = UnitMetricsOf(f);
  const double ascentEm = alias && alias->AscentEm ? alias->AscentEm : units.Ascent / upem;
  const double descentEm = alias && alias->AscentEm ? alias->DescentEm : units.Descent / upem;
  TFontMetrics& m = sized->Metrics;
  m.EmPixels = em;
  if (cellHeight > 0) {
    m.Ascent = static_cast<int32_t>(std::lround(cellHeight * ascentEm / (ascentEm + descentEm)));
    m.Descent = cellHeight - m.Ascent;
  } else {
    m.Ascent = static_cast<int32_t>(std::lround(em * ascentEm));
    m.Descent = static_cast<int32_t>(std::lround(em * descentEm));
  }
  m.Height = m.Ascent + m.Descent;
  m.InternalLeading = std::max(0, m.Height - em);
  m.ExternalLeading = static_cast<int32_t>(std::lround(units.LineGap * scale));
  m.AveCharWidth = static_cast<int32_t>(std::lround(units.AvgWidth * scale));
  m.MaxCharWidth = static_cast<int32_t>(std::lround(f->max_advance_width * scale));
  if (m.AveCharWidth <= 0) m.AveCharWidth = std::max(1, em / 2);

  sized->UnderlineThickness = std::max(1, static_cast<int32_t>(std::lround(f->underline_thickness * scale)));
  sized->UnderlinePos = std::max(1, static_cast<int32_t>(std::lround(-f->underline_position * scale)));
  sized->UnderlinePos = std::min(sized->UnderlinePos, std::max(0, m.Descent - sized->UnderlineThickness));
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    sized->StrikeOutThickness = std::max(1, static_cast<int32_t>(std::lround(os2->yStrikeoutSize * scale)));
    sized->StrikeOutPos = static_cast<int32_t>(std::lround(os2->yStrikeoutPosition * scale));
  } else {
    sized->StrikeOutThickness = sized->UnderlineThickness;
    sized->StrikeOutPos = static_cast<int32_t>(std::lround(em * 0.26));
  }
  if (synthBold) m.MaxCharWidth += 1;
  slot = std::move(sized);
  return *slot;
}

void Engine::ListFallbacks() {
  fallbacksListed_ = true;
  // Every scalable face in the order fontconfig prefers for sans-serif
  // text; each character then takes the first that has it.
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = FcFontSort(config_, pattern, FcTrue, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!set) return;
  for (int i = 0; i < set->nfont; ++i) {
    FcChar8* file = nullptr;
    FcCharSet* chars = nullptr;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch)
      continue;
    int index = 0;
    FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
    fallbackFaces_.push_back({reinterpret_cast<const char*>(file), index, FcCharSetCopy(chars)});
  }
  FcFontSetDestroy(set);
}

SizedFace* Engine::FallbackFor(SizedFace& sized, char32_t c) {
  if (!fallbacksListed_) ListFallbacks();
  if (fallbacks_.size() > 65536) fallbacks_.clear();
  auto it = fallbacks_.find(c);
  if (it == fallbacks_.end()) {
    int found = -1;
    for (size_t i = 0; i < fallbackFaces_.size() && found < 0; ++i)
      if (FcCharSetHasChar(fallbackFaces_[i].Chars, static_cast<FcChar32>(c))) found = static_cast<int>(i);
    it = fallbacks_.emplace(c, found).first;
  }
  if (it->second < 0) return nullptr;
  const FallbackFace& fallback = fallbackFaces_[static_cast<size_t>(it->second)];
  Face* face = nullptr;
  try {
    face = &FaceFor(fallback.Path, fallback.Index);
  } catch (const EInvalidGraphicOperation&) {
    it->second = -1;
    return nullptr;
  }
  if (face == sized.Owner) return nullptr;
  return &SizedFor(*face, sized.Metrics.EmPixels, sized.SynthBold, sized.SynthItalic, nullptr, 0);
}

const Glyph& Engine::GlyphFor(SizedFace& sized, char32_t c) {
  if (auto it = sized.Glyphs.find(c); it != sized.Glyphs.end()) return it->second;

  SizedFace* source = &sized;
  FT_UInt index = FT_Get_Char_Index(sized.Owner->Handle, c);
  // Control characters show the missing-glyph box of the font itself.
  const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
  if (index == 0 && !control) {
    if (SizedFace* other = FallbackFor(sized, c)) {
      if (FT_UInt i = FT_Get_Char_Index(other->Owner->Handle, c); i != 0) {
        source = other;
        index = i;
      }
    }
  }
  FT_Face f = source->Owner->Handle;
  FT_Activate_Size(source->Size);
  Glyph g;
  if (FT_Load_Glyph(f, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) == 0) {
    FT_GlyphSlot slot = f->glyph;
    const FT_Pos hinted = slot->advance.x;
    if (source->SynthItalic) FT_GlyphSlot_Oblique(slot);
    if (source->SynthBold) FT_GlyphSlot_Embolden(slot);
    // linearHoriAdvance is 16.16; emboldening widens the hinted one only.
    g.Advance64 = ((slot->linearHoriAdvance + 512) >> 10) + (slot->advance.x - hinted);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 && slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      const FT_Bitmap& bm = slot->bitmap;
      g.Left = slot->bitmap_left;
      g.Top = slot->bitmap_top;
      g.Width = static_cast<int32_t>(bm.width);
      g.Height = static_cast<int32_t>(bm.rows);
      g.Bitmap.resize(static_cast<size_t>(g.Width) * g.Height);
      for (int32_t y = 0; y < g.Height; ++y) {
        const uint8_t* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        std::copy(row, row + g.Width, g.Bitmap.data() + static_cast<size_t>(y) * g.Width);
      }
    }
  }
  glyphBytes_ += g.Bitmap.size() + sizeof(Glyph);
  return sized.Glyphs.emplace(c, std::move(g)).first->second;
}

}  // namespace

std::u32string DecodeText(std::string_view Text) {
  std::u32string out;
  out.reserve(Text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(Text.data());
  const size_t n = Text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    int extra = 0;
    char32_t c = 0, min = 0;
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    }
    // The sequence needs bytes i+1 .. i+extra.
    bool ok = extra > 0 && static_cast<size_t>(extra) < n - i;
    for (int k = 1; ok && k <= extra; ++k) {
      const unsigned char t = s[i + static_cast<size_t>(k)];
      if ((t & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (t & 0x3F);
    }
    if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (ok) {
      out.push_back(c);
      i += static_cast<size_t>(extra) + 1;
    } else {
      out.push_back(b);  // Latin-1
      ++i;
    }
  }
  return out;
}

TFontFile ResolveFontFamily(const std::string& Name, bool Bold, bool Italic) {
  Engine& e = Engine::Instance();
  std::lock_guard lock(e.Lock);
  return e.Resolve(Name, Bold, Italic);
}

TFontMetrics GetFontMetrics(const TFontRequest& Font) {
  Engine& e = Engine::Instance();
  std::lock_guard lock(e.Lock);
  return e.SizeFor(Font).Metrics;
}

int32_t TextWidth(const TFontRequest& Font, std::string_view Text) {
  const std::u32string chars = DecodeText(Text);
  Engine& e = Engine::Instance();
  std::lock_guard lock(e.Lock);
  SizedFace& sized = e.SizeFor(Font);
  e.Trim(sized, chars.size());
  int64_t width = 0;
  for (char32_t c : chars) width += e.GlyphFor(sized, c).Advance64;
  return static_cast<int32_t>(std::min<int64_t>((width + 32) >> 6, INT32_MAX));
}

int32_t TextHeight(const TFontRequest& Font) { return GetFontMetrics(Font).Height; }

TTextMask RenderText(const TFontRequest& Font, std::string_view Text) {
  const std::u32string chars = DecodeText(Text);
  Engine& e = Engine::Instance();
  std::lock_guard lock(e.Lock);
  SizedFace& sized = e.SizeFor(Font);
  e.Trim(sized, chars.size());
  const TFontMetrics& m = sized.Metrics;

  // Place every glyph on the line, then take the union of their boxes.
  struct Placed {
    const Glyph* G;
    int64_t X, Y;
  };
  std::vector<Placed> placed;
  placed.reserve(chars.size());
  int64_t pen = 0;
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  auto include = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    if (x1 <= x0 || y1 <= y0) return;
    left = std::min(left, x0), top = std::min(top, y0);
    right = std::max(right, x1), bottom = std::max(bottom, y1);
  };
  for (char32_t c : chars) {
    const Glyph& g = e.GlyphFor(sized, c);
    const int64_t x = ((pen + 32) >> 6) + g.Left, y = m.Ascent - g.Top;
    if (g.Width > 0 && g.Height > 0) {
      placed.push_back({&g, x, y});
      include(x, y, x + g.Width, y + g.Height);
    }
    pen += g.Advance64;
  }
  pen = (pen + 32) >> 6;
  struct Line {
    int64_t Y, Thickness;
  };
  std::vector<Line> lines;
  if (Font.Underline) lines.push_back({m.Ascent + sized.UnderlinePos, sized.UnderlineThickness});
  if (Font.StrikeOut) lines.push_back({m.Ascent - sized.StrikeOutPos, sized.StrikeOutThickness});
  if (pen > 0)
    for (const Line& l : lines) include(0, l.Y, pen, l.Y + l.Thickness);

  TTextMask mask;
  mask.Advance = static_cast<int32_t>(std::min<int64_t>(pen, INT32_MAX));
  if (right <= left || bottom <= top) return mask;
  // A line of text wider than this cannot be shown anywhere.
  constexpr int64_t kMaxMaskBytes = int64_t{1} << 28;
  if ((right - left) * (bottom - top) > kMaxMaskBytes) throw EOutOfMemory("Out of memory");
  mask.Left = static_cast<int32_t>(left);
  mask.Top = static_cast<int32_t>(top);
  mask.Width = static_cast<int32_t>(right - left);
  mask.Height = static_cast<int32_t>(bottom - top);
  mask.Coverage.assign(static_cast<size_t>(mask.Width) * mask.Height, 0);
  for (const Placed& p : placed) {
    for (int32_t y = 0; y < p.G->Height; ++y) {
      uint8_t* dst = mask.Coverage.data() + static_cast<size_t>(p.Y - top + y) * mask.Width + (p.X - left);
      const uint8_t* src = p.G->Bitmap.data() + static_cast<size_t>(y) * p.G->Width;
      // Neighbouring glyphs may overlap; the stronger coverage wins.
      for (int32_t x = 0; x < p.G->Width; ++x) dst[x] = std::max(dst[x], src[x]);
    }
  }
  if (pen > 0)
    for (const Line& l : lines)
      for (int64_t y = l.Y; y < l.Y + l.Thickness; ++y)
        std::fill_n(mask.Coverage.data() + static_cast<size_t>(y - top) * mask.Width + (0 - left), pen, uint8_t{255});
  return mask;
}

}  // namespace platform
