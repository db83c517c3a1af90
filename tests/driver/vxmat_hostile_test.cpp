// tarnvel -vxmat on input that cannot be UDM or that does not fit in
// memory: the run fails with the conversion's status 5 and one line naming
// the input, instead of running on or converting with data missing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/hostile_input.h"
#include "support/process.h"

namespace {

tarnvel::testing::HostileInputChecks Checks() {
    const std::string output = "/tmp/tarnvel-hostile-" + std::to_string(getpid()) + ".udb";
    return tarnvel::testing::HostileInputChecks(
        tarnvel::testing::BuiltProgram("tarnvel"),
        [output](const std::string& input) {
            return std::vector<std::string>{"-vxmat", input, "-udb", output};
        },
        5);
}

TEST(VxmatHostileInput, DevicesAndPipesEndPromptly) {
    Checks().DevicesAndPipesEndPromptly();
}

TEST(VxmatHostileInput, MemoryLimitFailsTheRun) {
    Checks().MemoryLimitFailsTheRun();
}

}  // namespace
