// udmconv on input that cannot be UDM or that does not fit in memory: the
// run fails with status 1 instead of running on or succeeding with data
// missing.
#include <gtest/gtest.h>

#include "support/hostile_input.h"
#include "support/process.h"

namespace {

tarnvel::testing::HostileInputChecks Checks() {
    return tarnvel::testing::HostileInputChecks(
        tarnvel::testing::BuiltProgram("udmconv"),
        [](const std::string& input) {
            return std::vector<std::string>{"--summary", input};
        },
        1);
}

TEST(UdmconvHostileInput, DevicesAndPipesEndPromptly) {
    Checks().DevicesAndPipesEndPromptly();
}

TEST(UdmconvHostileInput, MemoryLimitFailsTheRun) {
    Checks().MemoryLimitFailsTheRun();
}

}  // namespace
