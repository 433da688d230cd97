#include "platform/ui/Dialogs.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/graphics/Canvas.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

namespace platform {

namespace {

using TIcon = TDialogRequest::TIcon;

// The box's icon: a disc with a sign, drawn row by row.
class TDialogIcon : public TGraphicControl {
public:
  TDialogIcon(TComponent* owner, TIcon icon) : TGraphicControl(owner), icon_(icon) { SetBounds(0, 0, 32, 32); }

protected:
  void Paint() override {
    TCanvas& canvas = Canvas();
    TColor disc = icon_ == TIcon::Error ? RGB(0xD0, 0x20, 0x20)
                  : icon_ == TIcon::Warning ? RGB(0xF0, 0xC0, 0x00)
                                            : RGB(0x20, 0x50, 0xC0);
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Brush().SetColor(disc);
    for (int y = 0; y < 32; ++y) {
      double dy = y + 0.5 - 16;
      int half = static_cast<int>(std::sqrt(std::max(0.0, 16.0 * 16.0 - dy * dy)) + 0.5);
      if (half > 0) canvas.FillRect(Rect(16 - half, y, 16 + half, y + 1));
    }
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.Font().SetName("Arial");
    canvas.Font().SetHeight(-22);
    canvas.Font().SetColor(icon_ == TIcon::Warning ? clBlack : clWhite);
    const char* sign = icon_ == TIcon::Error ? "X" : icon_ == TIcon::Warning ? "!" : icon_ == TIcon::Question ? "?" : "i";
    canvas.TextOut((32 - canvas.TextWidth(sign)) / 2, (32 - canvas.TextHeight(sign)) / 2, sign);
  }

private:
  TIcon icon_;
};

// A modal form with the icon, the text and a row of buttons.
int RunDialogForm(const TDialogRequest& request) {
  TForm form(nullptr);
  form.SetBorderStyle(TFormBorderStyle::bsDialog);
  form.SetPosition(TPosition::poScreenCenter);
  form.SetFormStyle(TFormStyle::fsStayOnTop);
  form.SetCaption(request.Caption);
  form.SetColor(clBtnFace);
  constexpr int margin = 12, buttonWidth = 75, buttonHeight = 25, gap = 8;
  int textLeft = margin;
  TDialogIcon* icon = nullptr;
  if (request.Icon != TIcon::None) {
    icon = new TDialogIcon(&form, request.Icon);
    icon->SetBounds(margin, margin, 32, 32);
    icon->SetParent(&form);
    textLeft = margin + 32 + margin;
  }
  auto* label = new TLabel(&form);
  label->SetShowAccelChar(false);
  label->Font().SetName("MS Sans Serif");
  label->Font().SetHeight(-11);
  label->SetLeft(textLeft);
  label->SetTop(margin);
  label->SetCaption(request.Text);
  label->SetParent(&form);
  int buttons = static_cast<int>(request.Buttons.size());
  int rowWidth = buttons * buttonWidth + std::max(0, buttons - 1) * gap;
  int contentWidth = std::max(label->Left() + label->Width() + margin, rowWidth + 2 * margin);
  int contentTop = std::max(label->Top() + label->Height(), icon ? margin + 32 : 0) + margin;
  form.SetBounds(0, 0, std::max(contentWidth, 160), contentTop + buttonHeight + margin);
  int result = -1;
  int x = (form.Width() - rowWidth) / 2;
  for (int i = 0; i < buttons; ++i) {
    auto* button = new TSpeedButton(&form);
    button->SetCaption(request.Buttons[static_cast<size_t>(i)]);
    button->Font().SetName("MS Sans Serif");
    button->Font().SetHeight(-11);
    button->SetBounds(x + i * (buttonWidth + gap), contentTop, buttonWidth, buttonHeight);
    button->OnClick = [&form, &result, i](TObject*) {
      result = i;
      form.SetModalResult(mrOk);
    };
    button->SetParent(&form);
  }
  // Enter answers with the first button, Escape with the last.
  form.OnKeyDown = [&form, &result, buttons](TObject*, uint16_t& key) {
    if (key == VK_RETURN || key == VK_ESCAPE) {
      result = key == VK_RETURN ? 0 : buttons - 1;
      form.SetModalResult(mrOk);
    }
  };
  form.ShowModal();
  // Closing the box another way answers like its last button (Cancel/No/OK).
  return result >= 0 ? result : buttons - 1;
}

int AskBackend(const TDialogRequest& request) {
  std::optional<int> answer = Backend().AnswerDialog(request);
  return answer ? *answer : RunDialogForm(request);
}

std::string Title() { return Application ? Application->Title() : std::string(); }

}  // namespace

int MessageBox(HWND, const char* text, const char* caption, unsigned type) {
  TDialogRequest request;
  request.Text = text ? text : "";
  request.Caption = caption ? caption : "Error";
  switch (type & 0xF0) {
    case MB_ICONERROR: request.Icon = TIcon::Error; break;
    case MB_ICONQUESTION: request.Icon = TIcon::Question; break;
    case MB_ICONWARNING: request.Icon = TIcon::Warning; break;
    case MB_ICONINFORMATION: request.Icon = TIcon::Information; break;
    default: break;
  }
  std::vector<int> ids;
  switch (type & 0x0F) {
    case MB_OKCANCEL: request.Buttons = {"OK", "Cancel"}; ids = {IDOK, IDCANCEL}; break;
    case MB_YESNOCANCEL: request.Buttons = {"Yes", "No", "Cancel"}; ids = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: request.Buttons = {"Yes", "No"}; ids = {IDYES, IDNO}; break;
    default: request.Buttons = {"OK"}; ids = {IDOK}; break;
  }
  int index = AskBackend(request);
  return ids.at(static_cast<size_t>(std::clamp(index, 0, static_cast<int>(ids.size()) - 1)));
}

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  TDialogRequest request;
  request.Text = msg;
  switch (type) {
    case TMsgDlgType::mtWarning: request.Caption = "Warning"; request.Icon = TIcon::Warning; break;
    case TMsgDlgType::mtError: request.Caption = "Error"; request.Icon = TIcon::Error; break;
    case TMsgDlgType::mtInformation: request.Caption = "Information"; request.Icon = TIcon::Information; break;
    case TMsgDlgType::mtConfirmation: request.Caption = "Confirm"; request.Icon = TIcon::Question; break;
    case TMsgDlgType::mtCustom: request.Caption = Title(); break;
  }
  struct TChoice {
    TMsgDlgButtons Flag;
    const char* Caption;
    int Result;
  };
  static const TChoice choices[] = {
      {mbYes, "Yes", mrYes}, {mbNo, "No", mrNo}, {mbOK, "OK", mrOk}, {mbCancel, "Cancel", mrCancel}};
  std::vector<int> results;
  for (const auto& c : choices) {
    if (buttons & c.Flag) {
      request.Buttons.push_back(c.Caption);
      results.push_back(c.Result);
    }
  }
  if (results.empty()) {
    request.Buttons = {"OK"};
    results = {mrOk};
  }
  int index = AskBackend(request);
  return results.at(static_cast<size_t>(std::clamp(index, 0, static_cast<int>(results.size()) - 1)));
}

void ShowMessage(const std::string& msg) { MessageDlg(msg, TMsgDlgType::mtCustom, mbOK, 0); }

}  // namespace platform
