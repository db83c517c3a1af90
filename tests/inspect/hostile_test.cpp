// list, show --json and diff on input that cannot be UDM or does not fit
// in memory: a message naming the input and the failure status (1; diff 2),
// promptly, never a crash or a document reported as a success.
#include <gtest/gtest.h>

#include "support/hostile_input.h"
#include "support/process.h"

namespace {

using tarnvel::testing::HostileInputChecks;

HostileInputChecks Checks(std::vector<std::string> command, int failure_exit) {
    return HostileInputChecks(
        tarnvel::testing::BuiltProgram("udmconv"),
        [command](const std::string& input) {
            std::vector<std::string> args = command;
            for (std::string& arg : args) {
                if (arg == "IN") arg = input;
            }
            return args;
        },
        failure_exit);
}

TEST(InspectHostileInput, DevicesAndPipesEndPromptly) {
    Checks({"show", "--json", "IN"}, 1).DevicesAndPipesEndPromptly();
    Checks({"list", "IN"}, 1).DevicesAndPipesEndPromptly();
    Checks({"diff", "IN", "/dev/null"}, 2).DevicesAndPipesEndPromptly();
}

TEST(InspectHostileInput, MemoryLimitFailsTheRun) {
    Checks({"show", "--json", "IN"}, 1).MemoryLimitFailsTheRun();
    Checks({"diff", "--json", "IN", "IN"}, 2).MemoryLimitFailsTheRun();
}

}  // namespace
