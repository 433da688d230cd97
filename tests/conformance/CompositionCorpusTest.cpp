// Every GIF of the corpus, drawn as the launcher draws it (animated ones by
// their painter) onto a key-coloured canvas, composes to the same frames as
// ImageMagick's "convert -coalesce" (a test-only tool; its alpha 0 is the
// key colour here).

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "tests/conformance/Composition.h"

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";
const char kConvert[] = "/usr/bin/convert";
constexpr uint32_t kKey = 0x010203;

std::vector<std::string> CorpusGifs() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(kCorpus.c_str())) {
    while (dirent* e = readdir(dir)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.substr(n.size() - 4) == ".gif") names.push_back(n);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CorpusComposition : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusComposition, ComposesLikeImageMagickCoalesce) {
  auto image = std::make_unique<gif::TGIFImage>();
  try {
    platform::TMemoryStream stream;
    stream.LoadFromFile(kCorpus + GetParam());
    image->LoadFromStream(stream);
  } catch (const platform::Exception& e) {
    GTEST_SKIP() << "not read here: " << e.Message;
  }
  if (access(kConvert, X_OK) != 0) GTEST_SKIP() << kConvert << " is not installed";
  const std::string command = std::string(kConvert) + " '" + kCorpus + GetParam() + "' -set colorspace sRGB -coalesce -depth 8 RGBA:- 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  const int32_t w = image->GetWidth(), h = image->GetHeight();
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  int compared = 0, failures = 0, missing = 0;
  composition::Compose(*image, kKey, [&](int frame, const std::vector<uint32_t>& shown) {
    if (fread(rgba.data(), 1, rgba.size(), pipe.get()) != rgba.size()) {
      ++missing;
      return;
    }
    std::vector<uint32_t> expected(shown.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      const uint8_t* p = &rgba[4 * i];
      expected[i] = p[3] == 0 ? kKey : (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    const std::string diff = composition::Differences(expected, shown, w);
    if (!diff.empty() && failures++ < 5) ADD_FAILURE() << "frame " << frame << ": " << diff;
    ++compared;
  });
  // ImageMagick refuses damaged files that this system reads leniently.
  if (compared == 0 && missing > 0) GTEST_SKIP() << "ImageMagick does not read it";
  EXPECT_EQ(missing, 0) << "ImageMagick has fewer frames";
  EXPECT_EQ(fgetc(pipe.get()), EOF) << "ImageMagick has more frames than the " << compared << " painted";
  EXPECT_GE(compared, 1);
  EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusComposition, ::testing::ValuesIn(CorpusGifs()), [](const auto& info) {
  std::string n = info.param;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

}  // namespace
