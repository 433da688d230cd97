#include "tests/e2e/ProbeForm.h"

#include <cstdio>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"

using namespace platform;

TProbeForm::TProbeForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetFormStyle(TFormStyle::fsStayOnTop);
  SetPosition(TPosition::poScreenCenter);
  SetClientWidth(kProbeWidth);
  SetClientHeight(kProbeHeight);
  SetColor(clBlack);
  SetCaption("Probe");

  Bevel1 = new TBevel(this);
  Bevel1->SetAlign(TAlign::alClient);
  Bevel1->SetStyle(TBevelStyle::bsRaised);
  Bevel1->SetParent(this);

  Label1 = new TLabel(this);
  Label1->SetBounds(16, 8, 132, 61);
  Label1->Font().SetName("Times New Roman");
  Label1->Font().SetHeight(-53);
  Label1->Font().SetColor(clWhite);
  Label1->SetCaption("Install");
  Label1->SetParent(this);

  CloseButton = new TSpeedButton(this);
  CloseButton->SetFlat(true);
  CloseButton->SetBounds(240, 16, 49, 25);
  CloseButton->SetCaption("X");
  CloseButton->Font().SetColor(clWhite);
  CloseButton->SetParent(this);

  NormalButton = new TSpeedButton(this);
  NormalButton->SetFlat(true);
  NormalButton->SetBounds(184, 16, 49, 25);
  NormalButton->SetCaption("N");
  NormalButton->Font().SetColor(clWhite);
  NormalButton->SetParent(this);

  Image1 = new TImage(this);
  Image1->SetBounds(16, 90, 200, 60);
  Image1->SetTransparent(true);
  TBitmap picture;
  picture.SetSize(64, 32);
  const TColor stripes[] = {clRed, clLime, clBlue, clYellow};
  for (int i = 0; i < 4; ++i) {
    picture.Canvas().Brush().SetColor(stripes[i]);
    picture.Canvas().FillRect(Rect(i * 16, 0, i * 16 + 16, 32));
  }
  Image1->Picture().Assign(&picture);
  Image1->SetParent(this);
}

int RunProbeForm(const std::string& title) {
  TApplication application;
  application.Initialize();
  application.SetTitle(title);
  TProbeForm* form = nullptr;
  application.CreateForm(form);
  form->CloseButton->OnClick = [](TObject*) {
    std::printf("clicked\n");
    std::fflush(stdout);
  };
  form->NormalButton->OnClick = [form](TObject*) {
    form->SetFormStyle(TFormStyle::fsNormal);
    std::printf("normal\n");
    std::fflush(stdout);
  };
  form->OnShow = [form](TObject*) {
    std::printf("window %llu\n", static_cast<unsigned long long>(form->BackendWindow()->NativeHandle()));
    std::fflush(stdout);
  };
  application.Run();
  return 0;
}
