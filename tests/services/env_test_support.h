// Helpers for the tests of the product environment: environment variables
// set for one test and put back afterwards, and a private temporary
// directory with files written into it.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace tarnvel::testing {

// Changes environment variables and restores every one it touched.
class EnvironmentGuard {
  public:
    EnvironmentGuard() = default;
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;
    ~EnvironmentGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

    void Set(const std::string& name, const std::string& value) {
        Remember(name);
        setenv(name.c_str(), value.c_str(), 1);
    }

    void Unset(const std::string& name) {
        Remember(name);
        unsetenv(name.c_str());
    }

    // Unsets every variable whose name begins with prefix.
    void UnsetPrefixed(const std::string& prefix) {
        std::vector<std::string> names;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (text.starts_with(prefix)) names.push_back(text.substr(0, text.find('=')));
        }
        for (const std::string& name : names) Unset(name);
    }

  private:
    void Remember(const std::string& name) {
        for (const auto& [known, value] : saved_) {
            if (known == name) return;
        }
        const char* value = getenv(name.c_str());
        saved_.emplace_back(name,
                            value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A private directory below /tmp, removed with its contents.
class TempDirectory {
  public:
    TempDirectory() {
        char name[] = "/tmp/tarnvel-env-XXXXXX";
        if (mkdtemp(name) != nullptr) path_ = name;
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    ~TempDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }

    const std::string& path() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

    // Writes a file (creating its directories) and returns its path.
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string file = Path(name);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

  private:
    std::string path_;
};

// The shipped product configuration of the source tree.
inline std::string ShippedConfigurationPath() {
    return std::string(TARNVEL_SOURCE_DIR) + "/product/products.xml";
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarnvel::testing
