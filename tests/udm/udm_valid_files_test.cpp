// Valid files read in silence: with the reader's diagnostics switched on,
// the shipped example and data files, the golden model of every family,
// their rewrites in every encoding, and the same text with comments between
// any two tokens read without a single report and without dropping anything.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "reader_test_support.h"
#include "support/process.h"
#include "udm/udm.h"

using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::SetImage;
using reader_test::SetsOfCurrent;
using reader_test::TempDir;
using reader_test::WriteBytes;

namespace {

[[maybe_unused]] const int kPrintErrors = setenv("VANTOREL_UDM_PRINT_ERROR", "1", 1);

const std::string kSource = TARNVEL_SOURCE_DIR;

const std::vector<std::string> kShippedFiles = {
    kSource + "/examples/legacy_grades.udm",
    kSource + "/product/data/dat/generic_data.udb",
    kSource + "/product/data/dat/filler.udb",
    kSource + "/tests/udm/data/every-family.udm",
    kSource + "/fuzz/corpus/udmreader/every-family.udb",
};

// What a read of a file gave: its status, what it printed and dropped, the
// sets and the number of entities of each class.
struct Reading {
    int status = -1;
    std::string report;
    int dropped = -1;
    std::vector<SetImage> sets;
    std::vector<int> counts;
};

Reading ReadSilently(const std::string& path) {
    Reading reading;
    HeldModel model;
    ::testing::internal::CaptureStderr();
    reading.status = udm_model_read(path.c_str(), UDM_MODE_AS_LOADED);
    reading.report = ::testing::internal::GetCapturedStderr();
    reading.dropped = udm_read_dropped_count();
    reading.sets = SetsOfCurrent();
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        reading.counts.push_back(udm_class_count(entity_class));
    }
    return reading;
}

void ExpectSilent(const Reading& reading, const std::string& what) {
    EXPECT_EQ(reading.status, UDM_OK) << what;
    EXPECT_EQ(reading.report, "") << what;
    EXPECT_EQ(reading.dropped, 0) << what << ": " << udm_read_first_message();
}

// The text with comments of both kinds put wherever blanks may stand
// outside quoted strings: after every brace and in place of every run of
// blanks and line breaks.
std::string WithCommentsEverywhere(const std::string& text) {
    std::string out;
    bool quoted = false;
    bool line_comment = false;
    for (std::size_t n = 0; n < text.size(); ++n) {
        const char byte = text[n];
        if (quoted) {
            out += byte;
            if (byte == '\\' && n + 1 < text.size()) {
                out += text[++n];
            } else if (byte == '"') {
                quoted = false;
            }
            continue;
        }
        if (byte == '/' && n + 1 < text.size() && text[n + 1] == '*') {
            // A block comment of the writer's own goes over as it is.
            const std::size_t end = text.find("*/", n + 2);
            const std::size_t stop = end == std::string::npos ? text.size() : end + 2;
            out.append(text, n, stop - n);
            n = stop - 1;
            continue;
        }
        if (byte == '/' && n + 1 < text.size() && text[n + 1] == '/') line_comment = true;
        if (line_comment) {
            out += byte;
            line_comment = byte != '\n';
            continue;
        }
        if (byte == ' ' || byte == '\n') {
            while (n + 1 < text.size() && (text[n + 1] == ' ' || text[n + 1] == '\n')) ++n;
            out += (out.size() % 2 == 0) ? " /* between */ " : " // to the end\n";
            continue;
        }
        out += byte;
        if (byte == '"') quoted = true;
        if (byte == '{' || byte == '}') out += "/*{}*/";
    }
    return out;
}

TEST(ValidFiles, ShippedFilesReadWithoutAReport) {
    for (const std::string& path : kShippedFiles) {
        const Reading reading = ReadSilently(path);
        ExpectSilent(reading, path);
        std::size_t entities = 0;
        for (int count : reading.counts) entities += static_cast<std::size_t>(count);
        EXPECT_GT(entities, 0u) << path;
    }
}

TEST(ValidFiles, RewritesInEveryEncodingReadBackInSilence) {
    TempDir dir;
    for (const std::string& path : kShippedFiles) {
        const Reading original = ReadSilently(path);
        for (int mode : {UDM_MODE_TEXT, UDM_MODE_PACKED}) {
            const std::string written = dir.File(mode == UDM_MODE_TEXT ? "w.udm" : "w.udb");
            {
                HeldModel model;
                ASSERT_EQ(udm_model_read(path.c_str(), UDM_MODE_AS_LOADED), UDM_OK) << path;
                ASSERT_EQ(udm_model_write(written.c_str(), mode), UDM_OK) << path;
            }
            const Reading again = ReadSilently(written);
            ExpectSilent(again, path + " rewritten");
            EXPECT_EQ(again.sets, original.sets) << path;
            EXPECT_EQ(again.counts, original.counts) << path;
        }
    }
}

TEST(ValidFiles, CommentsBetweenAnyTwoTokensChangeNothing) {
    TempDir dir;
    for (const std::string& path : kShippedFiles) {
        const std::string text = dir.File("plain.udm");
        {
            HeldModel model;
            ASSERT_EQ(udm_model_read(path.c_str(), UDM_MODE_AS_LOADED), UDM_OK) << path;
            ASSERT_EQ(udm_model_write(text.c_str(), UDM_MODE_TEXT), UDM_OK) << path;
        }
        const std::string commented = dir.File("commented.udm");
        const std::string plain = ReadBytes(text);
        WriteBytes(commented, WithCommentsEverywhere(plain));
        ASSERT_GT(ReadBytes(commented).size(), plain.size() + 100) << path;
        const Reading reading = ReadSilently(commented);
        ExpectSilent(reading, path + " with comments");
        const Reading original = ReadSilently(text);
        EXPECT_EQ(reading.sets, original.sets) << path;
        EXPECT_EQ(reading.counts, original.counts) << path;
    }
}

TEST(ValidFiles, UdmconvSummarisesTheShippedFilesSilently) {
    for (const std::string& path : kShippedFiles) {
        const tarnvel::testing::ProcessResult result = tarnvel::testing::RunProcess(
            tarnvel::testing::BuiltProgram("udmconv"), {"--summary", path}, "",
            {{"VANTOREL_UDM_PRINT_ERROR", "1"}});
        EXPECT_EQ(result.exit_code, 0) << path;
        EXPECT_EQ(result.err, "") << path;
    }
}

}  // namespace
