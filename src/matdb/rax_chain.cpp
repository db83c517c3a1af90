#include "matdb/rax_chain.h"

#include <algorithm>

#include "matdb/md_print.h"

namespace tarnvel::matdb {

namespace {

bool ReadData(RaxFile& file, int number, DataRecord* data) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.record_length()));
    if (!file.ReadRecord(number, bytes)) return false;
    *data = DataRecord::DecodeFrom(bytes, file.swapped());
    return true;
}

}  // namespace

ChainStatus ReadChain(RaxFile* file, int first, std::vector<std::int32_t>* payload,
                      const ChainVisitor& visit) {
    payload->clear();
    if (first <= 0) return ChainStatus::kOk;
    if (file == nullptr) {
        MdPrint("Error: a rax file is missing.\n");
        return ChainStatus::kMissing;
    }
    for (int number = first; number > 0;) {
        DataRecord data;
        if (!visit(number) || !ReadData(*file, number, &data)) {
            payload->clear();
            return ChainStatus::kDamaged;
        }
        payload->insert(payload->end(), data.payload.begin(), data.payload.end());
        number = data.next;
    }
    return ChainStatus::kOk;
}

bool PlanChain(RaxFile& file, std::size_t words, int old_first, std::unordered_set<int>* used,
               ChainPlan* plan) {
    *plan = ChainPlan{};
    const std::size_t per_record = kPayloadWords;
    const std::size_t needed = std::max<std::size_t>(1, (words + per_record - 1) / per_record);
    for (int number = old_first; plan->records.size() < needed;) {
        if (!file.ValidRecord(number) || number >= file.header().next_free ||
            !used->insert(number).second)
            break;
        DataRecord data;
        if (!ReadData(file, number, &data)) return false;
        plan->records.push_back(number);
        plan->fresh.push_back(false);
        number = data.next;
    }
    if (plan->records.size() >= needed) return true;
    // What the old chain lacks is allocated as a fresh chain would be.
    const std::size_t remaining = words - std::min(words, plan->records.size() * per_record);
    const std::size_t count = remaining / per_record + 1;
    const bool extending = !plan->records.empty();
    const int first_new = file.Allocate(static_cast<int>(count));
    if (first_new == 0) return false;
    const std::size_t linked =
        extending ? std::max<std::size_t>(1, (remaining + per_record - 1) / per_record) : count;
    for (std::size_t i = 0; i < count; ++i) {
        const int number = first_new + static_cast<int>(i);
        if (i < linked) {
            plan->records.push_back(number);
            plan->fresh.push_back(true);
        } else {
            plan->spare = number;
        }
    }
    return true;
}

bool WriteChainRecords(RaxFile& file, const ChainPlan& plan, std::span<const std::int32_t> payload,
                       bool fresh_pass) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.record_length()));
    for (std::size_t i = 0; i < plan.records.size(); ++i) {
        if (plan.fresh[i] != fresh_pass) continue;
        DataRecord data;
        const std::size_t begin = std::min(payload.size(), i * kPayloadWords);
        const std::size_t end = std::min(payload.size(), begin + kPayloadWords);
        std::copy(payload.begin() + begin, payload.begin() + end, data.payload.begin());
        data.next = i + 1 < plan.records.size() ? plan.records[i + 1] : 0;
        data.EncodeTo(bytes, file.swapped());
        if (!file.WriteRecord(plan.records[i], bytes)) return false;
    }
    if (fresh_pass && plan.spare != 0) {
        DataRecord().EncodeTo(bytes, file.swapped());
        if (!file.WriteRecord(plan.spare, bytes)) return false;
    }
    return true;
}

}  // namespace tarnvel::matdb
