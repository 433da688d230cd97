// Every test of the external GIF conformance suite that this system reads,
// played frame by frame with the painter onto a key-coloured canvas: each
// composed frame must match the suite's expected frame, with the key colour
// wherever the expected frame has alpha 0.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "gif/decode/Extensions.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "tests/conformance/Composition.h"
#include "tests/conformance/SuiteConf.h"

namespace {

const std::string kSuite = std::string(PELLISTO_SHARED_DIR) + "/gif-test-suite/";
constexpr uint32_t kKey = 0x010203;

using suiteconf::Ini;
using suiteconf::Split;

// An expected frame: 8-bit RGBA; alpha 0 shows the key colour.
std::vector<uint32_t> ExpectedFrame(const std::string& File) {
  std::ifstream in(kSuite + File, std::ios::binary);
  std::vector<uint32_t> out;
  uint8_t px[4];
  while (in.read(reinterpret_cast<char*>(px), 4))
    out.push_back(px[3] == 0 ? kKey : (uint32_t{px[0]} << 16) | (uint32_t{px[1]} << 8) | px[2]);
  return out;
}

class SuiteComposition : public ::testing::TestWithParam<std::string> {};

TEST_P(SuiteComposition, ComposesToTheExpectedFrames) {
  const std::string name = GetParam();
  Ini conf = suiteconf::ReadConf(kSuite + name + ".conf");
  auto image = std::make_unique<gif::TGIFImage>();
  try {
    platform::TMemoryStream stream;
    stream.LoadFromFile(kSuite + conf["config"]["input"]);
    image->LoadFromStream(stream);
  } catch (const platform::Exception& e) {
    GTEST_SKIP() << "not read here (" << e.Message << "); the reading tests cover it";
  }
  const int32_t w = std::stoi(conf["config"]["width"]);
  const auto frames = Split(conf["config"]["frames"]);
  if (frames.empty() || image->GetEmpty()) GTEST_SKIP() << "no frame to compose";
  const composition::TComposed composed = composition::Compose(*image, kKey);
  // The suite shows an image without a delay together with the images
  // after it, up to one with a delay (unless it forces every image to be a
  // frame); here each image is a frame. Compare what stands after the last
  // image of each of the suite's frames.
  const bool forced = conf["config"]["force-animation"] == "yes";
  std::vector<size_t> ends;
  for (size_t i = 0; i < composed.Frames.size(); ++i) {
    const auto* gce = image->Frames->FrameAt(composed.FrameIndex[i])->ControlExtension;
    if (forced || i + 1 == composed.Frames.size() || (gce != nullptr && gce->DelayTime() > 0)) ends.push_back(i);
  }
  ASSERT_EQ(ends.size(), frames.size());
  for (size_t f = 0; f < frames.size(); ++f) {
    const std::string file = conf[frames[f]]["pixels"];
    EXPECT_EQ(composition::Differences(ExpectedFrame(file), composed.Frames[ends[f]], w), "") << "frame " << f;
  }
}

std::vector<std::string> SuiteTests() {
  std::vector<std::string> names;
  std::ifstream in(kSuite + "TESTS");
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) names.push_back(line);
  return names;
}

INSTANTIATE_TEST_SUITE_P(GifTestSuite, SuiteComposition, ::testing::ValuesIn(SuiteTests()),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
