// Checked allocation, the data directory, word comparison and line reading.
#include "services/vttext.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "services/vtmem.h"

namespace {

TEST(CheckedAllocation, NullIsNoFaultAndBlocksAreTracked) {
    vtFree(nullptr);
    void* block = vtMalloc(16);
    block = vtRealloc(block, 64);
    ASSERT_NE(block, nullptr);
    vtFree(block);
}

TEST(CheckedAllocationDeath, DoubleReleaseWithTrackingIsFatal) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            setenv("VT_CHECKFREE", "1", 1);
            void* block = vtMalloc(8);
            vtFree(block);
            vtFree(block);
        },
        testing::ExitedWithCode(1), "Attempt made to free unallocated memory");
    EXPECT_DEATH(
        {
            setenv("VT_CHECKFREE", "1", 1);
            setenv("VT_COREDUMP", "1", 1);
            int local = 0;
            vtFree(&local);
        },
        "Attempt made to free unallocated memory");
    EXPECT_EXIT(vtFatal("Failed to allocate memory"), testing::ExitedWithCode(1),
                "^Failed to allocate memory\n$");
}

TEST(DataPath, FromTheEnvironmentWithAFinalSlash) {
    char buffer[64];
    int length = 0;
    setenv("VTPATH", "/opt/data  ", 1);
    vtDataPath(buffer, &length);
    EXPECT_STREQ(buffer, "/opt/data/");
    EXPECT_EQ(length, 10);
    setenv("VTPATH", std::string(300, 'x').c_str(), 1);
    vtDataPath(buffer, &length);
    // Never the root of the file system.
    EXPECT_NE(std::string(buffer, length), "/");
    unsetenv("VTPATH");
    vtDataPath(buffer, &length);
    EXPECT_NE(std::string(buffer, length).rfind("/VANTOREL", 0), 0u);
    char tiny[4];
    setenv("VTPATH", "/opt/data", 1);
    vtDataPath(tiny, &length);
    EXPECT_EQ(length, 0);
    unsetenv("VTPATH");
}

TEST(Words, ComparedOnTrimmedUpperCaseCopies) {
    EXPECT_EQ(vtTrimUpperCopy("   melt density \t\n", 99), "MELT DENSITY");
    EXPECT_EQ(vtTrimUpperCopy("  abcdef", 3), "ABC");
    const std::string mine = " grade ";
    EXPECT_TRUE(vtSameWord(mine, "GRADE"));
    EXPECT_EQ(mine, " grade ");
    EXPECT_TRUE(vtWordPrefix("gra", "  Grade"));
    EXPECT_FALSE(vtWordPrefix("grades", "grade"));
    EXPECT_FALSE(vtSameWord("a", "b"));
}

TEST(LineReading, BoundedAndCounted) {
    std::string text = "short\n" + std::string(20, 'L') + "\nend";
    std::FILE* in = fmemopen(text.data(), text.size(), "r");
    ASSERT_NE(in, nullptr);
    vtSetLineNumber(0);
    char buffer[11];
    EXPECT_EQ(vtReadLineBounded(in, buffer, 10), 1);
    EXPECT_STREQ(buffer, "short");
    EXPECT_EQ(vtReadLineBounded(in, buffer, 10), 2);
    EXPECT_EQ(std::string(buffer), std::string(10, 'L'));
    EXPECT_EQ(vtReadLine(in, buffer), 1);
    EXPECT_EQ(std::string(buffer), std::string(10, 'L'));
    EXPECT_EQ(vtReadLine(in, buffer), 1);
    EXPECT_STREQ(buffer, "end");
    EXPECT_EQ(vtReadLine(in, buffer), 0);
    EXPECT_EQ(vtLineNumber(), 4);
    std::fclose(in);
}

TEST(OpenFile, FailureIsReported) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(vtOpenFile("/nonexistent/dir/x", "ir"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Could not open /nonexistent/dir/x for reading: No such file or directory\n");
}

}  // namespace
