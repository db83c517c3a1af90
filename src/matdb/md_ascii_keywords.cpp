// The keyword table: fixed words, then property, variable and unit names
// upper-cased with blanks as "_".
#include "matdb/md_ascii_keywords.h"

#include <deque>
#include <string>
#include <vector>

#include "matdb/md_catalogue.h"

namespace tarnvel::matdb {
namespace {

constexpr int kLastAsciiUnit = 44;

struct Table {
    std::deque<std::string> texts;
    std::vector<TokKeyword> entries;

    void Add(std::string_view name, int kind, int value) {
        std::string text = md_keyword_of(name);
        if (text.empty() || text == "EMPTY") return;
        entries.push_back({texts.emplace_back(std::move(text)).c_str(), kind, value});
    }
};

Table Build() {
    Table table;
    table.Add("SUPPLIER", kAscSupplier, 0);
    table.Add("GRADE", kAscGrade, 0);
    table.Add("HEADER", kAscHeader, 0);
    table.Add("GENERIC_LINK", kAscGenericLink, 0);
    for (int n = 1; n <= kMdLastProperty; ++n) table.Add(md_property_name(n), kAscProperty, n);
    for (int n = 1; n <= kMdLastVariable; ++n) table.Add(md_variable_name(n), kAscVariable, n);
    const int systems[] = {kMdSystemSI, kMdSystemMetric, kMdSystemEnglish};
    for (int group = 0; group < 3; ++group) {
        for (int unit = 1; unit <= kLastAsciiUnit; ++unit) {
            table.Add(md_unit_name(unit, systems[group]), kAscUnit,
                      unit + kAscUnitsPerGroup * group);
        }
    }
    return table;
}

}  // namespace

std::span<const TokKeyword> AsciiKeywords() {
    static const Table table = Build();
    return table.entries;
}

}  // namespace tarnvel::matdb
