// The external GIF decoder conformance suite: for every test, the size,
// the first frame's colours wherever the expected frame is opaque, the loop
// count and the delays. Cases where this system deliberately reads a file
// otherwise are listed in kDifferences, each with its reason and what this
// system does instead.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Extensions.h"
#include "tests/conformance/SuiteConf.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

const std::string kSuite = std::string(PELLISTO_SHARED_DIR) + "/gif-test-suite/";

// How this system differs from the suite's expectation.
struct Difference {
  const char* test;
  const char* reason;
  const char* error;     // the load error this system raises, or "" when it loads
  bool colours_differ;   // the first frame's colours are not the suite's
  bool timing_differs;   // frame count, delays or loop count are not the suite's
};

constexpr char kOneFramePerImage[] =
    "every image block is a frame of its own, with the extensions in front of it; the suite joins "
    "images without a graphic control extension into the frame before";
constexpr char kStrictLoop[] =
    "the loop block must be exactly the loop sub-block and a terminator; a second (buffering) "
    "sub-block makes it malformed and refuses the file";

const Difference kDifferences[] = {
    {"unknown-extension", "an extension label without a registered class refuses the whole file",
     "GIFException: Unknown extension type", false, false},
    {"loop-buffer", kStrictLoop, "GIFException: Invalid GIF data", false, false},
    {"loop-buffer_max", kStrictLoop, "GIFException: Invalid GIF data", false, false},
    {"loop-animexts", kStrictLoop, "GIFException: Invalid GIF data", false, false},
    {"image-zero-width",
     "a frame of width 0 takes the screen's size and reads on: here the trailer byte stands where the "
     "LZW code size is expected, and a code size above 11 is refused",
     "GIFException: Invalid LZW code size", false, false},
    {"image-zero-height",
     "a frame of height 0 takes the screen's size and reads on: its announced local colour table is "
     "missing",
     "GIFException: Premature end of data", false, false},
    {"image-zero-size",
     "a frame of size 0 takes the screen's size and reads on: its announced local colour table is "
     "missing",
     "GIFException: Premature end of data", false, false},
    {"overflow-codes", "an LZW code size above 11 is refused (the suite refuses the file too)",
     "GIFException: Invalid LZW code size", false, false},
    {"overflow-codes-max", "an LZW code size above 11 is refused (the suite refuses the file too)",
     "GIFException: Invalid LZW code size", false, false},
    {"gif87a-animation", "a picture without a loop extension has no loop count; the suite forces an endless loop",
     "", false, true},
    {"dispose-restore-previous", kOneFramePerImage, "", true, true},
    {"images-combine", kOneFramePerImage, "", true, true},
    {"images-overlap", kOneFramePerImage, "", true, true},
    {"high-color", kOneFramePerImage, "", true, true},
    {"no-data", "a picture without image blocks has no frames; the suite counts one empty frame", "", false, true},
    {"animation-multi-image", kOneFramePerImage, "", false, true},
    {"animation-multi-image-explicit-zero-delay", kOneFramePerImage, "", false, true},
};

const Difference* DifferenceFor(const std::string& test) {
  for (const Difference& d : kDifferences)
    if (test == d.test) return &d;
  return nullptr;
}

using suiteconf::Ini;
using suiteconf::ReadConf;
using suiteconf::Split;

giftest::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return giftest::Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> SuiteTests() {
  std::vector<std::string> names;
  std::ifstream in(kSuite + "TESTS");
  std::string name;
  while (in >> name) names.push_back(name);
  return names;
}

int LoopCountOf(const gif::TGIFImage& image) {
  for (int i = 0; i < image.Frames->ItemCount(); ++i) {
    const auto& list = *image.Frames->FrameAt(i)->ExtensionList;
    for (int k = 0; k < list.ItemCount(); ++k)
      if (auto* loop = dynamic_cast<const gif::TGIFAppExtNSLoop*>(list.ExtensionAt(k))) return loop->LoopCount;
  }
  return -1;
}

// Frames that carry an image, as the suite counts them.
std::vector<const gif::TGIFSubImage*> ImageFrames(const gif::TGIFImage& image) {
  std::vector<const gif::TGIFSubImage*> frames;
  for (int i = 0; i < image.Frames->ItemCount(); ++i)
    if (!image.Frames->FrameAt(i)->IsEmptyFrame()) frames.push_back(image.Frames->FrameAt(i));
  return frames;
}

// Number of opaque expected pixels where the first frame's colour differs.
size_t FirstFrameMismatches(const gif::TGIFImage& image, const gif::TGIFSubImage& f, const giftest::Bytes& expected,
                            int w, int h) {
  size_t mismatches = 0;
  const gif::TGIFColorMap& map = *f.EffectiveColorMap();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* e = &expected[(static_cast<size_t>(y) * w + x) * 4];
      if (e[3] == 0) continue;
      const int fx = x - f.BoundValue(1), fy = y - f.BoundValue(2);
      if (fx < 0 || fy < 0 || fx >= f.BoundValue(3) || fy >= f.BoundValue(4)) {
        ++mismatches;
        continue;
      }
      const uint8_t index = f.Pixels[static_cast<size_t>(fy) * f.BoundValue(3) + fx];
      const bool transparent = f.HasTransparency && index == f.ControlExtension->TransparentColorIndex();
      if (transparent || index >= map.EntryCount || map[index].Red != e[0] || map[index].Green != e[1] ||
          map[index].Blue != e[2])
        ++mismatches;
    }
  (void)image;
  return mismatches;
}

class Suite : public testing::TestWithParam<std::string> {};

TEST_P(Suite, MatchesTheExpectedFirstFrame) {
  const std::string test = GetParam();
  const Ini conf = ReadConf(kSuite + test + ".conf");
  const auto& config = conf.at("config");
  const Difference none{"", "", "", false, false};
  const Difference& difference = DifferenceFor(test) != nullptr ? *DifferenceFor(test) : none;
  SCOPED_TRACE(difference.reason);
  auto loaded = giftest::Load(ReadFile(kSuite + config.at("input")));
  ASSERT_EQ(loaded.error, difference.error);
  if (*difference.error) return;

  const int w = std::stoi(config.at("width")), h = std::stoi(config.at("height"));
  EXPECT_EQ(loaded.image->GetWidth(), w);
  EXPECT_EQ(loaded.image->GetHeight(), h);

  // Timing: frame count, delays and loop count ("infinite" is a loop count of 0).
  const auto names = Split(config.count("frames") ? config.at("frames") : "");
  const auto frames = ImageFrames(*loaded.image);
  std::vector<std::string> timing;  // what differs
  const std::string loop = config.count("loop-count") ? config.at("loop-count") : "0";
  const int expected_loop = loop == "infinite" ? 0 : loop == "0" ? -1 : std::stoi(loop);
  if (LoopCountOf(*loaded.image) != expected_loop) timing.push_back("loop count");
  if (!names.empty() && frames.size() != names.size()) timing.push_back("frame count");
  for (size_t i = 0; i < names.size() && i < frames.size(); ++i) {
    const auto& section = conf.at(names[i]);
    if (!section.count("delay")) continue;
    const int delay = frames[i]->ControlExtension != nullptr ? frames[i]->ControlExtension->DelayTime() : -1;
    if (delay != std::stoi(section.at("delay"))) timing.push_back("delay of frame " + std::to_string(i));
  }
  if (difference.timing_differs)
    EXPECT_FALSE(timing.empty()) << "listed as differing, but the timing matches";
  else
    EXPECT_EQ(timing, std::vector<std::string>{});

  // Colours of the first frame wherever the expected one is opaque.
  if (names.empty()) return;
  const giftest::Bytes expected = ReadFile(kSuite + conf.at(names[0]).at("pixels"));
  ASSERT_EQ(expected.size(), static_cast<size_t>(w) * h * 4);
  bool opaque = false;
  for (size_t i = 3; i < expected.size(); i += 4) opaque |= expected[i] != 0;
  if (!opaque) return;  // nothing drawn, nothing to compare
  ASSERT_FALSE(frames.empty());
  const size_t mismatches = FirstFrameMismatches(*loaded.image, *frames[0], expected, w, h);
  if (difference.colours_differ)
    EXPECT_GT(mismatches, 0u) << "listed as differing, but the colours match";
  else
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(GifTestSuite, Suite, testing::ValuesIn(SuiteTests()), [](const auto& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

// The list of differences names only tests of the suite.
TEST(Suite, DifferencesNameSuiteTests) {
  const auto tests = SuiteTests();
  for (const Difference& d : kDifferences)
    EXPECT_NE(std::find(tests.begin(), tests.end(), d.test), tests.end()) << d.test;
}

}  // namespace
