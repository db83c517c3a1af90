// The option scan and dispatch of the program entry, with the product
// environment and the converters replaced by recorders.
#include "driver/program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace tarnvel::driver;

struct ArgVector {
    std::vector<std::string> args;
    std::vector<char*> argv;
    explicit ArgVector(std::vector<std::string> a) : args(std::move(a)) {
        for (std::string& s : args) argv.push_back(s.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(args.size()); }
};

struct Recorder {
    std::vector<std::string> calls;
    bool result = true;

    ProductHooks Product() {
        return ProductHooks{
            [this](int year, int, char**) { calls.push_back("version:" + std::to_string(year)); },
            [this](const char* r) { calls.push_back(std::string("release:") + r); },
            [this](int i, bool report) {
                calls.push_back("select:" + std::to_string(i) + (report ? "+" : "-"));
                return true;
            }};
    }
    Converters Convert() {
        auto text = [](const char* s) { return std::string(s ? s : "(null)"); };
        return Converters{[=, this](const char* a, const char* u, const char* v) {
                              calls.push_back("asc:" + text(a) + "," + text(u) + "," + text(v));
                              return result;
                          },
                          [=, this](const char* x, const char* u) {
                              calls.push_back("vxmat:" + text(x) + "," + text(u));
                              return result;
                          },
                          [=, this](const char* r, const char* u, const char* v) {
                              calls.push_back("rax:" + text(r) + "," + text(u) + "," + text(v));
                              return result;
                          }};
    }
    int Go(std::vector<std::string> args) {
        args.insert(args.begin(), "tarnvel");
        ArgVector run(std::move(args));
        return RunProgram(run.argc(), run.argv.data(), Product(), Convert());
    }
};

TEST(OptionScan, ValueIsAlwaysTheNextArgument) {
    ArgVector run({"tarnvel", "-udb", "-rax", "x"});
    const Options o = ScanOptions(run.argc(), run.argv.data());
    EXPECT_STREQ(o.udb, "-rax");  // the value is taken even if it is an option
    EXPECT_STREQ(o.rax, "x");     // and is scanned in its own turn as well
}

TEST(OptionScan, LaterOccurrenceOverwrites) {
    ArgVector run({"tarnvel", "-rax", "a", "-rax", "b", "-vtpath", "p"});
    const Options o = ScanOptions(run.argc(), run.argv.data());
    EXPECT_STREQ(o.rax, "b");
    EXPECT_STREQ(o.vtpath, "p");
}

TEST(OptionScan, LongerSpellingsActAsTheirPrefixOption) {
    ArgVector run({"tarnvel", "-product", "kes", "-version", "4.0"});
    const Options o = ScanOptions(run.argc(), run.argv.data());
    EXPECT_STREQ(o.prod, "kes");
    EXPECT_STREQ(o.ver, "4.0");
}

TEST(Dispatch, AsciiComesBeforeVxmatBeforeRax) {
    Recorder r;
    EXPECT_EQ(r.Go({"-asc", "a", "-udb", "o", "-vtpath", "v"}), kExitSuccess);
    EXPECT_EQ(r.calls.back(), "asc:a,o,v");
    EXPECT_EQ(r.Go({"-vxmat", "x", "-udb", "o"}), kExitSuccess);
    EXPECT_EQ(r.calls.back(), "vxmat:x,o");
    EXPECT_EQ(r.Go({"-rax", "r", "-udb", "o"}), kExitSuccess);
    EXPECT_EQ(r.calls.back(), "rax:r,o,(null)");
}

TEST(Dispatch, FailureCodesFollowTheInputKind) {
    Recorder r;
    r.result = false;
    EXPECT_EQ(r.Go({"-asc", "a", "-udb", "o"}), kExitAscFailed);
    EXPECT_EQ(r.Go({"-vxmat", "a", "-udb", "o"}), kExitVxmatFailed);
    EXPECT_EQ(r.Go({"-rax", "a", "-udb", "o"}), kExitRaxFailed);
}

TEST(ProductSelection, NeedsBothProductAndVersion) {
    Recorder r;
    r.Go({"-prod", "kes", "-rax", "r", "-udb", "o"});
    EXPECT_EQ(r.calls, (std::vector<std::string>{"version:2001", "rax:r,o,(null)"}));
}

TEST(ProductSelection, KesThenKorBothTested) {
    Recorder r;
    r.Go({"-prod", "kes-kor", "-ver", "4.0", "-rax", "r", "-udb", "o"});
    EXPECT_EQ(r.calls, (std::vector<std::string>{"version:2001", "release:4.0", "select:1+",
                                                 "select:0+", "rax:r,o,(null)"}));
}

TEST(ProductSelection, HelpSkipsSelectionAndConversion) {
    Recorder r;
    EXPECT_EQ(r.Go({"-prod", "kes", "-ver", "4.0", "-help"}), kExitHelp);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"version:2001"}));
}

}  // namespace
