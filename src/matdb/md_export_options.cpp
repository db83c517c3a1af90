#include "matdb/md_export_options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace tarnvel::matdb {
namespace {

enum class Kind { kSupplier, kGrade, kDatabase, kOutput, kDiagnostic, kKes };

struct OptionInfo {
    std::string_view name;
    Kind kind;
    bool whole;  // matched whole, not as a prefix
    bool has_value;
    std::size_t limit;  // the longest value allowed
};

constexpr OptionInfo kOptions[] = {
    {"-supplier", Kind::kSupplier, true, true, kMdExportNameLimit},
    {"-grade", Kind::kGrade, false, true, kMdExportNameLimit},
    {"-database", Kind::kDatabase, false, true, kMdExportNameLimit},
    {"-output", Kind::kOutput, false, true, kMdExportPathLimit - 1},
    {"-diagnostic", Kind::kDiagnostic, false, false, 0},
    {"-kes", Kind::kKes, false, false, 0},
};

const OptionInfo* Match(std::string_view word) {
    for (const OptionInfo& o : kOptions) {
        if (o.whole ? word == o.name : word.starts_with(o.name)) return &o;
    }
    return nullptr;
}

void Store(MdExportOptions& out, Kind kind, std::string_view value) {
    switch (kind) {
        case Kind::kSupplier:
            out.supplier = value;
            break;
        case Kind::kGrade:
            out.grade = value;
            break;
        case Kind::kDatabase:
            out.database = value;
            break;
        case Kind::kOutput:
            out.output = value;
            break;
        case Kind::kDiagnostic:
            out.diagnostic = true;
            break;
        case Kind::kKes:
            out.kes = true;
            break;
    }
}

// One preference list: its words (code = position + 1 unless given), its
// range of numbers and its default.
struct Word {
    std::string_view text;
    int code;
};

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int CodeOf(std::string_view item, std::span<const Word> words, int highest) {
    char* end = nullptr;
    const std::string text(item);
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() && *end == '\0') {
        return number >= 1 && number <= highest ? static_cast<int>(number) : kMdNoPreference;
    }
    for (const Word& w : words) {
        if (SameWord(item, w.text)) return w.code;
    }
    return kMdNoPreference;
}

template <std::size_t N>
std::array<int, N> ListOf(const char* value, std::span<const Word> words, int highest,
                          std::initializer_list<int> defaults) {
    std::array<int, N> list;
    list.fill(kMdNoPreference);
    std::size_t count = 0;
    std::string_view rest = value ? value : "";
    while (!rest.empty() && count < N) {
        const std::size_t start = rest.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::size_t stop = std::min(rest.find_first_of(" \t"), rest.size());
        const int code = CodeOf(rest.substr(0, stop), words, highest);
        if (code != kMdNoPreference) list[count++] = code;
        rest.remove_prefix(stop);
    }
    if (count == 0) std::copy(defaults.begin(), defaults.end(), list.begin());
    return list;
}

constexpr Word kViscosityWords[] = {{"1ST_ORDER", 1}, {"2ND_ORDER", 2}, {"MATRIX", 3},
                                    {"CROSS", 4},     {"CARREAU", 5},   {"CROSS-WLF", 6}};
constexpr Word kPvtWords[] = {
    {"VANTOREL", 1}, {"VANTROEL", 1}, {"TAIT", 2}, {"COMPRESSIBLITY_FACTOR", 3}, {"MATRIX", 4}};
constexpr Word kShrinkWords[] = {{"RESIDUAL_STRESS", 2}, {"RESIDUAL_STRAIN", 1}};

std::string_view NameOf(int code, std::span<const Word> words) {
    for (const Word& w : words) {
        if (w.code == code) return w.text;
    }
    return "NONE";
}

}  // namespace

std::string md_export_usage(const char* program) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "\n\nUsage: %s -supplier sup -grade code -output file [-database db] [-kes]\n",
                  program ? program : "");
    return line;
}

std::optional<MdExportOptions> md_export_parse(int argc, const char* const* argv) {
    MdExportOptions out;
    for (int i = 1; i < argc; ++i) {
        const OptionInfo* option = argv[i] ? Match(argv[i]) : nullptr;
        if (option == nullptr) return std::nullopt;
        if (!option->has_value) {
            Store(out, option->kind, {});
            continue;
        }
        if (i + 1 >= argc || argv[i + 1] == nullptr) return std::nullopt;
        const std::string_view value = argv[++i];
        if (value.size() > option->limit) return std::nullopt;
        Store(out, option->kind, value);
    }
    if (out.supplier.empty() || out.grade.empty() || out.output.empty()) return std::nullopt;
    return out;
}

MdModelPreferences md_model_preferences(const char* viscosity_order, const char* pvt_order,
                                        const char* shrink_order) {
    MdModelPreferences p;
    p.viscosity = ListOf<10>(viscosity_order, kViscosityWords, 6, {2, 1, 4, 5, 6, 3});
    p.pvt = ListOf<6>(pvt_order, kPvtWords, 4, {1, 2, 4, 3});
    p.shrinkage = ListOf<4>(shrink_order, kShrinkWords, 2, {2, 1});
    return p;
}

std::string_view md_viscosity_model_name(int code) {
    return NameOf(code, kViscosityWords);
}
std::string_view md_pvt_model_name(int code) {
    return NameOf(code, kPvtWords);
}
std::string_view md_shrinkage_model_name(int code) {
    return NameOf(code, kShrinkWords);
}

MdModelPreferences md_model_preferences_from_environment() {
    return md_model_preferences(std::getenv("VTORDER"), std::getenv("VTPVTORDER"),
                                std::getenv("VTSHRINKORDER"));
}

}  // namespace tarnvel::matdb
