#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/x11/X11Backend.h"
#include "tests/ui/UiTestSupport.h"

using namespace platform;

namespace {

class ClipboardTest : public uitest::HeadlessTest {};

TEST_F(ClipboardTest, FormatsCollectWhileOpenAndReplaceOtherwise) {
  uint16_t gif = RegisterClipboardFormat("GIF Image");
  EXPECT_EQ(RegisterClipboardFormat("gif image"), gif);
  TClipboard& clipboard = Clipboard();
  clipboard.Open();
  clipboard.Clear();
  clipboard.SetClipboardData(gif, {'G', 'I', 'F'});
  clipboard.SetAsText("hello");
  EXPECT_TRUE(headless_->ClipboardFormats().empty());  // nothing reaches the desktop before Close
  clipboard.Close();
  EXPECT_EQ(headless_->ClipboardFormats().size(), 2u);
  std::vector<uint8_t> data;
  ASSERT_TRUE(GetClipboardData(gif, data));  // the graphics layer's view
  EXPECT_EQ(data, (std::vector<uint8_t>{'G', 'I', 'F'}));
  EXPECT_EQ(clipboard.AsText(), "hello");
  clipboard.SetAsText("only");
  EXPECT_FALSE(clipboard.HasFormat(gif));
  EXPECT_EQ(clipboard.AsText(), "only");
}

TEST_F(ClipboardTest, PicturesTravelInTheirOwnFormat) {
  TBitmap bitmap;
  bitmap.SetSize(3, 2);
  bitmap.Canvas().Brush().SetColor(clTeal);
  bitmap.Canvas().FillRect(Rect(0, 0, 3, 2));
  Clipboard().Assign(bitmap);
  EXPECT_TRUE(Clipboard().HasFormat(CF_DIB));
  TPicture picture;
  ASSERT_TRUE(Clipboard().GetPicture(picture));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Bitmap()->Canvas().Pixel(2, 1), clTeal);
  TBitmap empty;
  Clipboard().Assign(empty);  // an empty picture changes nothing
  EXPECT_TRUE(Clipboard().HasFormat(CF_DIB));
}

TEST(ClipboardTargetTest, FormatsMapToSelectionTargets) {
  EXPECT_EQ(ClipboardTarget(RegisterClipboardFormat("GIF Image")), "image/gif");
  EXPECT_EQ(ClipboardTarget(CF_DIB), "image/bmp");
  EXPECT_EQ(ClipboardTarget(CF_BITMAP), "image/bmp");
  EXPECT_EQ(ClipboardTarget(CF_TEXT), "UTF8_STRING");
  EXPECT_EQ(ClipboardTarget(RegisterClipboardFormat("Rich Text")), "Rich Text");
}

}  // namespace
