#pragma once
// TGraphic, the base of every picture class, and TPicture, which holds one
// graphic and knows the picture classes by file extension and clipboard
// format.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

namespace platform {

enum class TProgressStage : uint8_t { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::string& Msg)>;

class TGraphic : public TPersistent {
 public:
  TGraphic() = default;
  ~TGraphic() override = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  const char* ClassName() const noexcept override { return "TGraphic"; }

  // Fires OnChange with Sender; marks the graphic modified.
  virtual void Changed(TObject* Sender);
  // Draws the graphic into Rect of Canvas (stretched to it).
  virtual void Draw(TCanvas& Canvas, const TRect& Rect) = 0;
  // The same class and the same saved data.
  virtual bool Equals(TGraphic* Graphic);
  virtual bool GetEmpty() = 0;
  virtual int32_t GetHeight() = 0;
  virtual int32_t GetWidth() = 0;
  virtual HPALETTE GetPalette() { return nullptr; }
  virtual bool GetTransparent() { return transparent_; }
  virtual void SetHeight(int32_t Value) = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetPalette(HPALETTE Value) { (void)Value; }
  virtual void SetTransparent(bool Value);
  // Form streaming: the graphic's data as a block; default: Load/SaveToStream.
  virtual void ReadData(TStream& Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream& Stream) { SaveToStream(Stream); }
  // Opens the file read-only (and shared for reading) and loads from it.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  // The clipboard form: format number, the data bytes (a packed DIB for
  // CF_DIB) and a palette. The base raises EInvalidGraphic
  // "Unsupported clipboard format".
  virtual void LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, HPALETTE Palette);
  virtual void SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, HPALETTE& Palette);

  // Fires OnProgress when set.
  virtual void Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg);

  bool Empty() { return GetEmpty(); }
  int32_t Width() { return GetWidth(); }
  int32_t Height() { return GetHeight(); }
  HPALETTE Palette() { return GetPalette(); }
  bool Transparent() { return GetTransparent(); }
  bool Modified() const { return modified_; }
  void SetModified(bool Value);
  bool PaletteModified() const { return paletteModified_; }
  void SetPaletteModified(bool Value) { paletteModified_ = Value; }

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

 private:
  bool transparent_ = false;
  bool modified_ = false;
  bool paletteModified_ = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// One registered picture class.
struct TGraphicClassInfo {
  std::string ClassName;
  TGraphicFactory Create;
};

struct TFileFormat {
  std::string Extension;  // lower case, without the dot
  std::string Description;
  TGraphicClassInfo Class;
};

class TBitmap;

class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  const char* ClassName() const noexcept override { return "TPicture"; }

  // Copies a picture (a graphic of the same class), a graphic, or nullptr (empty).
  void Assign(const TPersistent* Source) override;

  // Null when the picture holds nothing.
  TGraphic* Graphic() const { return graphic_.get(); }
  // Holds a copy of Value (a new object of its class that assigns it);
  // nullptr empties the picture.
  void SetGraphic(TGraphic* Value);
  // Takes ownership of Value.
  void SetGraphic(std::unique_ptr<TGraphic> Value);
  // The graphic as a bitmap, replacing any other graphic by an empty bitmap.
  TBitmap* Bitmap();
  int32_t Width() const;
  int32_t Height() const;

  // Picks the class by the file's extension (without regard to letter case);
  // raises EInvalidGraphic "Unknown picture file extension (.%s)" for an
  // unknown one. On failure the picture keeps its old graphic.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  void LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, HPALETTE Palette);
  void SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, HPALETTE& Palette);

  // Fires OnChange (the graphic's changes come here too).
  void Changed(TObject* Sender);
  TNotifyEvent OnChange;
  TProgressEvent OnProgress;

  // ---- The registry of picture classes (process-wide, thread-safe) ----
  // Extensions are stored and compared in lower case, without the dot; a
  // new registration of an extension replaces the old one.
  static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                 TGraphicClassInfo Class);
  static void RegisterClipboardFormat(uint16_t Format, TGraphicClassInfo Class);
  // Removes every file extension and clipboard format of the class.
  static void UnregisterGraphicClass(const std::string& ClassName);
  // Null factory when unknown.
  static TGraphicFactory FindFileFormat(const std::string& Extension);
  static TGraphicFactory FindClipboardFormat(uint16_t Format);
  static bool SupportsClipboardFormat(uint16_t Format);
  static std::vector<TFileFormat> FileFormats();

 private:
  void Adopt(std::unique_ptr<TGraphic> Value);
  std::unique_ptr<TGraphic> graphic_;
};

// Registration in one line: the class's ClassName() and its default constructor.
template <class T>
TGraphicClassInfo GraphicClassOf(const char* ClassName) {
  return {ClassName, [] { return std::unique_ptr<TGraphic>(new T()); }};
}

}  // namespace platform
