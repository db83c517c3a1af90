// The udmconv program: conversions between text, packed and gzip files,
// the dump and summary forms, usage errors and malformed input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "reader_test_support.h"
#include "support/process.h"
#include "udm/udm.h"

using reader_test::BuildTextSafeModel;
using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::SetImage;
using reader_test::SetsOfCurrent;
using reader_test::TempDir;
using reader_test::WriteBytes;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

namespace {

ProcessResult Udmconv(const std::vector<std::string>& args) {
    return RunProcess(BuiltProgram("udmconv"), args);
}

class UdmconvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HeldModel source;
        BuildTextSafeModel();
        expected_ = SetsOfCurrent();
        ASSERT_EQ(udm_model_write(text_.c_str(), UDM_MODE_TEXT), UDM_OK);
    }
    // The sets of a file as the library reads it (empty when it cannot).
    static std::vector<SetImage> SetsOfFile(const std::string& path) {
        HeldModel model;
        if (udm_model_read(path.c_str(), UDM_MODE_AS_LOADED) != UDM_OK) return {};
        return SetsOfCurrent();
    }

    TempDir dir_;
    std::string text_ = dir_.File("model.udm");
    std::vector<SetImage> expected_;
};

TEST_F(UdmconvTest, ConvertsThroughEveryWrittenEncoding) {
    const std::string packed = dir_.File("model.udb");
    const std::string gzip = dir_.File("model.udm.gz");
    const std::string back = dir_.File("back.udm");

    ProcessResult result = Udmconv({"--packed", text_, packed});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(static_cast<unsigned char>(ReadBytes(packed)[0]), 0x1C);
    result = Udmconv({packed, "--gzip", gzip});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(ReadBytes(gzip).substr(0, 2), "\x1F\x8B");
    result = Udmconv({gzip, back});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(ReadBytes(back).substr(0, 4), "//  ");

    for (const std::string& path : {packed, gzip, back}) EXPECT_EQ(SetsOfFile(path), expected_);
    if (std::system("gzip --version > /dev/null 2>&1") == 0) {
        // The gzip output is a standard gzip file of the text form.
        const std::string unpacked = dir_.File("unpacked.udm");
        ASSERT_EQ(std::system(("gzip -dc '" + gzip + "' > '" + unpacked + "'").c_str()), 0);
        EXPECT_EQ(SetsOfFile(unpacked), expected_);
    }
}

TEST_F(UdmconvTest, DumpAndSummary) {
    const std::string packed = dir_.File("model.udb");
    ASSERT_EQ(Udmconv({"--packed", text_, packed}).exit_code, 0);

    ProcessResult dump = Udmconv({"--dump", packed});
    ASSERT_EQ(dump.exit_code, 0) << dump.err;
    EXPECT_EQ(dump.out.substr(0, 22), "//  VANTOREL UDM FILE.");
    EXPECT_NE(dump.out.find("TSET{21000 2 \"ends in \\\\\""), std::string::npos) << dump.out;
    EXPECT_EQ(dump.out.substr(dump.out.size() - 6), "\nENDF\n");
    // The dump is itself a readable text file of the same model.
    const std::string dumped = dir_.File("dumped.udm");
    WriteBytes(dumped, dump.out);
    EXPECT_EQ(SetsOfFile(dumped), expected_);

    ProcessResult summary = Udmconv({packed, "--summary"});
    ASSERT_EQ(summary.exit_code, 0) << summary.err;
    EXPECT_NE(summary.out.find("encoding: 8 (packed)\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("title: grades \"2024\" C:\\data\\\n"), std::string::npos)
        << summary.out;
    EXPECT_NE(summary.out.find("\nTSET 3\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("\nNODE 0\n"), std::string::npos) << summary.out;
    EXPECT_NE(Udmconv({"--summary", text_}).out.find("encoding: 1 (text)\n"), std::string::npos);

    // A pipe can be read only once: the summary names the encoding the read
    // found, not what a second open of the input would see.
    ProcessResult piped = RunProcess(
        "/bin/sh",
        {"-c", "cat '" + packed + "' | '" + BuiltProgram("udmconv") + "' --summary /dev/stdin"});
    ASSERT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_NE(piped.out.find("encoding: 8 (packed)\n"), std::string::npos) << piped.out;
    EXPECT_NE(piped.out.find("\nTSET 3\n"), std::string::npos) << piped.out;
}

// A model with every entity family converts through packed and gzip back to
// the same text, and its summary counts every class.
TEST_F(UdmconvTest, EveryFamilyConvertsLosslesslyAndIsCounted) {
    const std::string every = std::string(TARNVEL_SOURCE_DIR) + "/tests/udm/data/every-family.udm";
    const std::string packed = dir_.File("every.udb");
    const std::string gzip = dir_.File("every.udm.gz");
    const std::string back = dir_.File("every.udm");
    ASSERT_EQ(Udmconv({"--packed", every, packed}).exit_code, 0);
    ASSERT_EQ(Udmconv({"--gzip", packed, gzip}).exit_code, 0);
    ASSERT_EQ(Udmconv({"--text", gzip, back}).exit_code, 0);
    // Past the title and globals (stamped by each write) the texts agree.
    const std::string original = ReadBytes(every);
    const std::string converted = ReadBytes(back);
    const std::size_t from = original.find("//  Beginning of summary");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(converted.find("//  Beginning of summary"), std::string::npos);
    EXPECT_EQ(converted.substr(converted.find("//  Beginning of summary")), original.substr(from));

    ProcessResult summary = Udmconv({"--summary", packed});
    ASSERT_EQ(summary.exit_code, 0) << summary.err;
    for (const char* counted :
         {"COLR 1", "LYER 1", "TSET 1", "VIEW 1", "NODE 2", "TEXT 1", "1DET 1",
          "TRI3 2", "CURV 1", "SURF 1", "REGN 1", "NDBC 2", "SUBC 1", "CTPL 1",
          "LOCS 1", "TET4 1", "STLR 1", "BLOB 1", "WEDG 1", "INTE 1"}) {
        EXPECT_NE(summary.out.find(std::string("\n") + counted + "\n"), std::string::npos)
            << counted << "\n"
            << summary.out;
    }
}

TEST_F(UdmconvTest, HelpAndUsageErrors) {
    ProcessResult help = Udmconv({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.substr(0, 7), "Usage: ");
    EXPECT_EQ(help.err, "");

    const std::vector<std::vector<std::string>> misuses = {
        {},
        {text_},
        {text_, dir_.File("a"), dir_.File("b")},
        {"--dump"},
        {"--dump", text_, dir_.File("a")},
        {"--summary"},
        {"--packed", "--gzip", text_, dir_.File("a")},
        {"--unknown", text_, dir_.File("a")},
    };
    // A usage error is one line naming it and a pointer to the help.
    for (const auto& args : misuses) {
        ProcessResult result = Udmconv(args);
        EXPECT_EQ(result.exit_code, 2) << args.size();
        EXPECT_EQ(result.err.substr(0, 9), "udmconv: ") << result.err;
        EXPECT_EQ(result.err.substr(result.err.find('\n') + 1),
                  "Try 'udmconv --help' for more information.\n")
            << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_NE(Udmconv({"--unknown", text_, dir_.File("a")}).err.find("'--unknown'"),
              std::string::npos);
    EXPECT_EQ(Udmconv({"-h"}).out, help.out);
}

TEST_F(UdmconvTest, MalformedOrUnreadableInputFails) {
    const std::string broken = dir_.File("broken.udm");
    WriteBytes(broken, "TSET{21000 1 \"never closed\"\n");
    const std::string out = dir_.File("out.udm");

    ProcessResult result = Udmconv({broken, out});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("status 1020"), std::string::npos) << result.err;
    // Diagnostics are shown only when the product variable asks for them.
    EXPECT_EQ(result.err.find("Unexpected Condition"), std::string::npos) << result.err;
    EXPECT_FALSE(std::ifstream(out).good()) << "no output for a failed read";

    result = RunProcess(BuiltProgram("udmconv"), {"--dump", broken}, "",
                        {{"VANTOREL_UDM_PRINT_ERROR", "1"}});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("parse error"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");

    // The system's reason for a failed open; a directory is named as one.
    result = Udmconv({"--summary", dir_.File("absent.udm")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "udmconv: cannot open '" + dir_.File("absent.udm") +
                              "': No such file or directory\n");
    result = Udmconv({"--dump", dir_.File("")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("it is a directory"), std::string::npos) << result.err;
    // An input that is not UDM names the file.
    WriteBytes(dir_.File("binary.udb"), std::string("\x1C\x01\x02garbage", 10));
    result = Udmconv({"--summary", dir_.File("binary.udb")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("udmconv: cannot read '" + dir_.File("binary.udb") + "': status"),
              std::string::npos)
        << result.err;

    // An output that cannot be created.
    result = Udmconv({text_, dir_.File("no/such/dir/out.udm")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
    result = Udmconv({"--gzip", text_, dir_.File("no/such/dir/out.gz")});
    EXPECT_EQ(result.exit_code, 1);
}

}  // namespace

namespace {

// One malformed value drops its code: the run fails naming the line, unless
// --lenient, which converts what was read and still warns.
TEST_F(UdmconvTest, WhatTheReaderDropsFailsTheRunUnlessLenient) {
    const std::string dropped = dir_.File("dropped.udm");
    WriteBytes(
        dropped,
        "TITL{NAME{\"l\"} VRSN{\"V\"} KEYW{\"1\"} DATE{\"J\"} TIME{\"0\"} UDMV{\"UDM V4\"}}\n"
        "TSET{21000 1 \"a\"\n TCOD{1997 \"S\" 1,34e+09}\n TCOD{1998 \"G\"}}\nENDF\n");
    const std::string out = dir_.File("out.udm");
    ProcessResult result = Udmconv({dropped, out});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("1 construct dropped, first at Line 3: parse error"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(std::ifstream(out).good());

    result = Udmconv({"--lenient", dropped, out});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("warning"), std::string::npos) << result.err;
    EXPECT_EQ(SetsOfFile(out).size(), 1u);

    // A sound file drops nothing and says nothing.
    result = Udmconv({text_, out});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "");
}

}  // namespace
