// The product's table of class temperatures, read from a data directory.
#include "curves/class_temperature.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tarnvel::curves {
namespace {

namespace fs = std::filesystem;

TEST(ClassTemperatures, OnlyAPositiveNumberOfAFamilyTheTableHoldsCounts) {
    std::string dir = (fs::temp_directory_path() / "classtempXXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::ofstream(dir + "/generic_class.csv")
        << "PP,230\nPC,300.5\nZERO,0\nBAD,warm\nNEG,-10\nHOT,1e6\n";
    const ClassTemperatures table(dir);
    EXPECT_EQ(table.Of("PP"), 230.0);
    EXPECT_EQ(table.Of("PC"), 300.5);
    for (const char* none : {"ZERO", "BAD", "NEG", "HOT", "ABS", ""})
        EXPECT_FALSE(table.Of(none)) << none;
    fs::remove_all(dir);
    // A directory without the table, or none at all, knows no family.
    EXPECT_FALSE(ClassTemperatures(dir).Of("PP"));
    EXPECT_FALSE(ClassTemperatures("").Of("PP"));
}

}  // namespace
}  // namespace tarnvel::curves
