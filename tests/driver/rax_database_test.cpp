// The version lookup of the pipelines over real database files.
#include <gtest/gtest.h>

#include "driver/rax_pipeline.h"
#include "matdb/matdb.h"
#include "matdb/rax_test_support.h"

namespace tarnvel::driver {
namespace {

using namespace tarnvel::testing;

class DatabaseVersionTest : public DatabaseTest {
  protected:
    void WriteLocal(const std::vector<std::string>& suppliers) {
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
        for (const std::string& supplier : suppliers) {
            MdGrade grade = Grade(supplier.c_str(), "G1", "grade", {Single(3, 900.0f)});
            md_write_grade(MD_LOCAL, &grade);
        }
        md_close(MD_LOCAL);
        capture_.Take();
    }
};

TEST_F(DatabaseVersionTest, TheFirstDollarSupplierNamesTheVersion) {
    WriteLocal({"ALDERPOL", "$2026.1", "$OTHER"});
    EXPECT_EQ(DatabaseVersion(MD_LOCAL), std::optional<std::string>("2026.1"));
    // The slot is closed again.
    EXPECT_EQ(md_open_state(MD_LOCAL), 0);
    MRaxToUdb pipeline(BuiltInMaterialDatabase(), "");
    ASSERT_TRUE(pipeline.DetectDatabaseVersion(kLocalSlot));
    EXPECT_EQ(pipeline.Version(), "2026.1");
}

TEST_F(DatabaseVersionTest, NoDollarSupplierOrNoDatabaseGivesNoVersion) {
    EXPECT_EQ(DatabaseVersion(MD_LOCAL), std::nullopt);
    WriteLocal({"ALDERPOL", "KESTREL"});
    EXPECT_EQ(DatabaseVersion(MD_LOCAL), std::nullopt);
    EXPECT_TRUE(BuiltInMaterialDatabase().CompleteForAscii());
}

}  // namespace
}  // namespace tarnvel::driver
