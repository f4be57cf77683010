// Every seed of the fuzz targets, and every input that once made one crash,
// runs through its target again in the ordinary test suite (and so under the
// sanitizers of the sanitizer build).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_targets.h"
#include "support/test_support.h"

namespace tsumugi::fuzz {
namespace {

using Target = int (*)(const uint8_t*, size_t);

void RunInputs(const std::string& name, Target target) {
  int inputs = 0;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path folder = std::filesystem::path(TSUMUGI_FUZZ_DIR) / kind / name;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
      const std::string bytes = test::ReadFile(entry.path());
      SCOPED_TRACE(entry.path().string());
      EXPECT_EQ(target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
      ++inputs;
    }
  }
  // A target without inputs would pass without testing anything.
  EXPECT_GT(inputs, 0) << "no seeds for " << name;
}

TEST(FuzzInputs, EveryTargetRunsItsSeedsAndPastCrashes) {
  RunInputs("script", Script);
  RunInputs("expression", Expression);
  RunInputs("picture", Picture);
  RunInputs("save", Save);
  RunInputs("snapshot", Snapshot);
}

}  // namespace
}  // namespace tsumugi::fuzz
