// Finding grades by name with the lookup cache gives exactly the positions
// that walking the lists gives, while grades and suppliers are added.
#include "matdb/md_lookup_cache.h"

#include <stdlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "services/vtout.h"

namespace tarnvel::matdb {
namespace {

namespace fs = std::filesystem;

class LookupCache : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/md-cache-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder_ = name;
        previous_ = fs::current_path();
        fs::current_path(folder_);
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(vtOutDiscard);
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    }
    void TearDown() override {
        SetLookupCacheEnabled(true);
        md_close_all();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }

    static void Write(const std::string& supplier, const std::string& code) {
        MdGrade grade;
        grade.supplier = supplier;
        grade.code = code;
        grade.description = "GRADE " + code;
        MdProperty item;
        item.property = 1;
        item.format = MD_SINGLE_POINT;
        item.values = {MdWord::Real(0.2f)};
        grade.items = {item};
        md_write_grade(MD_LOCAL, &grade);
    }

    // md_find with the cache, then with every list walked.
    static void ExpectSameBothWays(const std::string& supplier, const std::string& code) {
        const MdPosition cached = md_find(MD_LOCAL, supplier.c_str(), code.c_str());
        SetLookupCacheEnabled(false);
        const MdPosition walked = md_find(MD_LOCAL, supplier.c_str(), code.c_str());
        SetLookupCacheEnabled(true);
        SCOPED_TRACE(supplier + " " + code);
        EXPECT_EQ(cached.valid, walked.valid);
        EXPECT_EQ(cached.slot, walked.slot);
        EXPECT_EQ(cached.supplier, walked.supplier);
        EXPECT_EQ(cached.grade, walked.grade);
    }

    fs::path folder_, previous_;
};

TEST_F(LookupCache, FindsWhatIsAddedAfterAnEarlierLookup) {
    Write("ACME", "G1");
    ASSERT_TRUE(md_find(MD_LOCAL, "ACME", "G1").valid);
    EXPECT_FALSE(md_find(MD_LOCAL, "ACME", "G2").valid);
    EXPECT_FALSE(md_find(MD_LOCAL, "BETA", "G1").valid);
    Write("ACME", "G2");
    Write("BETA", "G1");
    EXPECT_TRUE(md_find(MD_LOCAL, "acme", " g2 ").valid);
    EXPECT_TRUE(md_find(MD_LOCAL, "BETA", "G1").valid);
    // The writer links new records from the list's last one, which a cached
    // miss must report too: the second grade of BETA lands in BETA's list.
    Write("BETA", "G2");
    SetLookupCacheEnabled(false);
    EXPECT_TRUE(md_find(MD_LOCAL, "BETA", "G2").valid);
    EXPECT_FALSE(md_find(MD_LOCAL, "ACME", "G3").valid);
}

TEST_F(LookupCache, AgreesWithWalkingTheListsThroughRandomWrites) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> supplier(0, 11), grade(0, 19);
    for (int step = 0; step < 400; ++step) {
        const std::string s = std::string("S").append(std::to_string(supplier(random)));
        const std::string g = std::string("G").append(std::to_string(grade(random)));
        if (step % 3 == 0)
            Write(s, g);
        else
            ExpectSameBothWays(s, g);
    }
}

TEST_F(LookupCache, ForgetsADatabaseThatIsClosed) {
    Write("ACME", "G1");
    ASSERT_TRUE(md_find(MD_LOCAL, "ACME", "G1").valid);
    md_close(MD_LOCAL);
    // Another database in the same slot: nothing remembered of the first.
    const fs::path other = folder_ / "other";
    fs::create_directory(other);
    fs::current_path(other);
    ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    Write("BETA", "G9");
    EXPECT_FALSE(md_find(MD_LOCAL, "ACME", "G1").valid);
    EXPECT_TRUE(md_find(MD_LOCAL, "BETA", "G9").valid);
    fs::current_path(folder_);
}

}  // namespace
}  // namespace tarnvel::matdb
