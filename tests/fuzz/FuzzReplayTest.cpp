// Replays a fuzz target's seeds and every input it ever crashed on (kept under
// regressions/<target>/) in the ordinary test builds, where the target's own checks abort
// and the sanitizer build catches memory faults. TOCKIT_FUZZ_TARGET names the target linked in.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/fuzz/SeedCorpus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int runTarget(const std::string& input) {
    return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()),
                                  input.size());
}

TEST(FuzzReplay, SeedsPassTheTarget) {
    const Seeds seeds = seedsFor(TOCKIT_FUZZ_TARGET);
    ASSERT_FALSE(seeds.empty());
    for (const std::string& seed : seeds) {
        EXPECT_EQ(runTarget(seed), 0);
    }
}

TEST(FuzzReplay, EveryKeptCrasherNowPassesTheTarget) {
    const std::filesystem::path folder =
        std::filesystem::path(TOCKIT_FUZZ_REGRESSIONS) / TOCKIT_FUZZ_TARGET;
    if (!std::filesystem::exists(folder)) {
        GTEST_SKIP() << "no crasher kept for " << TOCKIT_FUZZ_TARGET;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ostringstream input;
        input << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        EXPECT_EQ(runTarget(input.str()), 0) << entry.path();
    }
}

}  // namespace
