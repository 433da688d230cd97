#pragma once
// The form the end-to-end tests look at: borderless, stay-on-top, centred,
// with a bevel, a label, two flat buttons and an image. The same form is
// painted by the headless backend in the tests, so the screen can be
// compared with the back buffer pixel for pixel.

#include <string>

#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TProbeForm : public platform::TForm {
public:
  explicit TProbeForm(platform::TComponent* Owner);
  const char* ClassName() const noexcept override { return "TProbeForm"; }

  platform::TBevel* Bevel1;
  platform::TLabel* Label1;
  platform::TSpeedButton* CloseButton;  // "X": prints "clicked"
  platform::TSpeedButton* NormalButton; // "N": leaves the stay-on-top style
  platform::TImage* Image1;
};

inline constexpr int kProbeWidth = 300, kProbeHeight = 160;

// Runs the probe form as the application titled Title; prints
// "window <id>" when it is shown and "clicked" for each click on "X".
int RunProbeForm(const std::string& Title);
