// Helpers shared by the tests of the file and path utilities: a scratch
// directory removed after each test, small file helpers, buffers with guard
// bytes behind their end, and capture of the standard error stream.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarnvel::testing {

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes away.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "paths-testXXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A buffer of Size usable bytes followed by guard bytes that a correct
// callee never touches.
template <int Size>
class GuardedBuffer {
  public:
    static constexpr int kGuardBytes = 16;
    static constexpr char kFill = '\x5a';

    GuardedBuffer() { bytes_.fill(kFill); }
    char* data() { return bytes_.data(); }
    static constexpr int size() { return Size; }
    std::string text() const { return std::string(bytes_.data(), strnlen(bytes_.data(), Size)); }
    bool GuardIntact() const {
        return std::all_of(bytes_.begin() + Size, bytes_.end(), [](char b) { return b == kFill; });
    }

  private:
    std::array<char, Size + kGuardBytes> bytes_{};
};

// Runs the action and returns what it printed on the standard error stream.
template <typename Action>
std::string StderrOf(Action action) {
    ::testing::internal::CaptureStderr();
    action();
    return ::testing::internal::GetCapturedStderr();
}

// The text of the condition reports in captured error output, with the
// box's line prefixes removed and wrapped lines joined by a blank again.
inline std::string Unboxed(const std::string& err) {
    std::string joined;
    std::size_t from = 0;
    for (std::size_t at = err.find("\n| "); at != std::string::npos; at = err.find("\n| ", from)) {
        joined.append(err, from, at - from).push_back(' ');
        from = at + 3;
    }
    return joined.append(err, from);
}

// True when the action reports misuse of an operation on standard error.
template <typename Action>
bool ReportsMisuse(Action action) {
    return StderrOf(action).find("Returned on Assertion Failure:") != std::string::npos;
}

}  // namespace tarnvel::testing
