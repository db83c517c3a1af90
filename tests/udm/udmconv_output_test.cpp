// udmconv and what stands at its output path.
#include <gtest/gtest.h>

#include "support/output_safety.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::OutputSafetyChecks;
using tarnvel::testing::OutputTool;

OutputTool Udmconv() {
    return {BuiltProgram("udmconv"),
            [](const std::string& input, const std::string& output) {
                return std::vector<std::string>{"--packed", input, output};
            },
            1};
}

TEST(UdmconvOutput, AFifoReceivesTheOutput) {
    OutputSafetyChecks(Udmconv()).FifoReceivesTheOutput();
}

TEST(UdmconvOutput, ADeviceStaysADevice) {
    OutputSafetyChecks(Udmconv()).DeviceStaysADevice();
}

TEST(UdmconvOutput, ASymbolicLinkIsWrittenThrough) {
    OutputSafetyChecks(Udmconv()).SymlinkStaysALink();
}

TEST(UdmconvOutput, ADirectoryIsRefusedWithAMessage) {
    OutputSafetyChecks(Udmconv()).DirectoryIsRefused();
}

TEST(UdmconvOutput, TheOldOutputSurvivesFailureSizeLimitAndTermination) {
    OutputSafetyChecks(Udmconv()).OldOutputSurvives();
}

}  // namespace
