#include "app/Unit1.h"

#include <memory>
#include <vector>

#include "app/Maker.h"
#include "controls/OutlLabel.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"
#include "platform/rtl/Files.h"
#include "platform/rtl/IniFiles.h"
#include "platform/rtl/SysUtils.h"
#include "platform/shell/Shell.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"

namespace launcher {

using namespace platform;

TForm1* Form1 = nullptr;

namespace {

constexpr const char* Section = "kelvane1";
constexpr int ButtonGap = 8;
constexpr int MaxButtons = 9;
// The buffer the "CD" button first asks the Windows directory into.
constexpr uint32_t WindowsDirectoryBuffer = 144;

// Reading options.ini stops at the first colour value that is neither a
// colour name nor an integer; the values applied before it stay.
struct TStopReading {};

TColor ColourValue(const std::string& text) {
  TColor color = 0;
  if (!TryStringToColor(text, color)) throw TStopReading{};
  return color;
}

std::string EntryCaption(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The whole Windows directory, however long: the fixed buffer is only the
// first try.
std::string WindowsDirectory() {
  std::vector<char> buffer(WindowsDirectoryBuffer);
  uint32_t length = GetWindowsDirectory(buffer.data(), static_cast<uint32_t>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = GetWindowsDirectory(buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (length >= buffer.size()) return {};
  }
  return std::string(buffer.data(), length);
}

void OpenWithShell(const std::string& target) {
  ShellExecute(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

template <class T>
T* Place(TForm1* form, int left, int top, int width, int height) {
  auto* control = new T(form);
  control->SetBounds(left, top, width, height);
  return control;
}

void SetFont(TFont& font, const char* name, int height, TColor color) {
  font.SetName(name);
  font.SetHeight(height);
  font.SetColor(color);
}

}  // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner) {
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetFormStyle(TFormStyle::fsStayOnTop);
  SetPosition(TPosition::poScreenCenter);
  SetCaption("Install");
  SetClientWidth(514);
  SetClientHeight(354);
  SetColor(clBlack);
  SetFont(Font(), "MS Sans Serif", -11, clWindowText);

  // Made in the layout's field order; given their parent in z-order,
  // bottom first.
  Label1 = Place<TLabel>(this, 16, 8, 132, 61);
  Label1->SetName("Label1");
  SetFont(Label1->Font(), "Times New Roman", -53, clWhite);
  Label1->SetCaption("Install");

  SpeedButton1 = Place<TSpeedButton>(this, 104, 96, 305, 33);
  SpeedButton1->SetName("SpeedButton1");
  SpeedButton1->SetFlat(true);
  SpeedButton1->SetVisible(false);
  SpeedButton1->OnClick = [this](TObject* sender) { SpeedButton1Click(sender); };

  Image1 = Place<TImage>(this, 64, 264, 437, 86);
  Image1->SetName("Image1");
  Image1->SetTransparent(true);
  Image1->OnClick = [this](TObject* sender) { Image1Click(sender); };

  SpeedButton2 = Place<TSpeedButton>(this, 448, 24, 49, 25);
  SpeedButton2->SetName("SpeedButton2");
  SpeedButton2->SetFlat(true);
  SpeedButton2->SetCaption("X");
  SetFont(SpeedButton2->Font(), "MS Sans Serif", -11, clWhite);
  SpeedButton2->OnClick = [this](TObject* sender) { SpeedButton2Click(sender); };

  SpeedButton3 = Place<TSpeedButton>(this, 392, 24, 49, 25);
  SpeedButton3->SetName("SpeedButton3");
  SpeedButton3->SetFlat(true);
  SpeedButton3->SetCaption("CD");
  SetFont(SpeedButton3->Font(), "MS Sans Serif", -11, clWhite);
  SpeedButton3->OnClick = [this](TObject* sender) { SpeedButton3Click(sender); };

  Bevel1 = Place<TBevel>(this, 0, 0, 514, 354);
  Bevel1->SetName("Bevel1");
  Bevel1->SetStyle(TBevelStyle::bsRaised);
  Bevel1->SetAlign(TAlign::alClient);

  OutLabel1 = Place<controls::TOutlLabel>(this, 68, 332, 386, 13);
  OutLabel1->SetName("OutLabel1");
  OutLabel1->SetCursor(crHandPoint);
  OutLabel1->SetTransparent(true);
  OutLabel1->SetColor(clWhite);
  SetFont(OutLabel1->Font(), "MS Sans Serif", -11, clWhite);
  OutLabel1->SetCaption(std::string("Made with Pellisto - ") + MakerHostName);
  OutLabel1->OnClick = [this](TObject* sender) { OutLabel1Click(sender); };

  for (TControl* control : std::vector<TControl*>{Bevel1, Label1, SpeedButton1, Image1, SpeedButton2,
                                                  SpeedButton3, OutLabel1})
    control->SetParent(this);

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

void TForm1::ReadOptions(const std::string& fileName, std::string& imageName) {
  auto ini = std::make_unique<TIniFile>(fileName);
  try {
    Label1->SetCaption(ini->ReadString(Section, "label", "Install"));
    Label1->Font().SetColor(ColourValue(ini->ReadString(Section, "labelcolor", "$FFFFFF")));
    SpeedButton2->Font().SetColor(ColourValue(ini->ReadString(Section, "buttoncolor", "$FFFFFF")));
    int32_t height = 0;
    if (TryStrToInt(ini->ReadString(Section, "buttonheight", ""), height)) SpeedButton1->SetHeight(height);
    SpeedButton3->Font().SetColor(SpeedButton2->Font().Color());
    SetColor(ColourValue(ini->ReadString(Section, "backgroundcolor", "$000000")));
    Image1->SetHint(ini->ReadString(Section, "imageURL", MakerWebAddress));
    imageName = ini->ReadString(Section, "image", "");
  } catch (...) {
    // A bad value, or any other failure while reading, ends the reading
    // silently; the start goes on with what was applied.
  }
}

void TForm1::FormCreate(TObject*) {
  const std::string folder = ProgramFolder();

  std::string imageName;
  if (FileExists(folder + "options.ini")) ReadOptions(folder + "options.ini", imageName);

  const std::string picture = folder + (imageName.empty() ? std::string("picture.gif") : imageName);
  // A picture that cannot be loaded ends the creation here: the
  // application's error box reports it, and the window opens without the
  // shift and without entry buttons.
  if (FileExists(picture)) Image1->Picture().LoadFromFile(picture);

  SpeedButton1->SetTop(SpeedButton1->Top() - OutLabel1->Height());
  Image1->SetTop(Image1->Top() - OutLabel1->Height());

  MakeEntryButtons(IncludeTrailingPathDelimiter(folder) + "data/");
}

void TForm1::MakeEntryButtons(const std::string& dataFolder) {
  const int32_t everything = faReadOnly | faHidden | faSysFile | faVolumeID | faDirectory | faArchive;
  const int step = SpeedButton1->Height() + ButtonGap;
  int n = 0;
  TSearchRec entry;
  auto isSelfOrParent = [](const std::string& name) { return name == "." || name == ".."; };
  // "." and ".." may come anywhere in the listing; they are never entries,
  // so they neither get a button nor count towards the limit.
  auto next = [&]() {
    while (FindNext(entry) == 0)
      if (!isSelfOrParent(entry.Name)) return true;
    return false;
  };
  bool found = FindFirst(dataFolder + "*.*", everything, entry) == 0;
  if (found && isSelfOrParent(entry.Name)) found = next();
  while (found) {
    auto* button = new TSpeedButton(this);
    button->SetWidth(SpeedButton1->Width());
    button->SetHeight(SpeedButton1->Height());
    button->SetLeft(SpeedButton1->Left());
    button->SetTop(SpeedButton1->Top() + n * step);
    button->SetHint(dataFolder + entry.Name);
    button->SetCaption(EntryCaption(entry.Name));
    button->SetFlat(true);
    button->Font().SetColor(SpeedButton2->Font().Color());
    button->Font().SetName("Arial");
    button->Font().SetSize(14);
    button->OnClick = SpeedButton1->OnClick;
    button->SetParent(this);
    ++n;
    found = next();
    if (found && n >= MaxButtons) {
      MessageDlg(std::string("Max is 9 buttons.\rPlease get Kelvane3 for Web-like presentations with "
                             "unlimited buttons.\r") +
                     MakerHostName,
                 TMsgDlgType::mtCustom, mbOK, 0);
      break;
    }
  }
  FindClose(entry);

  if (n > 4) {
    const int extra = step * (n - 4);
    SetClientHeight(ClientHeight() + extra);
    Image1->SetTop(Image1->Top() + extra);
  }
}

void TForm1::SpeedButton1Click(TObject* sender) {
  // The outcome is not examined: the launcher closes even when nothing opened.
  if (auto* button = dynamic_cast<TControl*>(sender)) OpenWithShell(button->Hint());
  Close();
}

void TForm1::SpeedButton2Click(TObject*) { Close(); }

void TForm1::Image1Click(TObject*) { OpenWithShell(Image1->Hint()); }

void TForm1::SpeedButton3Click(TObject*) {
  const std::string windows = WindowsDirectory();
  const bool explorer = !windows.empty() && FileExists(IncludeTrailingPathDelimiter(windows) + "explorer.exe");
  // Built at its full length: a long program folder is never cut.
  const std::string command = (explorer ? "EXPLORER " : "WINFILE ") + ProgramFolder();
  WinExec(command.c_str(), SW_SHOW);
  SetFormStyle(TFormStyle::fsNormal);
}

void TForm1::OutLabel1Click(TObject*) { OpenWithShell(MakerWebAddress); }

}  // namespace launcher
