// File names of the catalogue's pages: safe in any folder, never two alike.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/catalogue_names.h"

namespace {

using tarnvel::catalogue::PageNames;
using tarnvel::catalogue::SafeFileStem;

bool OnlySafeCharacters(const std::string& stem) {
    for (char c : stem) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!safe) return false;
    }
    return true;
}

TEST(SafeFileStem, KeepsPlainNamesAndEscapesEverythingElse) {
    EXPECT_EQ(SafeFileStem("AP120"), "AP120");
    EXPECT_EQ(SafeFileStem("PC-ABS"), "PC-ABS");
    EXPECT_EQ(SafeFileStem("PC/ABS"), "PC_2FABS");
    EXPECT_EQ(SafeFileStem(".."), "_2E_2E");
    EXPECT_EQ(SafeFileStem("A B_c"), "A_20B_5F_63");
    EXPECT_EQ(SafeFileStem(std::string("\0\xFF", 2)), "_00_FF");
    EXPECT_EQ(SafeFileStem(""), "_");
}

TEST(SafeFileStem, DeviceNamesAreEscaped) {
    EXPECT_EQ(SafeFileStem("CON"), "_43ON");
    EXPECT_EQ(SafeFileStem("COM1"), "_43OM1");
    EXPECT_EQ(SafeFileStem("NUL"), "_4EUL");
    EXPECT_EQ(SafeFileStem("CONX"), "CONX");
    EXPECT_EQ(SafeFileStem("COM"), "COM");
}

TEST(SafeFileStem, DifferentNamesNeverShareAStemEvenIgnoringCase) {
    const std::vector<std::string> names = {"AB", "ab", "Ab", "A_42", "A.B", "A/B",       "A_2FB",
                                            "_",  "",   "..", ".",    "A B", "A\xC3\xA9", "A\xE9"};
    std::set<std::string> folded;
    for (const std::string& name : names) {
        const std::string stem = SafeFileStem(name);
        EXPECT_TRUE(OnlySafeCharacters(stem)) << stem;
        std::string lower;
        for (char c : stem) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(folded.insert(lower).second) << name << " -> " << stem;
    }
}

TEST(PageNames, PagesLiveUnderTheirSupplierAndRepeatsGetANumber) {
    PageNames names;
    EXPECT_EQ(names.Assign("ALDERPOL", "AP120"), "grades/ALDERPOL/AP120.html");
    EXPECT_EQ(names.Assign("ALDERPOL", "AP120"), "grades/ALDERPOL/AP120.2.html");
    EXPECT_EQ(names.Assign("ALDERPOL", "AP120"), "grades/ALDERPOL/AP120.3.html");
    EXPECT_EQ(names.Assign("../X", "../../Y"), "grades/_2E_2E_2FX/_2E_2E_2F_2E_2E_2FY.html");
    EXPECT_EQ(names.Find("ALDERPOL", "AP120"), "grades/ALDERPOL/AP120.html");
    EXPECT_EQ(names.Find("ALDERPOL", "AP121"), "");
    EXPECT_EQ(PageNames::SupplierFolder("A/B"), "grades/A_2FB");
}

}  // namespace
