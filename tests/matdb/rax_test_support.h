// Helpers shared by the database tests: a scratch working directory that
// holds a Local database, captured console output, grade builders, and a
// byte-level writer of database files in either byte order that does not
// use the access layer.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "matdb/matdb.h"
#include "services/vtout.h"

namespace tarnvel::testing {

inline std::string& CapturedText() {
    static std::string text;
    return text;
}

inline void CaptureSink(std::string_view line) {
    CapturedText() += line;
    CapturedText() += '\n';
}

// Console output collected while the object lives.
class Capture {
  public:
    Capture() {
        vtOutSave();
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(CaptureSink);
        CapturedText().clear();
    }
    ~Capture() { vtOutRestore(); }
    std::string Take() {
        std::string text = CapturedText();
        CapturedText().clear();
        return text;
    }
};

// A fresh working directory (entered) with no database variables set;
// every slot is closed and the directory removed afterwards.
class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        md_close_all();
        std::string pattern = (std::filesystem::temp_directory_path() / "raxdb-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
        for (const char* name : {"VTPATH", "VTCOMP", "VTPROJ"}) unsetenv(name);
    }
    void TearDown() override {
        md_close_all();
        std::filesystem::current_path(old_cwd_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
        for (const char* name : {"VTPATH", "VTCOMP", "VTPROJ"}) unsetenv(name);
    }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    std::string MakeDir(const std::string& name) const {
        std::filesystem::create_directories(Path(name));
        return Path(name);
    }

    std::string root_;
    std::filesystem::path old_cwd_;
    Capture capture_;
};

inline MdProperty Single(int property, float value) {
    MdProperty item;
    item.property = property;
    item.format = MD_SINGLE_POINT;
    item.values = {MdWord::Real(value)};
    return item;
}

inline MdProperty Points(int property, std::vector<int> variables, std::vector<float> values) {
    MdProperty item;
    item.property = property;
    item.format = MD_STANDARD_POINTS;
    item.variables = std::move(variables);
    for (float value : values) item.values.push_back(MdWord::Real(value));
    return item;
}

inline MdProperty Coefficients(int property, int model, std::vector<float> values) {
    MdProperty item = Points(property, {}, std::move(values));
    item.format = MD_COEFFICIENTS;
    item.model = model;
    return item;
}

inline MdProperty Text(int property, std::string text, int format = MD_TEXT) {
    MdProperty item;
    item.property = property;
    item.format = format;
    item.text = std::move(text);
    return item;
}

inline MdGrade Grade(std::string supplier, std::string code, std::string description,
                     std::vector<MdProperty> items) {
    MdGrade grade;
    grade.supplier = std::move(supplier);
    grade.code = std::move(code);
    grade.description = std::move(description);
    grade.items = std::move(items);
    return grade;
}

inline const MdProperty* Item(const MdGrade& grade, int property, int format = 0) {
    for (const MdProperty& item : grade.items) {
        if (item.property == property && (format == 0 || item.format == format)) return &item;
    }
    return nullptr;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Builds one database file record by record in a chosen byte order, from
// the format's layout alone.
class RawFile {
  public:
    RawFile(int record_length, bool big_endian) : length_(record_length), big_(big_endian) {}

    // Record n (1-based) as a zero-filled buffer, grown as needed.
    void Word(int record, int offset, std::int32_t value) {
        auto word = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i) {
            const int shift = big_ ? 24 - 8 * i : 8 * i;
            Byte(record, offset + i, static_cast<char>((word >> shift) & 0xff));
        }
    }
    void Real(int record, int offset, float value) {
        std::int32_t word = 0;
        std::memcpy(&word, &value, 4);
        Word(record, offset, word);
    }
    void Text(int record, int offset, std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i)
            Byte(record, offset + static_cast<int>(i), text[i]);
    }
    void Header(int next_free, int allocated, int magic, int record_length) {
        Word(1, 0, next_free);
        Word(1, 8, allocated);
        Word(1, 16, 32700);
        Word(1, 20, magic);
        Word(1, 24, record_length);
    }
    void Save(const std::string& path) const { WriteBytes(path, bytes_); }
    std::string& bytes() { return bytes_; }

  private:
    void Byte(int record, int offset, char value) {
        const std::size_t at = static_cast<std::size_t>(record - 1) * length_ + offset;
        if (bytes_.size() < static_cast<std::size_t>(record) * length_)
            bytes_.resize(static_cast<std::size_t>(record) * length_, '\0');
        bytes_[at] = value;
    }

    int length_;
    bool big_;
    std::string bytes_;
};

}  // namespace tarnvel::testing

namespace tarnvel::testing {

// Writes grades into a new personal database in directory (made the working
// directory meanwhile) and closes it.
inline void BuildPersonal(const std::string& directory, const std::vector<MdGrade>& grades) {
    const auto here = std::filesystem::current_path();
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    md_close(MD_LOCAL);
    md_open(MD_LOCAL, MD_CREATE);
    for (const MdGrade& grade : grades) md_write_grade(MD_LOCAL, &grade);
    md_close(MD_LOCAL);
    std::filesystem::current_path(here);
}

// Turns the personal database of directory into a Standard one: the files
// take the Standard names and the Standard magic word.
inline void MakeStandard(const std::string& directory) {
    for (const char* letter : {"f", "g", "d"}) {
        const std::string from = directory + "/mt" + letter + "p.rax";
        std::string bytes = ReadBytes(from);
        const std::int32_t magic = 27856;
        std::memcpy(bytes.data() + 20, &magic, 4);
        WriteBytes(directory + "/mt" + letter + "s.rax", bytes);
        std::filesystem::remove(from);
    }
}

inline void BuildStandard(const std::string& directory, const std::vector<MdGrade>& grades) {
    BuildPersonal(directory, grades);
    MakeStandard(directory);
    setenv("VTPATH", directory.c_str(), 1);
}

}  // namespace tarnvel::testing
