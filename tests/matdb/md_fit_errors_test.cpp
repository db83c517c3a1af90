#include "matdb/md_fit_errors.h"

#include <gtest/gtest.h>

#include <string>

#include "fit_test_support.h"

namespace tarnvel::matdb {
namespace {

using testing::Printed;

constexpr char kBanner[] = "********* TESSEL ERROR *******\n";

TEST(FitErrorReportTest, PrintsContextThenMessageWithTheExtraIn10Columns) {
    EXPECT_EQ(Printed([] { md_fit_error(15026, 13); }),
              std::string(kBanner) + "Error in retrieving PVT Data\n" +
                  "Too many sets of data points to analyse Max=          13\n");
    EXPECT_EQ(Printed([] { md_fit_error(9034); }), std::string(kBanner) +
                                                       "Error in retrieving Viscosity Data\n" +
                                                       "Redundant entries - shear rates same\n");
    // A message shorter than its entry is padded to 45 columns before the
    // extra integer.
    EXPECT_EQ(Printed([] { md_fit_error(9096, -7); }),
              std::string(kBanner) + "Error in retrieving Viscosity Data\n" +
                  "Shear value <= 0 => infinite log value                -7\n");
}

TEST(FitErrorReportTest, ContextZeroPrintsTheMessageAlone) {
    EXPECT_EQ(Printed([] { md_fit_error(125); }),
              std::string(kBanner) + "obsolete command - use HELP\n");
    EXPECT_EQ(Printed([] { md_fit_error(19001); }),
              std::string(kBanner) + "Error in reading Processing Property data\n" +
                  "Unable to access STANDARD database RAX files\n");
}

TEST(FitErrorReportTest, CodesOutsideTheTablesPrintTheGenericLine) {
    for (int code : {0, -1, -15026, 126, 9000, 9126, 20001, 2147483647, -2147483647 - 1}) {
        const std::string text = Printed([code] { md_fit_error(code, 42); });
        char expected[96];
        std::snprintf(expected, sizeof expected, "%sERROR NUMBER =%4d IPARAM = %10d\n", kBanner,
                      code, 42);
        EXPECT_EQ(text, expected) << code;
    }
}

TEST(FitErrorReportTest, TablesHoldNineteenContextsAnd125MessagesOfAtMost45Characters) {
    EXPECT_EQ(md_fit_context_text(1), "Error in reading MTC data");
    EXPECT_EQ(md_fit_context_text(19), "Error in reading Processing Property data");
    EXPECT_EQ(md_fit_context_text(20), "");
    EXPECT_EQ(md_fit_context_text(0), "");
    EXPECT_EQ(md_fit_message_text(3), "No write access database RAX files.   PRSNL=");
    EXPECT_EQ(md_fit_message_text(110), "Could not get parameter ests for Lower Zone");
    EXPECT_EQ(md_fit_message_text(126), "");
    for (int i = 1; i <= 125; ++i) {
        EXPECT_FALSE(md_fit_message_text(i).empty()) << i;
        EXPECT_LE(md_fit_message_text(i).size(), 45u) << i;
    }
}

}  // namespace
}  // namespace tarnvel::matdb
