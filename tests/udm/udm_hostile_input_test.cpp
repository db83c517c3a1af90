// The reader on input that is not UDM or that it cannot hold: devices of
// zeros and random bytes end the read within the first buffer, and an
// allocation that fails under a memory limit fails the read instead of
// dropping what it could not store.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "reader_test_support.h"
#include "support/hostile_input.h"
#include "udm/udm.h"

using reader_test::HeldModel;
using reader_test::SetsOf;
using tarnvel::testing::ChildLimits;
using tarnvel::testing::CurrentAddressSpace;
using tarnvel::testing::GeneratedInput;
using tarnvel::testing::kUnderAddressSanitizer;
using tarnvel::testing::OpenGenerated;
using tarnvel::testing::RunInChild;

namespace {

// A reader that never stops is killed by this alarm, which fails the test.
constexpr unsigned kWatchdogSeconds = 30;
// How far into an endless input a read that stops early may get: the
// stream's and the lexer's buffers.
constexpr long kFirstBuffers = 256 * 1024;

const char kHeader[] = "TITL{UDMV{\"UDM V4\"}}\nGLBL{UDMW{\"TYPE\" \"20000\"}}\n";

class HostileInputTest : public ::testing::Test {
  protected:
    void SetUp() override { alarm(kWatchdogSeconds); }
    void TearDown() override { alarm(0); }

    // Reads the stream into the test's model; the status, and how far into
    // the stream the read got.
    int ReadStream(std::FILE* file, long* consumed = nullptr) {
        model_.Select();
        const int status = udm_model_read_file(file, "generated", UDM_MODE_AS_LOADED);
        if (consumed != nullptr) *consumed = std::ftell(file);
        return status;
    }
    int ReadGenerated(const GeneratedInput& input, long* consumed) {
        std::FILE* file = OpenGenerated(input);
        EXPECT_NE(file, nullptr);
        const int status = ReadStream(file, consumed);
        std::fclose(file);
        return status;
    }

    HeldModel model_;
};

TEST_F(HostileInputTest, ZeroDevicesEndTheReadAtOnce) {
    std::FILE* zero = std::fopen("/dev/zero", "rb");
    ASSERT_NE(zero, nullptr);
    long consumed = 0;
    EXPECT_EQ(ReadStream(zero, &consumed), UDM_PARSE_FAILED);
    std::fclose(zero);
    EXPECT_LT(consumed, kFirstBuffers);
    EXPECT_NE(std::string(udm_read_first_message()).find("NUL byte"), std::string::npos)
        << udm_read_first_message();

    // Zeros after a valid beginning: the sets read so far stay, the read
    // fails at the first NUL byte.
    GeneratedInput zeros{std::string(kHeader) + "TSET{20000 1 \"a\"}\n", std::string(1, '\0'), 0,
                         ""};
    EXPECT_EQ(ReadGenerated(zeros, &consumed), UDM_PARSE_FAILED);
    EXPECT_LT(consumed, kFirstBuffers);
    EXPECT_EQ(SetsOf(model_.get()).size(), 1u);
    EXPECT_NE(std::string(udm_read_first_message()).find("Line 4"), std::string::npos)
        << udm_read_first_message();
}

TEST_F(HostileInputTest, RandomBytesAndForeignTextEndTheReadEarly) {
    std::FILE* random = std::fopen("/dev/urandom", "rb");
    ASSERT_NE(random, nullptr);
    long consumed = 0;
    EXPECT_EQ(ReadStream(random, &consumed), UDM_PARSE_FAILED);
    std::fclose(random);
    EXPECT_LT(consumed, kFirstBuffers);

    // Endless text without NUL bytes that no UDM file starts with: the
    // first token decides, whatever follows.
    for (const char* unit : {"y\n", "hello world ", "} ", "12 ", "\"text\" ", "\xff\xfe"}) {
        EXPECT_EQ(ReadGenerated(GeneratedInput{"", unit, 0, ""}, &consumed), UDM_PARSE_FAILED)
            << unit;
        EXPECT_LT(consumed, kFirstBuffers) << unit;
    }

    // Comments before the first block are no reason to stop.
    GeneratedInput commented{
        "// a comment\n/* another */\n" + std::string(kHeader) + "TSET{20000 7 \"a\"} ENDF\n", " ",
        1, ""};
    EXPECT_EQ(ReadGenerated(commented, &consumed), UDM_OK) << udm_read_first_message();
    EXPECT_EQ(udm_read_dropped_count(), 0);
}

TEST_F(HostileInputTest, ManySeedsOfRandomTextNeverRunOn) {
    // Printable random text (no NUL bytes) of every seed ends within the
    // first buffers too: its first token is no block keyword.
    std::mt19937 generator(1234);
    for (int seed = 0; seed < 50; ++seed) {
        std::string unit(4096, ' ');
        for (char& byte : unit) byte = static_cast<char>(' ' + generator() % 95);
        long consumed = 0;
        EXPECT_EQ(ReadGenerated(GeneratedInput{"", unit, 0, ""}, &consumed), UDM_PARSE_FAILED)
            << seed;
        EXPECT_LT(consumed, kFirstBuffers) << seed;
    }
}

// A legacy set whose one TCOD holds more values than memory allows.
GeneratedInput OversizedCode(long long values) {
    return GeneratedInput{std::string(kHeader) + "TSET{20000 1 \"a\"\n  TCOD{1 \"first\" 1}}\n" +
                              "TSET{20000 2 \"b\"\n  TCOD{1800 \"values\"\n",
                          "0 1 2 3 4 5 6 7 8 9\n", values / 10, "}}\nENDF\n"};
}

TEST_F(HostileInputTest, AllocationFailureUnderAMemoryLimitFailsTheRead) {
    if (kUnderAddressSanitizer) GTEST_SKIP() << "the sanitizer cannot run under a memory limit";
    // 32 million values need 256 MiB; 128 MiB more than the process holds
    // now is not enough for them.
    const ChildLimits limits{CurrentAddressSpace() + (rlim_t{128} << 20), kWatchdogSeconds};
    enum Outcome { kFailedForMemory = 0, kReadAnyway = 1, kOtherStatus = 2, kMessageMissing = 3 };
    const int status = RunInChild(limits, [this] {
        const int read = ReadGenerated(OversizedCode(32'000'000), nullptr);
        if (read == UDM_OK) return kReadAnyway;
        if (read != UDM_NO_MEMORY) return kOtherStatus;
        const std::string first = udm_read_first_message();
        return first.find("bad TCOD memory") != std::string::npos ? kFailedForMemory
                                                                  : kMessageMissing;
    });
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kFailedForMemory);

    // The same file within the limit reads whole.
    const int small = RunInChild(limits, [this] {
        if (ReadGenerated(OversizedCode(1000), nullptr) != UDM_OK) return 1;
        return SetsOf(udm_model_current()).size() == 2 ? 0 : 2;
    });
    ASSERT_TRUE(WIFEXITED(small));
    EXPECT_EQ(WEXITSTATUS(small), 0);
}

}  // namespace
