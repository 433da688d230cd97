#pragma once
// The launcher window: title, picture, "CD" and "X" buttons, the advert
// label and one button per entry of the data folder, styled by options.ini.

#include <string>

#include "platform/ui/Forms.h"

namespace platform {
class TBevel;
class TImage;
class TLabel;
class TSpeedButton;
}  // namespace platform

namespace controls {
class TOutlLabel;
}

namespace launcher {

class TForm1 : public platform::TForm {
public:
  // Builds the fixed layout; OnCreate runs FormCreate.
  explicit TForm1(platform::TComponent* Owner);
  const char* ClassName() const noexcept override { return "TForm1"; }

  // Owned by the form as its components.
  platform::TLabel* Label1 = nullptr;
  platform::TSpeedButton* SpeedButton1 = nullptr;  // invisible template of the entry buttons
  platform::TImage* Image1 = nullptr;
  platform::TSpeedButton* SpeedButton2 = nullptr;  // "X"
  platform::TSpeedButton* SpeedButton3 = nullptr;  // "CD"
  platform::TBevel* Bevel1 = nullptr;
  controls::TOutlLabel* OutLabel1 = nullptr;

  // Reads options.ini, loads the picture, makes the entry buttons.
  void FormCreate(platform::TObject* Sender);
  // Opens the clicked entry button's path (its hint) and closes.
  void SpeedButton1Click(platform::TObject* Sender);
  void SpeedButton2Click(platform::TObject* Sender);
  void Image1Click(platform::TObject* Sender);
  // Starts the file manager on the program's folder; the window stops
  // staying on top.
  void SpeedButton3Click(platform::TObject* Sender);
  void OutLabel1Click(platform::TObject* Sender);

private:
  void ReadOptions(const std::string& FileName, std::string& ImageName);
  void MakeEntryButtons(const std::string& Folder);
};

// The launcher window; set before its creation handler runs.
extern TForm1* Form1;

}  // namespace launcher
