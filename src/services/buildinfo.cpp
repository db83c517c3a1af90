#include "services/buildinfo.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "services/envproducts.h"
#include "services/libvxenv.h"
#include "services/syperror.h"

namespace tarnvel::services {
namespace {

// One entry of the build table.
struct BuildEntry {
    // The product's release (`build_release`).
    std::array<char, kBuildReleaseSize> release{};
    // The product's build code (`build_code`).
    std::array<char, kBuildCodeSize> code{};
};

struct BuildTable {
    // Product index -> entry; one per `product` element.
    std::map<int, BuildEntry> entries;
    // The chosen entry; -1 until chosen.
    int current = -1;
};

std::mutex g_table_mutex;
// A plain pointer freed by the exit cleanup: an owner with a destructor
// could be destroyed at exit before the cleanup runs, and freed twice.
BuildTable* g_table = nullptr;

template <std::size_t N>
void CopyCut(std::array<char, N>& field, const std::string& text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(field.data(), text.data(), length);
    field[length] = '\0';
}

void FreeBuildTable() {
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    delete g_table;
    g_table = nullptr;
}

// The table, filled on first use. Called with g_table_mutex held.
BuildTable& Table() {
    if (g_table != nullptr) return *g_table;
    g_table = new BuildTable;
    for (const auto& [index, values] : LoadProductConfiguration().build_entries) {
        BuildEntry& entry = g_table->entries[index];
        CopyCut(entry.release, values.release);
        CopyCut(entry.code, values.code);
    }
    static const bool registered = (sypRegisterExitCleanup(FreeBuildTable) == 0);
    (void)registered;
    return *g_table;
}

// Every entry whose code begins the given text becomes current; the last
// one wins. An entry without a code matches nothing.
void SelectByCode(BuildTable& table, const char* code) {
    for (const auto& [index, entry] : table.entries) {
        const std::size_t length = std::strlen(entry.code.data());
        if (length > 0 && std::strncmp(entry.code.data(), code, length) == 0) {
            table.current = index;
        }
    }
}

int CurrentIndex(BuildTable& table) {
    if (table.current < 0) {
        if (const char* code = std::getenv("VT_BUILDCODE")) SelectByCode(table, code);
    }
    if (table.current < 0) table.current = 0;
    const int count = static_cast<int>(table.entries.size());
    return table.current < count ? table.current : 0;
}

// The current entry; an empty one when the table has none.
const BuildEntry& CurrentEntry(BuildTable& table) {
    static const BuildEntry empty;
    const auto found = table.entries.find(CurrentIndex(table));
    return found != table.entries.end() ? found->second : empty;
}

const char* CopyOut(const char* text, char* buffer) {
    if (buffer == nullptr) return text;
    std::strcpy(buffer, text);
    return buffer;
}

}  // namespace

void BuildLoadTable() {
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    Table();
}

int BuildYear() {
    const char* year = std::strrchr(kBuildDate, '-');
    return year != nullptr ? std::atoi(year + 1) : 0;
}

std::vector<std::string> BuildYearPieces(int first_year) {
    return YearPieces(first_year, BuildYear());
}

std::vector<std::string> YearPieces(int first_year, int build_year) {
    std::string years;
    const int last = std::max(build_year, kEarliestBannerYear);
    for (int year = std::max(first_year, kEarliestBannerYear); year <= last; ++year) {
        char text[16];
        std::snprintf(text, sizeof text, "%4d  ", year);
        years += text;
    }
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < years.size(); at += kYearPieceWidth) {
        pieces.push_back(years.substr(at, kYearPieceWidth));
    }
    return pieces;
}

void BuildResetForTesting() {
    FreeBuildTable();
}

}  // namespace tarnvel::services

using tarnvel::services::g_table_mutex;
using tarnvel::services::Table;

const char* buildGetRelease(char* buffer) {
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    return tarnvel::services::CopyOut(tarnvel::services::CurrentEntry(Table()).release.data(),
                                      buffer);
}

const char* buildGetCode(char* buffer) {
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    return tarnvel::services::CopyOut(tarnvel::services::CurrentEntry(Table()).code.data(), buffer);
}

const char* buildGetNumber(char* buffer) {
    return tarnvel::services::CopyOut(tarnvel::services::kBuildNumber, buffer);
}

void buildSelectByCode(const char* code) {
    if (code == nullptr) {
        SYP_REPORT_MISUSE();
        return;
    }
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    tarnvel::services::SelectByCode(Table(), code);
}

int buildCurrentIndex() {
    const std::lock_guard<std::mutex> hold(g_table_mutex);
    return tarnvel::services::CurrentIndex(Table());
}
