#include "platform/graphics/Graphic.h"

#include <algorithm>
#include <mutex>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/Metafile.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace platform {

// ---- TGraphic ----

void TGraphic::Changed(TObject* Sender) {
  modified_ = true;
  if (OnChange) OnChange(Sender);
}

void TGraphic::SetModified(bool Value) {
  if (Value) Changed(this);
  else modified_ = false;
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (!Graphic) return false;
  if (Graphic == this) return true;
  if (std::string_view(ClassName()) != Graphic->ClassName()) return false;
  if (GetEmpty() || Graphic->GetEmpty()) return GetEmpty() && Graphic->GetEmpty();
  TMemoryStream a, b;
  SaveToStream(a);
  Graphic->SaveToStream(b);
  return a.Size() == b.Size() && std::equal(a.Memory(), a.Memory() + a.Size(), b.Memory());
}

void TGraphic::SetTransparent(bool Value) {
  if (Value == transparent_) return;
  transparent_ = Value;
  Changed(this);
}

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(stream);
}

void TGraphic::LoadFromClipboardFormat(uint16_t, const std::vector<uint8_t>&, HPALETTE) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(uint16_t&, std::vector<uint8_t>&, HPALETTE&) {
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::Progress(TObject* Sender, TProgressStage Stage, uint8_t PercentDone, bool RedrawNow,
                        const TRect& R, const std::string& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

// ---- The registry ----

namespace {
struct ClipboardEntry {
  uint16_t Format;
  TGraphicClassInfo Class;
};
struct Registry {
  std::mutex mutex;
  std::vector<TFileFormat> files;
  std::vector<ClipboardEntry> clipboard;
};
Registry& TheRegistry() {
  static Registry* r = [] {
    auto* reg = new Registry;
    reg->files.push_back({"bmp", "Bitmaps", GraphicClassOf<TBitmap>("TBitmap")});
    reg->files.push_back({"ico", "Icons", GraphicClassOf<TIcon>("TIcon")});
    reg->files.push_back({"emf", "Enhanced Metafiles", GraphicClassOf<TMetafile>("TMetafile")});
    reg->files.push_back({"wmf", "Metafiles", GraphicClassOf<TMetafile>("TMetafile")});
    reg->clipboard.push_back({CF_BITMAP, GraphicClassOf<TBitmap>("TBitmap")});
    reg->clipboard.push_back({CF_DIB, GraphicClassOf<TBitmap>("TBitmap")});
    return reg;
  }();
  return *r;
}
}  // namespace

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClassInfo Class) {
  std::string ext = LowerCase(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.files, [&](const TFileFormat& f) { return f.Extension == ext; });
  r.files.push_back({ext, Description, std::move(Class)});
}

void TPicture::RegisterClipboardFormat(uint16_t Format, TGraphicClassInfo Class) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.clipboard, [&](const ClipboardEntry& e) { return e.Format == Format; });
  r.clipboard.push_back({Format, std::move(Class)});
}

void TPicture::UnregisterGraphicClass(const std::string& ClassName) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.files, [&](const TFileFormat& f) { return f.Class.ClassName == ClassName; });
  std::erase_if(r.clipboard, [&](const ClipboardEntry& e) { return e.Class.ClassName == ClassName; });
}

TGraphicFactory TPicture::FindFileFormat(const std::string& Extension) {
  std::string ext = LowerCase(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const TFileFormat& f : r.files)
    if (f.Extension == ext) return f.Class.Create;
  return nullptr;
}

TGraphicFactory TPicture::FindClipboardFormat(uint16_t Format) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const ClipboardEntry& e : r.clipboard)
    if (e.Format == Format) return e.Class.Create;
  return nullptr;
}

bool TPicture::SupportsClipboardFormat(uint16_t Format) { return FindClipboardFormat(Format) != nullptr; }

std::vector<TFileFormat> TPicture::FileFormats() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.files;
}

// ---- TPicture ----

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Adopt(std::unique_ptr<TGraphic> Value) {
  graphic_ = std::move(Value);
  if (graphic_) {
    graphic_->OnChange = [this](TObject* Sender) { Changed(Sender); };
    graphic_->OnProgress = [this](TObject* Sender, TProgressStage Stage, uint8_t Percent, bool Redraw,
                                  const TRect& R, const std::string& Msg) {
      if (OnProgress) OnProgress(Sender, Stage, Percent, Redraw, R, Msg);
    };
  }
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
  Adopt(std::move(Value));
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (!Value) {
    SetGraphic(std::unique_ptr<TGraphic>());
    return;
  }
  // A new object of the graphic's own class that takes its content.
  TGraphicFactory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const TFileFormat& f : r.files)
      if (f.Class.ClassName == Value->ClassName()) factory = f.Class.Create;
    if (!factory)
      for (const ClipboardEntry& e : r.clipboard)
        if (e.Class.ClassName == Value->ClassName()) factory = e.Class.Create;
  }
  if (!factory) throw EConvertError(Format("Cannot assign a %s to a %s", Value->ClassName(), ClassName()));
  std::unique_ptr<TGraphic> copy = factory();
  copy->Assign(Value);
  SetGraphic(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return b;
  SetGraphic(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(graphic_.get());
}

int32_t TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int32_t TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::Assign(const TPersistent* Source) {
  if (!Source) {
    SetGraphic(static_cast<TGraphic*>(nullptr));
    return;
  }
  if (auto* p = dynamic_cast<const TPicture*>(Source)) {
    SetGraphic(p->Graphic());
    return;
  }
  if (auto* g = dynamic_cast<const TGraphic*>(Source)) {
    SetGraphic(const_cast<TGraphic*>(g));
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  std::string ext = ExtractFileExt(FileName);
  if (!ext.empty()) ext.erase(0, 1);
  TGraphicFactory factory = FindFileFormat(ext);
  if (!factory) throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", ext.c_str()));
  std::unique_ptr<TGraphic> graphic = factory();
  graphic->OnProgress = [this](TObject* Sender, TProgressStage Stage, uint8_t Percent, bool Redraw,
                               const TRect& R, const std::string& Msg) {
    if (OnProgress) OnProgress(Sender, Stage, Percent, Redraw, R, Msg);
  };
  graphic->LoadFromFile(FileName);
  SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& FileName) {
  if (graphic_) graphic_->SaveToFile(FileName);
}

void TPicture::LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, HPALETTE Palette) {
  TGraphicFactory factory = FindClipboardFormat(Format);
  if (!factory) throw EInvalidGraphic("Unsupported clipboard format");
  std::unique_ptr<TGraphic> graphic = factory();
  graphic->LoadFromClipboardFormat(Format, Data, Palette);
  SetGraphic(std::move(graphic));
}

void TPicture::SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, HPALETTE& Palette) {
  if (graphic_) graphic_->SaveToClipboardFormat(Format, Data, Palette);
}

void TPicture::Changed(TObject* Sender) {
  if (OnChange) OnChange(Sender);
}

}  // namespace platform
