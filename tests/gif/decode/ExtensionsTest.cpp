// Extension blocks: reading, the registries, and writing back.

#include <gtest/gtest.h>

#include "gif/decode/Extensions.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;
using giftest::Load;
using giftest::Screen;

// A 2x2 picture whose only frame carries Ext in front of its image.
Bytes WithExtension(const Bytes& ext) {
  auto b = Screen(2, 2);
  b.Raw(ext).Frame(0, 0, 2, 2, {0, 1, 2, 3});
  return b.Trailer().bytes;
}

Bytes AppBlock(int size, const std::string& id, const Bytes& data) {
  GifBuilder b;
  b.Raw({0x21, 0xFF, size}).Text(id).Raw(data);
  return b.bytes;
}

template <class T>
T* ExtensionOf(const giftest::Loaded& loaded, int index = 0) {
  return dynamic_cast<T*>(loaded.Frame(0).ExtensionList->ExtensionAt(index));
}

Bytes Saved(gif::TGIFExtension& ext) {
  platform::TMemoryStream out;
  ext.SaveToStream(out);
  return giftest::BytesOf(out);
}

TEST(Extensions, GraphicControlFields) {
  auto loaded = Load(WithExtension(GifBuilder().Gce(10, 2, true, 5).bytes));
  ASSERT_EQ(loaded.error, "");
  auto* gce = ExtensionOf<gif::TGIFGraphicControlExtension>(loaded);
  ASSERT_NE(gce, nullptr);
  EXPECT_EQ(gce->DelayTime(), 10);
  EXPECT_EQ(gce->DisposalMethod(), 2);
  EXPECT_TRUE(gce->TransparentColorFlag());
  EXPECT_EQ(gce->TransparentColorIndex(), 5);
  EXPECT_TRUE(loaded.Frame(0).HasTransparency);
  EXPECT_EQ(loaded.Frame(0).ControlExtension, gce);
  EXPECT_EQ(Saved(*gce), GifBuilder().Gce(10, 2, true, 5).bytes);
  EXPECT_EQ(gce->RequiredVersion(), gif::Version89a);
}

TEST(Extensions, FirstGraphicControlIsTheFramesAndIsNotReplaced) {
  auto loaded = Load(WithExtension(GifBuilder().Gce(1, 0, false, 0).Gce(2, 0, true, 1).bytes));
  ASSERT_EQ(loaded.error, "");
  auto& frame = loaded.Frame(0);
  auto* first = ExtensionOf<gif::TGIFGraphicControlExtension>(loaded, 0);
  EXPECT_EQ(frame.ControlExtension, first);
  EXPECT_TRUE(frame.HasTransparency);  // set by the second one
  frame.ExtensionList->DeleteItem(0);
  EXPECT_EQ(frame.ControlExtension, nullptr);
  frame.ExtensionList->DeleteItem(0);
  EXPECT_FALSE(frame.HasTransparency);
}

TEST(Extensions, ShortGraphicControlWarns) {
  auto b = Screen(2, 2);
  b.Raw({0x21, 0xF9, 4, 1, 0});
  auto loaded = Load(b.bytes);
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"TGIFGraphicControlExtension: Premature end of data"});
  ASSERT_EQ(loaded.FrameCount(), 1);
  EXPECT_FALSE(loaded.Frame(0).HasTransparency);
}

struct RefusedCase {
  const char* name;
  Bytes ext;
  std::string error;
  bool at_end = false;  // the stream ends after the block instead of a frame following
};

class RefusedExtension : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedExtension, RefusesTheFile) {
  const RefusedCase& c = GetParam();
  auto loaded = Load(c.at_end ? Screen(2, 2).Raw(c.ext).bytes : WithExtension(c.ext));
  EXPECT_EQ(loaded.error, c.error);
  EXPECT_EQ(loaded.FrameCount(), 0);
  EXPECT_EQ(loaded.image->GetWidth(), 2);  // the header stays
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, RefusedExtension,
    testing::Values(
        RefusedCase{"UnknownLabel", {0x21, 0x02, 1, 0, 0}, "GIFException: Unknown extension type"},
        RefusedCase{"LoopSubBlockSize4", AppBlock(11, "NETSCAPE2.0", {4, 1, 0, 0, 0, 0}),
                    "GIFException: Invalid GIF data"},
        RefusedCase{"LoopSubBlockId2", AppBlock(11, "NETSCAPE2.0", {3, 2, 0, 0, 0}), "GIFException: Invalid GIF data"},
        RefusedCase{"LoopWithoutTerminator", AppBlock(11, "NETSCAPE2.0", {3, 1, 0, 0, 7}),
                    "GIFException: Invalid GIF data"},
        RefusedCase{"AppBlockSize9", AppBlock(9, "NETSCAPE", {1, 0}),
                    "GIFException: Unsupported Application Extension block size"},
        RefusedCase{"ShortComment", {0x21, 0xFE, 10, 'a', 'b'}, "GIFException: Premature end of data", true},
        RefusedCase{"ShortPlainText", {0x21, 0x01, 12, 0, 0}, "GIFException: Premature end of data", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The stream ends inside an application block.
TEST(Extensions, StreamEndingInsideApplicationBlocks) {
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{0x21, 0xFF}, "GIFException: Unknown extension type"},
      {AppBlock(10, "ABCDEFGH", {}), "GIFException: Unknown extension type"},
      // The loop class looks for its sub-block size while resolving.
      {AppBlock(11, "NETSCAPE2.0", {}), "GIFException: Unknown extension type"},
      {AppBlock(11, "NETSCAPE2.0", {3, 1}), "GIFException: Premature end of data"},
      {AppBlock(11, "NETSCAPE2.0", {3, 1, 5, 0}), "GIFException: Premature end of data"},
  };
  for (const auto& [bytes, error] : cases) {
    auto b = Screen(2, 2);
    auto loaded = Load(b.Raw(bytes).bytes);
    EXPECT_EQ(loaded.error, error) << testing::PrintToString(bytes);
  }
}

TEST(Extensions, LoopBlocksInStreamOrder) {
  auto loaded = Load(WithExtension(GifBuilder().Loop(0).Loop(7, "ANIMEXTS1.0").bytes));
  ASSERT_EQ(loaded.error, "");
  auto* first = ExtensionOf<gif::TGIFAppExtNSLoop>(loaded, 0);
  auto* second = ExtensionOf<gif::TGIFAppExtNSLoop>(loaded, 1);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->LoopCount, 0);
  EXPECT_EQ(second->LoopCount, 7);
  EXPECT_EQ(Saved(*second), GifBuilder().Loop(7, "ANIMEXTS1.0").bytes);
}

TEST(Extensions, UnknownApplicationsAreKeptRaw) {
  const struct {
    Bytes in, out;
  } cases[] = {
      // Unregistered identifier: the same bytes come back.
      {AppBlock(11, "XMP DataXMP", {3, 'a', 'b', 'c', 1, 'd', 0}), AppBlock(11, "XMP DataXMP", {3, 'a', 'b', 'c', 1, 'd', 0})},
      // Size 10, whatever the identifier: written with size 11 and a zero 11th byte.
      {AppBlock(10, "NETSCAPE2.", {2, 'x', 'y', 0}), [] {
         Bytes b = AppBlock(11, "NETSCAPE2.", {});
         b.push_back(0);
         for (int v : std::initializer_list<int>{2, 'x', 'y', 0}) b.push_back(static_cast<uint8_t>(v));
         return b;
       }()},
      // Longer identifier blocks come back whole.
      {AppBlock(14, "NETSCAPE2.0abc", {3, 1, 0, 0, 0}), AppBlock(14, "NETSCAPE2.0abc", {3, 1, 0, 0, 0})},
  };
  for (const auto& c : cases) {
    auto loaded = Load(WithExtension(c.in));
    ASSERT_EQ(loaded.error, "") << testing::PrintToString(c.in);
    auto* app = ExtensionOf<gif::TGIFUnknownAppExtension>(loaded);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(Saved(*app), c.out);
  }
}

TEST(Extensions, CommentSubBlocksAndStrings) {
  const std::string s255(255, 'a'), s45(45, 'b');
  auto loaded = Load(WithExtension(GifBuilder().Comment({s255, s45, std::string("ab\0cd", 5)}).bytes));
  ASSERT_EQ(loaded.error, "");
  auto* comment = ExtensionOf<gif::TGIFCommentExtension>(loaded);
  ASSERT_NE(comment, nullptr);
  ASSERT_EQ(comment->CommentLines.Count(), 3);
  EXPECT_EQ(comment->CommentLines[0], s255);
  EXPECT_EQ(comment->CommentLines[1], s45);
  EXPECT_EQ(comment->CommentLines[2], "ab");  // cut at the zero byte

  const struct {
    std::vector<std::string> lines;
    Bytes out;
  } writes[] = {
      {{std::string(300, 'x')}, GifBuilder().Comment({std::string(255, 'x'), std::string(45, 'x')}).bytes},
      {{std::string(10, 'p'), std::string(10, 'q')},
       GifBuilder().Comment({std::string(10, 'p'), std::string(10, 'q')}).bytes},
      {{""}, GifBuilder().Comment({}).bytes},
  };
  for (const auto& w : writes) {
    gif::TGIFCommentExtension ext(nullptr);
    for (const auto& line : w.lines) ext.CommentLines.Add(line);
    EXPECT_EQ(Saved(ext), w.out);
  }
}

TEST(Extensions, PlainTextRoundTrip) {
  GifBuilder text;
  text.Raw({0x21, 0x01, 12}).U16(1).U16(2).U16(30).U16(40).Raw({8, 16, 1, 0, 5}).Text("hello").Raw({0});
  auto loaded = Load(WithExtension(text.bytes));
  ASSERT_EQ(loaded.error, "");
  auto* ext = ExtensionOf<gif::TGIFTextExtension>(loaded);
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(ext->PlainTextBlock.TextGridWidth, 30);
  EXPECT_EQ(ext->PlainTextBlock.CharacterCellHeight, 16);
  ASSERT_EQ(ext->TextLines.Count(), 1);
  EXPECT_EQ(ext->TextLines[0], "hello");
  EXPECT_EQ(Saved(*ext), text.bytes);
}

TEST(Extensions, InvalidIntroducerInsideTheListWarns) {
  // A GCE, then a byte that is no introducer: the list stops, the frame
  // takes that byte as its image separator.
  auto b = Screen(2, 2);
  b.Gce(0, 0, false, 0).Raw({0x2D}).U16(0).U16(0).U16(2).U16(2).Raw({0}).Pixels({0, 1, 2, 3});
  auto loaded = Load(b.Trailer().bytes);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"TGIFExtensionList: Invalid extension introducer"});
  EXPECT_EQ(loaded.Frame(0).ImageDescriptor.ImageSeparator, 0x2D);
  EXPECT_EQ(loaded.Frame(0).PixelBytes, 4);
}

TEST(Extensions, RegistriesPreferTheLaterEntry) {
  auto& labels = gif::ExtensionRegistry();
  EXPECT_EQ(labels.ClassForLabel(0xF9), &gif::TGIFGraphicControlExtension::Class);
  EXPECT_EQ(labels.ClassForLabel(0x02), nullptr);
  auto& ids = gif::AppExtensionRegistry();
  EXPECT_EQ(ids.ClassForIdentifier(reinterpret_cast<const uint8_t*>("ANIMEXTS1.0")), &gif::TGIFAppExtNSLoop::Class);
  EXPECT_EQ(ids.ClassForIdentifier(reinterpret_cast<const uint8_t*>("netscape2.0")), nullptr);
  labels.RegisterLabel(0x02, &gif::TGIFCommentExtension::Class);
  auto loaded = Load(WithExtension({0x21, 0x02, 1, 'z', 0}));
  // The comment class reads it but finds a label that is not its own.
  EXPECT_EQ(loaded.error, "GIFException: Internal error: Extension Instance does not match Extension Label");
  gif::FreeExtensionRegistries();  // back to the built-in entries on next use
  EXPECT_EQ(gif::ExtensionRegistry().ClassForLabel(0x02), nullptr);
}

TEST(Extensions, TransparentIndexIsCheckedAgainstTheColourMap) {
  auto loaded = Load(WithExtension(GifBuilder().Gce(0, 0, true, 1).bytes));
  auto* gce = ExtensionOf<gif::TGIFGraphicControlExtension>(loaded);
  ASSERT_NE(gce, nullptr);
  gce->SetTransparentColorIndex(3);
  EXPECT_EQ(gce->TransparentColorIndex(), 3);
  EXPECT_TRUE(loaded.warnings.empty());
  gce->SetTransparentColorIndex(4);
  EXPECT_EQ(gce->TransparentColorIndex(), 0);
  EXPECT_EQ(loaded.warnings, std::vector<std::string>{"TGIFGraphicControlExtension: Invalid color index"});
}

}  // namespace
