#include "matdb/md_visits.h"

#include <array>
#include <unordered_map>

#include "matdb/matdb.h"

namespace tarnvel::matdb {
namespace {

struct Visitor {
    int owner = 0;
    int walk = 0;
};

using FileLog = std::unordered_map<int, Visitor>;

std::array<std::array<FileLog, kRaxFileKinds>, kMdHighestSlot + 1>& Logs() {
    static std::array<std::array<FileLog, kRaxFileKinds>, kMdHighestSlot + 1> logs;
    return logs;
}

FileLog* LogOf(int slot, RaxFileKind kind) {
    const int file = static_cast<int>(kind);
    if (slot < 0 || slot > kMdHighestSlot || file < 0 || file >= kRaxFileKinds) return nullptr;
    return &Logs()[slot][file];
}

int g_last_walk = 0;
constexpr int kMaxWalk = 0x7fffffff;

}  // namespace

int NewWalk() {
    // Wrapping past the largest int starts again at 1: walks that old are
    // long finished.
    g_last_walk = g_last_walk == kMaxWalk ? 1 : g_last_walk + 1;
    return g_last_walk;
}

bool Visit(int slot, RaxFileKind kind, int owner, int walk, int number) {
    FileLog* log = LogOf(slot, kind);
    if (log == nullptr) return true;
    const auto [entry, added] = log->try_emplace(number, Visitor{owner, walk});
    if (added) return true;
    if (entry->second.owner != owner || entry->second.walk == walk) return false;
    entry->second.walk = walk;
    return true;
}

void ForgetVisits(int slot, RaxFileKind kind) {
    if (FileLog* log = LogOf(slot, kind)) *log = FileLog{};
}

void ForgetAllVisits(int slot) {
    for (int file = 0; file < kRaxFileKinds; ++file)
        ForgetVisits(slot, static_cast<RaxFileKind>(file));
}

}  // namespace tarnvel::matdb
