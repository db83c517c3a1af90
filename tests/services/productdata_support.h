// A private product data directory for the tests of the readers of product
// data files. The product environment caches variable values once read, so
// the directory is created, and the product's home and data variables are
// pointed at it, before anything reads them; it lives for the whole test
// process. Tests write the files they need into it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "services/libvxenv.h"

namespace tarnvel::testing {

// The environment name under which the current product reads a variable.
inline std::string LookupName(const char* generic_name) {
    const char* name = envGetVariableName(generic_name);
    return name != nullptr ? name : generic_name;
}

inline const std::string& ProductDataDir() {
    static const std::string path = [] {
        char name[] = "/tmp/tarnvel-msg-dataXXXXXX";
        const char* made = mkdtemp(name);
        if (made == nullptr) std::abort();
        setenv(LookupName("PRODUCT_DAT").c_str(), made, 1);
        setenv(LookupName("PRODUCT_HOME").c_str(), made, 1);
        unsetenv(LookupName("PRODUCT_DAT_PREFIX").c_str());
        unsetenv(LookupName("PRODUCT_LOCALE").c_str());
        // Naming the variables chose a product and resolved its directory
        // (the build's product tree beside the test program); start again so
        // that the settings above are what is read.
        envResetForTesting();
        return std::string(made);
    }();
    return path;
}

inline std::string DataFilePath(const std::string& name) {
    return ProductDataDir() + "/" + name;
}

inline void WriteDataFile(const std::string& name, const std::string& content) {
    std::ofstream out(DataFilePath(name), std::ios::binary | std::ios::trunc);
    out << content;
}

inline void RemoveDataFile(const std::string& name) {
    std::error_code ignored;
    std::filesystem::remove(DataFilePath(name), ignored);
}

// The text of a data file shipped with the product's sample tree.
inline std::string ShippedDataFile(const std::string& name) {
    std::ifstream in(std::string(TARNVEL_SOURCE_DIR) + "/product/data/dat/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text of the condition reports in captured standard error output, with
// the report box taken away and wrapped lines joined by blanks.
inline std::string ReportedText(const std::string& captured) {
    std::istringstream lines(captured);
    std::string line;
    std::string text;
    while (std::getline(lines, line)) {
        if (!line.starts_with("| ") || line.find("Unexpected Condition") != std::string::npos) {
            continue;
        }
        if (!text.empty()) text += ' ';
        text += line.substr(2);
    }
    return text;
}

// Removes the data files a test wrote, once the whole process ends.
inline void RemoveDataDirAtExit() {
    static const bool registered = [] {
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ProductDataDir(), ignored);
        });
        return true;
    }();
    (void)registered;
}

}  // namespace tarnvel::testing
