// Databases with words overwritten at random: walking, reading and
// rewriting every grade ends, visits no more records than the files hold,
// and never writes into a header beyond its allocation words.
#include <gtest/gtest.h>

#include <random>

#include "matdb/matdb.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

class Corruption : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        std::vector<MdGrade> grades;
        for (int s = 0; s < 3; ++s) {
            for (int g = 0; g < 3; ++g) {
                const std::string supplier = std::string("SUP").append(std::to_string(s));
                const std::string code = std::string("G").append(std::to_string(g));
                grades.push_back(Grade(supplier, code, "Grade",
                                       {Single(3, 900), Points(1, {1, 4}, {1, 2, 3, 4, 5, 6}),
                                        Text(77, "Trade name of some length"),
                                        Coefficients(83, 0, std::vector<float>(30, 2.0f))}));
            }
        }
        BuildPersonal(root_, grades);
        for (const char* name : kFiles) pristine_.push_back(ReadBytes(Path(name)));
    }

    static constexpr const char* kFiles[] = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};
    static constexpr int kLengths[] = {42, 108, 96};
    std::vector<std::string> pristine_;
};

TEST_F(Corruption, EveryOperationEndsAndHeadersStayIntact) {
    std::mt19937 random(20261209);
    int opened = 0;
    int grades_read = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<std::string> files = pristine_;
        for (int poke = 0; poke < 4; ++poke) {
            std::string& bytes = files[random() % 3];
            const std::size_t offset = random() % (bytes.size() - 3);
            // Small values are likely record numbers, the damage that matters.
            const std::int32_t value = static_cast<std::int32_t>(random() % 40) - 5;
            std::memcpy(bytes.data() + offset, &value, 4);
        }
        for (int i = 0; i < 3; ++i) WriteBytes(Path(kFiles[i]), files[i]);
        if (md_open(MD_LOCAL, MD_WRITE) != MD_OPENED_WRITE) continue;
        ++opened;
        const int supplier_limit = static_cast<int>(files[0].size() / 42);
        const int grade_limit = static_cast<int>(files[1].size() / 108);
        int suppliers = 0;
        std::vector<std::unique_ptr<MdGrade>> read;
        for (MdPosition s = md_first_supplier(md_position(MD_LOCAL)); s.valid != 0;
             s = md_next_supplier(s)) {
            ASSERT_LE(++suppliers, supplier_limit) << "round " << round;
            int grades = 0;
            for (MdPosition g = md_first_grade(s); g.valid != 0; g = md_next_grade(g)) {
                ASSERT_LE(++grades, grade_limit) << "round " << round;
                if (auto grade = md_read_grade(g)) read.push_back(std::move(grade));
            }
        }
        grades_read += static_cast<int>(read.size());
        for (const auto& grade : read) md_write_grade(MD_LOCAL, grade.get());
        md_close(MD_LOCAL);
        for (int i = 0; i < 3; ++i) {
            const std::string after = ReadBytes(Path(kFiles[i]));
            ASSERT_GE(after.size(), files[i].size());
            // Only the next-free, allocated-count and save generation words
            // of a header change.
            std::string header_before = files[i].substr(0, kLengths[i]);
            std::string header_after = after.substr(0, kLengths[i]);
            header_before.replace(0, 16, 16, '\0');
            header_after.replace(0, 16, 16, '\0');
            ASSERT_EQ(header_after, header_before) << kFiles[i] << " round " << round;
        }
    }
    // Most rounds damage records rather than headers, and most grades
    // survive four damaged words.
    EXPECT_GT(opened, 100);
    EXPECT_GT(grades_read, opened * 4);
    capture_.Take();
}

}  // namespace
