// udmconv writes only what reads back: a text longer than a text file
// carries fails a conversion to text (the packed one keeps it), and a float
// format whose numbers would not read back is replaced by the default with
// a warning, so that no value is lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reader_test_support.h"
#include "support/process.h"
#include "udm/udm.h"

using reader_test::AddSet;
using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::SetsOfCurrent;
using reader_test::TempDir;
using reader_test::WriteBytes;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

namespace {

ProcessResult Udmconv(const std::vector<std::string>& args,
                      const std::vector<std::pair<std::string, std::string>>& env = {}) {
    return RunProcess(BuiltProgram("udmconv"), args, "", env);
}

// The sets of a file as read (empty when the read fails or drops).
std::vector<reader_test::SetImage> SetsOfFile(const std::string& path) {
    HeldModel model;
    if (udm_model_read(path.c_str(), UDM_MODE_AS_LOADED) != UDM_OK) return {};
    if (udm_read_dropped_count() != 0) return {};
    return SetsOfCurrent();
}

TEST(UdmconvReadBack, ALongTextFailsTheTextConversionAndStaysPacked) {
    TempDir dir;
    const std::string packed = dir.File("long.udb");
    {
        HeldModel model;
        AddSet(21000, 1, std::string(5000, 'd').c_str(), {{1992, {1.0}}});
        ASSERT_EQ(udm_model_write_packed(packed.c_str()), UDM_OK);
    }
    const auto expected = SetsOfFile(packed);
    ASSERT_EQ(expected.size(), 1u);

    const std::string text = dir.File("long.udm");
    WriteBytes(text, "previous");
    for (const char* mode : {"--text", "--gzip"}) {
        const ProcessResult result = Udmconv({mode, packed, text});
        EXPECT_EQ(result.exit_code, 1) << mode << result.err;
        EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("4095"), std::string::npos) << result.err;
        EXPECT_EQ(ReadBytes(text), "previous") << mode;
    }
    const ProcessResult dump = Udmconv({"--dump", packed});
    EXPECT_EQ(dump.exit_code, 1) << dump.err;
    EXPECT_EQ(dump.out, "");

    const std::string again = dir.File("again.udb");
    const ProcessResult repacked = Udmconv({"--packed", packed, again});
    ASSERT_EQ(repacked.exit_code, 0) << repacked.err;
    EXPECT_EQ(SetsOfFile(again), expected);
}

TEST(UdmconvReadBack, AFloatFormatWhoseNumbersDoNotReadBackIsReplaced) {
    TempDir dir;
    const std::string source = dir.File("values.udm");
    {
        HeldModel model;
        AddSet(21000, 1, "set", {{1004, {0.0, -1.5, 2.5e-10, 3.25e+200}}, {1992, {7.0}}});
        ASSERT_EQ(udm_model_write(source.c_str(), UDM_MODE_TEXT), UDM_OK);
    }
    const auto expected = SetsOfFile(source);
    ASSERT_EQ(expected.size(), 1u);
    const std::string written = dir.File("written.udm");
    for (const char* format : {"x%e", "%%%e%%", "%a", "<%g>"}) {
        const ProcessResult result =
            Udmconv({"--text", source, written}, {{"KOR_FLOAT_FORMAT", format}});
        ASSERT_EQ(result.exit_code, 0) << format << result.err;
        EXPECT_NE(result.err.find(std::string("KOR_FLOAT_FORMAT \"") + format + "\""),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(SetsOfFile(written), expected) << format;
    }
    // A usable format is taken without a word.
    const ProcessResult usable =
        Udmconv({"--text", source, written}, {{"KOR_FLOAT_FORMAT", "%.17g"}});
    ASSERT_EQ(usable.exit_code, 0) << usable.err;
    EXPECT_EQ(usable.err, "");
    EXPECT_NE(ReadBytes(written).find("2.5000000000000002e-10"), std::string::npos);
    EXPECT_EQ(SetsOfFile(written), expected);
}

}  // namespace
