// Chains of data records: a payload of words spread over records of 23
// payload words, each record linking to the next (0 ends the chain).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <unordered_set>
#include <vector>

#include "matdb/rax_file.h"

namespace tarnvel::matdb {

enum class ChainStatus { kOk, kMissing, kDamaged };

// Told every record number a chain read reaches, before the record is
// read; false when the record was reached before (the chain loops, or runs
// into another chain), which is damage.
using ChainVisitor = std::function<bool(int number)>;

// Reads the chain beginning at first (0 or less: no chain, empty payload).
// A first record or link that is not a valid record, or a record reached
// twice, is damage. A null file is a missing file.
ChainStatus ReadChain(RaxFile* file, int first, std::vector<std::int32_t>* payload,
                      const ChainVisitor& visit);

// Where a payload will be written. A chain written fresh takes W / 23 + 1
// records; a rewrite reuses the old chain's records in order (each only
// when valid, below next-free and not yet used) and ends in the record that
// holds the payload's last word, allocating what the old chain lacks.
struct ChainPlan {
    // The chain's records in order.
    std::vector<int> records;
    // Per record: newly allocated (true) or reused from the old chain.
    std::vector<bool> fresh;
    // A newly allocated record the chain does not need, written zero so
    // that the file covers every allocated record (0 when none).
    int spare = 0;
    int first() const { return records.empty() ? 0 : records.front(); }
};

// Plans a payload of words over the old chain; false when allocation failed
// (the md_rax message is printed) or an old record cannot be read. Records
// in used (shared by the chains of one rewrite) are never reused twice.
bool PlanChain(RaxFile& file, std::size_t words, int old_first, std::unordered_set<int>* used,
               ChainPlan* plan);

// Writes the planned records that are newly allocated (fresh_pass) or the
// reused ones, so that a caller can write every new record before it
// overwrites any old one.
bool WriteChainRecords(RaxFile& file, const ChainPlan& plan, std::span<const std::int32_t> payload,
                       bool fresh_pass);

}  // namespace tarnvel::matdb
