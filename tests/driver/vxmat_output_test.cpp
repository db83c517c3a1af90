// tarnvel -vxmat and what stands at its output path.
#include <gtest/gtest.h>

#include "support/output_safety.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::OutputSafetyChecks;
using tarnvel::testing::OutputTool;

OutputTool Tarnvel() {
    return {BuiltProgram("tarnvel"),
            [](const std::string& input, const std::string& output) {
                return std::vector<std::string>{"-vxmat", input, "-udb", output};
            },
            5};
}

TEST(VxmatOutput, AFifoReceivesTheOutput) {
    OutputSafetyChecks(Tarnvel()).FifoReceivesTheOutput();
}

TEST(VxmatOutput, ADeviceStaysADevice) {
    OutputSafetyChecks(Tarnvel()).DeviceStaysADevice();
}

TEST(VxmatOutput, ASymbolicLinkIsWrittenThrough) {
    OutputSafetyChecks(Tarnvel()).SymlinkStaysALink();
}

TEST(VxmatOutput, ADirectoryIsRefusedWithAMessage) {
    OutputSafetyChecks(Tarnvel()).DirectoryIsRefused();
}

TEST(VxmatOutput, TheOldOutputSurvivesFailureSizeLimitAndTermination) {
    OutputSafetyChecks(Tarnvel()).OldOutputSurvives();
}

}  // namespace
