#include "matdb/md_index.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "matdb/rax_index.h"
#include "services/vtout.h"

namespace {

// The index fields in line order.
enum Field { kSupplier, kGrade, kFamily, kManufacturer, kTradeName, kFillers, kMeltFlow };

// A text field given by the rest of its line, with its limit and message.
struct TextLine {
    std::string_view keyword;
    Field field;
    std::size_t limit;
    const char* too_long;
    int result;
};
constexpr TextLine kTextLines[] = {
    {"Manufacturer", kManufacturer, 49, "[MD4RAX - 5] Manufacturer name too Long", -5},
    {"Trade_Name", kTradeName, 49, "[MD4RAX - 7] Trade Name too Long", -7},
    {"Fillers", kFillers, 49, "[MD4RAX - 6] Filler List too Long", -6},
    {"Melt_Flow_Rate", kMeltFlow, 79, "[MD4RAX - 8] MFI Data too Long", -8},
};
constexpr std::size_t kFamilyLimit = 10;

// The words of a line, split at blanks, tabs, double quotes and colons.
std::vector<std::string_view> Words(std::string_view line) {
    constexpr std::string_view kSeparators = " \t\":";
    std::vector<std::string_view> words;
    std::size_t position = 0;
    while ((position = line.find_first_not_of(kSeparators, position)) != std::string_view::npos) {
        const std::size_t end = std::min(line.find_first_of(kSeparators, position), line.size());
        words.push_back(line.substr(position, end - position));
        position = end;
    }
    return words;
}

std::string Joined(const std::vector<std::string_view>& words) {
    std::string text;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (i > 1) text += ' ';
        text += words[i];
    }
    return text;
}

// Builds the index lines of one ASCII file.
class IndexBuilder {
  public:
    IndexBuilder(std::FILE* index, bool messages, MdIndexedGrades* indexed)
        : index_(index), messages_(messages), indexed_(indexed) {}

    // Handles one line; false when reading must stop.
    bool Line(std::string_view line, int number) {
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) return true;
        const std::string_view key = words[0];
        const std::string second = words.size() > 1 ? std::string(words[1]) : std::string();
        if (key == "Supplier") return Supplier(second);
        if (key == "Grade") return Grade(second, number);
        if (key == "Material_Family") {
            if (second.size() > kFamilyLimit) {
                Fail("[MD4RAX - 5] Material Family too Long", -10);
                LineNumber(number);
            } else {
                Set(kFamily, second);
            }
            return true;
        }
        for (const TextLine& text : kTextLines) {
            if (key != text.keyword) continue;
            const std::string value = Joined(words);
            if (value.size() > text.limit) {
                Fail(text.too_long, text.result);
                LineNumber(number);
                return false;
            }
            Set(text.field, value);
        }
        return true;
    }

    // At the end of the file: the pending grade's record.
    void Finish() {
        if (result_ == 0 && pending_ && supplier_line_) Write();
    }

    void Fail(const char* message, int result) {
        Say(message);
        if (result_ == 0) result_ = result;
    }
    void Say(std::string_view text) const {
        if (!messages_) return;
        const std::string line = std::string(text) + "\n";
        vt_out(line.c_str());
    }
    int result() const { return result_; }

  private:
    bool Supplier(const std::string& name) {
        if (pending_ && !Flush()) return false;
        Set(kSupplier, name);
        supplier_line_ = true;
        return true;
    }
    bool Grade(const std::string& code, int number) {
        if (pending_) {
            if (!Flush()) return false;
            supplier_line_ = false;
        }
        Set(kGrade, code);
        grade_line_ = number;
        pending_ = true;
        return true;
    }
    // Writes the pending grade when a supplier line preceded it; otherwise
    // reports it and reading goes on. False when reading must stop.
    bool Flush() {
        if (!supplier_line_) {
            Fail("[MD4RAX - 9] Invalid data for Grade or Supplier", -9);
            return true;
        }
        Write();
        return result_ != -3;
    }
    void Write() {
        pending_ = false;
        if (!seen_[kSupplier] || !seen_[kGrade] || !seen_[kManufacturer] || !seen_[kTradeName]) {
            NameMissing();
            Fail("[MD4RAX - 3] Invalid or missing Index Information", -3);
            return;
        }
        std::string line = tarnvel::matdb::IndexLine(fields_);
        // Written by length: a field may hold any byte, a NUL included, and
        // the line keeps its fixed layout.
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), index_);
        line.pop_back();
        Say(line);
        if (indexed_ != nullptr) indexed_->emplace_back(fields_[kSupplier], fields_[kGrade]);
        for (Field optional : {kFamily, kManufacturer, kTradeName, kFillers, kMeltFlow}) {
            fields_[optional].clear();
            seen_[optional] = false;
        }
    }
    // Names the grade and the fields it lacks on the error stream, whatever
    // the messages setting: it is all that tells why no index was built.
    void NameMissing() const {
        std::string missing;
        for (const auto& [field, keyword] :
             {std::pair{kManufacturer, "Manufacturer"}, std::pair{kTradeName, "Trade_Name"}}) {
            if (seen_[field]) continue;
            missing += missing.empty() ? "" : " and ";
            missing += std::string("\"") + keyword + "\"";
        }
        std::fprintf(stderr, "Grade %.80s %.80s (line %d) has no %s line; the index needs one.\n",
                     fields_[kSupplier].c_str(), fields_[kGrade].c_str(), grade_line_,
                     missing.c_str());
    }
    void Set(Field field, const std::string& value) {
        fields_[field] = value;
        seen_[field] = true;
    }
    void LineNumber(int number) const {
        char text[32];
        std::snprintf(text, sizeof text, "Error at  line%5d", number);
        Say(text);
    }

    std::FILE* index_;
    bool messages_;
    MdIndexedGrades* indexed_;
    std::array<std::string, 7> fields_{};
    std::array<bool, 7> seen_{};
    bool pending_ = false;
    bool supplier_line_ = false;
    int grade_line_ = 0;
    int result_ = 0;
};

}  // namespace

bool md_write_index_header(std::FILE* index) {
    if (index == nullptr) return false;
    for (const std::string& line : tarnvel::matdb::IndexHeaderLines()) {
        if (std::fprintf(index, "%s\n", line.c_str()) < 0) return false;
    }
    return std::ferror(index) == 0;
}

int MD4RAX(const char* path, std::FILE* index, bool messages, MdIndexedGrades* indexed) {
    IndexBuilder builder(index, messages, indexed);
    std::ifstream file;
    if (path != nullptr && index != nullptr) file.open(path, std::ios::binary);
    if (!file.is_open()) {
        builder.Fail("[MD4RAX - 1] No Index Information for File", -1);
        builder.Say(path == nullptr ? "" : path);
        return -1;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!builder.Line(line, number)) break;
        if (builder.result() == -3) return -3;
    }
    if (file.bad()) {
        char text[64];
        std::snprintf(text, sizeof text, "[MD4RAX - 3] Error in reading control file, line%5d",
                      number);
        builder.Fail(text, -3);
    }
    file.close();
    builder.Finish();
    return builder.result();
}
