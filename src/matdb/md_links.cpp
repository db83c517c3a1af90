#include "matdb/md_links.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "matdb/md_catalogue.h"
#include "matdb/md_lookup_cache.h"
#include "matdb/md_print.h"
#include "matdb/md_read.h"
#include "matdb/md_walk.h"

namespace tarnvel::matdb {

namespace {

// The link texts of a grade not yet followed, each text once, taken in item
// order until a linked grade was merged and then by text: a merge sorts the
// grade's items, links by their text.
class PendingLinks {
  public:
    explicit PendingLinks(MdGrade& grade) {
        for (MdProperty& item : grade.items) {
            if (item.property != kMdGenericLink || item.link_followed != 0) continue;
            item.link_followed = 1;
            if (by_text_.insert(item.text).second) in_order_.push_back(item.text);
        }
    }

    bool Take(bool by_text, std::string* text) {
        if (by_text_.empty()) return false;
        if (by_text) {
            *text = *by_text_.begin();
        } else {
            while (!by_text_.contains(in_order_[next_])) ++next_;
            *text = in_order_[next_];
        }
        by_text_.erase(*text);
        return true;
    }

  private:
    std::vector<std::string> in_order_;
    std::set<std::string> by_text_;
    std::size_t next_ = 0;
};

void PrintReading(const std::string& supplier, const std::string& code) {
    MdPrint("Reading %s %s from %s database.\n", WantedName(supplier, 1024).c_str(),
            WantedName(code, 1024).c_str(), md_database_name(MD_STANDARD));
}

// A linked grade that was found but cannot be read is said once per run,
// where the conversions show it whatever their message settings: the
// grades that link to it go on with their own data.
void ReportUnreadable(const std::string& supplier, const std::string& code) {
    static std::set<std::string> reported;
    const std::string name = WantedName(supplier, 1024) + " " + WantedName(code, 1024);
    if (!reported.insert(name).second) return;
    MdNotice("Warning: generic link %s could not be read: the grade is damaged.\n", name.c_str());
}

}  // namespace

LinkResolution::LinkResolution(const MdPosition& position) {
    open_.insert({position.slot, GradeNumber(position)});
}

const MdGrade* LinkResolution::Follow(const std::string& text, int depth) {
    const std::size_t blank = text.find(' ');
    const std::string supplier = text.substr(0, blank);
    const std::string code = blank == std::string::npos ? "" : text.substr(blank + 1);
    const std::string name =
        WantedName(supplier, kSupplierNameWidth) + '\n' + WantedName(code, kGradeCodeWidth);
    if (const MdGrade* known = CachedLinkedGrade(name)) {
        PrintReading(supplier, code);
        return known;
    }
    const MdPosition position = md_find(MD_STANDARD, supplier.c_str(), code.c_str());
    if (position.valid == 0) {
        MdPrint("Grade %s %s not found.\n", WantedName(supplier, 1024).c_str(),
                WantedName(code, 1024).c_str());
        return nullptr;
    }
    const Key key{position.slot, GradeNumber(position)};
    if (open_.contains(key)) {
        MdPrint(
            "Warning: generic link %s not followed: it leads back to a grade whose links "
            "are being followed.\n",
            text.c_str());
        return nullptr;
    }
    PrintReading(supplier, code);
    if (const auto found = done_.find(key); found != done_.end()) return found->second.get();
    const long printed = MdPrintCount();
    open_.insert(key);
    std::unique_ptr<MdGrade> linked = ReadLinkedGrade(position, *this, depth);
    open_.erase(key);
    if (linked == nullptr) {
        ReportUnreadable(supplier, code);
    } else if (MdPrintCount() == printed) {
        RememberLinkedGrade(name, *linked);
    }
    return (done_[key] = std::move(linked)).get();
}

void ResolveLinks(MdGrade& grade, LinkResolution& links, int depth) {
    PendingLinks pending(grade);
    std::vector<const MdGrade*> linked;
    std::unordered_set<const MdGrade*> taken;
    for (std::string text; pending.Take(!linked.empty(), &text);) {
        if (depth >= kMaxLinkDepth) {
            MdPrint("Warning: generic link %s not followed: more than %d links in a row.\n",
                    text.c_str(), kMaxLinkDepth);
            continue;
        }
        const MdGrade* target = links.Follow(text, depth + 1);
        // A grade merged once adds nothing the second time.
        if (target != nullptr && taken.insert(target).second) linked.push_back(target);
    }
    md_merge_linked(grade, linked);
    for (MdProperty& item : grade.items) {
        if (item.inherited != 0 &&
            (item.property == kMdShrinkage || item.property == kMdShrinkagePredictiveError))
            item.property = 0;
    }
}

}  // namespace tarnvel::matdb
