// Helpers shared by the record-file tests: a scratch directory, file
// helpers, and a fixture that resets the unit settings and closes every
// unit after each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "recfile/recfile.h"
#include "recfile/rf_units.h"

namespace tarnvel::testing {

class RecfileTest : public ::testing::Test {
  protected:
    RecfileTest() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "recfile-testXXXXXX").string();
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~RecfileTest() override {
        recfile::rfCloseAll();
        rfSettings() = RfSettings{};
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    static void Write(const std::string& path, const std::string& contents) {
        std::ofstream(path, std::ios::binary) << contents;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    // Sends the message lines into a file, so that a test can read them.
    std::string CaptureMessages() {
        const std::string path = Path("messages.txt");
        recfile::RfOpenOptions options;
        options.status = recfile::RfStatus::kUnknown;
        EXPECT_EQ(recfile::rfOpen(kMessageUnit, path, options), 0);
        rfSettings().message_unit = kMessageUnit;
        return path;
    }
    std::string Messages() {
        recfile::rfFlush(kMessageUnit);
        return Read(Path("messages.txt"));
    }

    static constexpr int kMessageUnit = 99;

  private:
    std::string dir_;
};

}  // namespace tarnvel::testing
