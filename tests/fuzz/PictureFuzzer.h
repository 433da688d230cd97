#pragma once
// Shared by the picture-reader fuzz targets: load the bytes into a graphic
// and, when they load, draw it on a small surface, stretched and at its own
// size. Only EInvalidGraphic may come out of loading.

#include <cstddef>
#include <cstdint>

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Gdi.h"
#include "platform/graphics/Graphic.h"
#include "platform/rtl/Exceptions.h"

namespace fuzz {

inline void LoadAndDraw(platform::TGraphic& Graphic, const uint8_t* Data, size_t Size) {
  platform::TMemoryStream stream;
  stream.Write(Data, static_cast<int32_t>(Size));
  stream.SetPosition(0);
  try {
    Graphic.LoadFromStream(stream);
  } catch (const platform::EInvalidGraphic&) {
    return;
  }
  platform::BITMAPINFO info{};
  info.bmiHeader.biWidth = 48;
  info.bmiHeader.biHeight = -48;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  platform::HBITMAP bitmap = platform::CreateDIBSection(nullptr, &info, platform::DIB_RGB_COLORS, &bits, nullptr, 0);
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  platform::HBITMAP old = platform::SelectObject(dc, bitmap);
  {
    platform::TCanvas canvas;
    canvas.SetHandle(dc);
    canvas.StretchDraw({2, 3, 45, 40}, &Graphic);
    if (Graphic.Width() <= 4096 && Graphic.Height() <= 4096) canvas.Draw(-5, -5, &Graphic);
    canvas.SetHandle(nullptr);
  }
  platform::SelectObject(dc, old);
  platform::DeleteDC(dc);
  platform::DeleteObject(bitmap);
}

}  // namespace fuzz
