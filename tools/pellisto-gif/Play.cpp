// pellisto-gif play FILE: the picture in a window of its own size,
// animated by its painter; Escape or the window's close button ends it.

#include <memory>
#include <string>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "tools/pellisto-gif/Command.h"

namespace tools {

int RunPlay(const Args& args) {
  if (args.size() != 1) throw UsageError{"play needs FILE"};
  LoadedGif loaded = LoadGif(args[0]);
  const int32_t w = loaded.Image->GetWidth(), h = loaded.Image->GetHeight();

  platform::TApplication application;
  application.Initialize();
  application.SetTitle("pellisto-gif");
  platform::TForm* form = nullptr;
  application.CreateForm(form);
  form->SetCaption(args[0]);
  form->SetPosition(platform::TPosition::poScreenCenter);
  form->SetBorderStyle(platform::TFormBorderStyle::bsSingle);
  form->SetClientWidth(w > 0 ? w : 1);
  form->SetClientHeight(h > 0 ? h : 1);
  form->OnKeyDown = [form](platform::TObject*, uint16_t& key) {
    if (key == platform::VK_ESCAPE) form->Close();
  };
  auto* image = new platform::TImage(form);
  image->SetParent(form);
  image->SetBounds(0, 0, w, h);
  image->Picture().SetGraphic(std::unique_ptr<platform::TGraphic>(std::move(loaded.Image)));
  application.Run();
  return 0;
}

}  // namespace tools
