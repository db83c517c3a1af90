#include "inspect/model_diff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace tarnvel::inspect {
namespace {

using Kind = Difference::Kind;

Difference Make(Kind kind, std::string name = {}, std::string key = {}) {
    Difference d;
    d.kind = kind;
    d.name = std::move(name);
    d.key = std::move(key);
    return d;
}

// What of a model the comparison needs, taken while it is current.
struct Facts {
    std::array<TitleSlot, 6> title;
    std::vector<GlobalEntry> globals;
    std::array<int, UDM_CLASS_COUNT> counts{};
    std::vector<SetRef> sets;
};

Facts FactsOf(const ModelFile& file) {
    UdmModel* const previous = udm_model_current();
    file.Select();
    Facts facts{TitleOfCurrent(), GlobalsOfCurrent(), {}, SetsOfCurrent()};
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        facts.counts[entity_class] = udm_class_count(entity_class);
    }
    udm_model_select(previous);
    return facts;
}

std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

// The stamps of each write are not part of what a file says.
bool IsStamp(std::string_view keyword) {
    return keyword == "KEYW" || keyword == "DATE" || keyword == "TIME";
}

// Walks two sorted sequences together: only(a), only(b) or both(a, b) for
// each key, in key order.
template <typename T, typename Less, typename OnlyA, typename OnlyB, typename Both>
void Merge(const std::vector<T>& a, const std::vector<T>& b, Less less, OnlyA only_a, OnlyB only_b,
           Both both) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && less(a[i], b[j]))) {
            only_a(a[i++]);
        } else if (i == a.size() || less(b[j], a[i])) {
            only_b(b[j++]);
        } else {
            both(a[i++], b[j++]);
        }
    }
}

class Comparison {
  public:
    Comparison(const DiffOptions& options, const DifferenceSink& sink)
        : options_(options), sink_(sink) {}

    void Title(const Facts& a, const Facts& b) {
        for (std::size_t n = 0; n < a.title.size(); ++n) {
            if (IsStamp(a.title[n].keyword) || a.title[n].text == b.title[n].text) continue;
            Difference d = Make(Kind::kTitle, a.title[n].keyword);
            d.text_a = a.title[n].text;
            d.text_b = b.title[n].text;
            Report(d);
        }
    }

    void Globals(const Facts& a, const Facts& b) {
        const auto less = [](const GlobalEntry& x, const GlobalEntry& y) {
            return std::tie(x.group, x.key) < std::tie(y.group, y.key);
        };
        const auto report = [&](const GlobalEntry& entry, const GlobalEntry* other, bool in_a) {
            Difference d = Make(Kind::kGlobal, entry.group, entry.key);
            (in_a ? d.text_a : d.text_b) = entry.value;
            if (other != nullptr) (in_a ? d.text_b : d.text_a) = other->value;
            Report(d);
        };
        Merge(
            a.globals, b.globals, less, [&](const GlobalEntry& x) { report(x, nullptr, true); },
            [&](const GlobalEntry& y) { report(y, nullptr, false); },
            [&](const GlobalEntry& x, const GlobalEntry& y) {
                if (x.value != y.value) report(x, &y, true);
            });
    }

    void Counts(const Facts& a, const Facts& b) {
        for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
            if (entity_class == UDM_CLASS_TSET) continue;
            if (a.counts[entity_class] == b.counts[entity_class]) continue;
            Difference d = Make(Kind::kCount, ClassKeyword(entity_class));
            d.count_a = a.counts[entity_class];
            d.count_b = b.counts[entity_class];
            Report(d);
        }
    }

    void Sets(const Facts& a, const Facts& b) {
        const auto less = [](const SetRef& x, const SetRef& y) {
            return std::tie(x.type, x.label) < std::tie(y.type, y.label);
        };
        Merge(
            a.sets, b.sets, less, [&](const SetRef& x) { SetOnOneSide(x, Kind::kSetRemoved); },
            [&](const SetRef& y) { SetOnOneSide(y, Kind::kSetAdded); },
            [&](const SetRef& x, const SetRef& y) { SetPair(x, y); });
    }

    std::size_t found() const { return found_; }

  private:
    void Report(const Difference& d) {
        ++found_;
        sink_(d);
    }

    static Difference AtSet(Kind kind, const SetRef& set) {
        Difference d = Make(kind);
        d.type = set.type;
        d.label = set.label;
        return d;
    }

    void SetOnOneSide(const SetRef& set, Kind kind) {
        Difference d = AtSet(kind, set);
        (kind == Kind::kSetRemoved ? d.text_a : d.text_b) = TextOf(set.tset->description);
        Report(d);
    }

    void SetPair(const SetRef& a, const SetRef& b) {
        const std::string description_a = TextOf(a.tset->description);
        const std::string description_b = TextOf(b.tset->description);
        if (description_a != description_b) {
            Difference d = AtSet(Kind::kSetDescription, a);
            d.text_a = description_a;
            d.text_b = description_b;
            Report(d);
        }
        std::vector<const UdmTcod*> codes_a;
        std::vector<const UdmTcod*> codes_b;
        for (const UdmTcod* t = a.tset->codes; t != nullptr; t = t->next) codes_a.push_back(t);
        for (const UdmTcod* t = b.tset->codes; t != nullptr; t = t->next) codes_b.push_back(t);
        const auto less = [](const UdmTcod* x, const UdmTcod* y) { return x->code < y->code; };
        Merge(
            codes_a, codes_b, less,
            [&](const UdmTcod* x) { CodeOnOneSide(a, x, Kind::kCodeRemoved); },
            [&](const UdmTcod* y) { CodeOnOneSide(a, y, Kind::kCodeAdded); },
            [&](const UdmTcod* x, const UdmTcod* y) { CodePair(a, x, y); });
    }

    void CodeOnOneSide(const SetRef& set, const UdmTcod* tcod, Kind kind) {
        Difference d = AtSet(kind, set);
        d.code = tcod->code;
        (kind == Kind::kCodeRemoved ? d.count_a : d.count_b) = tcod->count;
        Report(d);
    }

    void CodePair(const SetRef& set, const UdmTcod* a, const UdmTcod* b) {
        Difference d = AtSet(Kind::kCodeDescription, set);
        d.code = a->code;
        const std::string description_a = TextOf(a->description);
        const std::string description_b = TextOf(b->description);
        if (description_a != description_b) {
            d.text_a = description_a;
            d.text_b = description_b;
            Report(d);
            d.text_a.reset();
            d.text_b.reset();
        }
        if (a->count != b->count) {
            d.kind = Kind::kValueCount;
            d.count_a = a->count;
            d.count_b = b->count;
            Report(d);
        }
        d.kind = Kind::kValue;
        for (std::int32_t n = 0; n < std::min(a->count, b->count); ++n) {
            if (ValuesAgree(a->values[n], b->values[n], options_.rel_tol)) continue;
            d.index = n;
            d.value_a = a->values[n];
            d.value_b = b->values[n];
            Report(d);
        }
    }

    const DiffOptions& options_;
    const DifferenceSink& sink_;
    std::size_t found_ = 0;
};

const char* KindName(Kind kind) {
    static constexpr std::array<const char*, 11> kNames = {
        "title",       "global",       "count",
        "set added",   "set removed",  "set description",
        "code added",  "code removed", "code description",
        "value count", "value"};
    return kNames[static_cast<std::size_t>(kind)];
}

void PutText(Output& out, const std::optional<std::string>& text) {
    if (text) {
        out.JsonString(*text);
    } else {
        out.Put("(none)");
    }
}

void PutPlace(Output& out, const Difference& d) {
    out.Put("set ");
    out.Integer(d.type);
    out.Put('/');
    out.Integer(d.label);
    if (d.kind >= Kind::kCodeAdded) {
        out.Put(" code ");
        out.Integer(d.code);
    }
    if (d.kind == Kind::kValue) {
        out.Put(" [");
        out.Integer(d.index);
        out.Put(']');
    }
    out.Put(": ");
}

void PutValues(Output& out, std::int64_t count) {
    out.Integer(count);
    out.Put(count == 1 ? " value" : " values");
}

void WriteSides(JsonWriter& json, const Difference& d) {
    const auto text = [&](const char* side, const std::optional<std::string>& value) {
        json.Key(side);
        value ? json.String(*value) : json.Null();
    };
    switch (d.kind) {
        case Kind::kCount:
        case Kind::kValueCount:
        case Kind::kCodeAdded:
        case Kind::kCodeRemoved:
            json.Key("a");
            d.kind == Kind::kCodeAdded ? json.Null() : json.Integer(d.count_a);
            json.Key("b");
            d.kind == Kind::kCodeRemoved ? json.Null() : json.Integer(d.count_b);
            return;
        case Kind::kValue:
            json.Key("a");
            json.Number(d.value_a);
            json.Key("b");
            json.Number(d.value_b);
            return;
        default:
            text("a", d.text_a);
            text("b", d.text_b);
    }
}

}  // namespace

bool ValuesAgree(double a, double b, double rel_tol) {
    if (a == b) return true;
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (!std::isfinite(a) || !std::isfinite(b)) return false;
    return std::fabs(a - b) <= rel_tol * std::max(std::fabs(a), std::fabs(b));
}

std::size_t DiffModels(const ModelFile& a, const ModelFile& b, const DiffOptions& options,
                       const DifferenceSink& sink) {
    const Facts facts_a = FactsOf(a);
    const Facts facts_b = FactsOf(b);
    Comparison comparison(options, sink);
    comparison.Title(facts_a, facts_b);
    comparison.Globals(facts_a, facts_b);
    comparison.Sets(facts_a, facts_b);
    comparison.Counts(facts_a, facts_b);
    return comparison.found();
}

void WriteDifferenceText(Output& out, const Difference& d) {
    switch (d.kind) {
        case Kind::kTitle:
            out.Put("title ");
            out.Put(d.name);
            out.Put(": ");
            break;
        case Kind::kGlobal:
            out.Put("global ");
            out.Put(d.name);
            out.Put(' ');
            out.JsonString(d.key);
            out.Put(": ");
            break;
        case Kind::kCount:
            out.Put("count ");
            out.Put(d.name);
            out.Put(": ");
            out.Integer(d.count_a);
            out.Put(" -> ");
            out.Integer(d.count_b);
            out.Put('\n');
            return;
        default:
            PutPlace(out, d);
    }
    switch (d.kind) {
        case Kind::kSetAdded:
        case Kind::kSetRemoved:
            out.Put(d.kind == Kind::kSetAdded ? "added " : "removed ");
            PutText(out, d.kind == Kind::kSetAdded ? d.text_b : d.text_a);
            break;
        case Kind::kCodeAdded:
        case Kind::kCodeRemoved:
            out.Put(d.kind == Kind::kCodeAdded ? "added (" : "removed (");
            PutValues(out, d.kind == Kind::kCodeAdded ? d.count_b : d.count_a);
            out.Put(")");
            break;
        case Kind::kValueCount:
            PutValues(out, d.count_a);
            out.Put(" -> ");
            PutValues(out, d.count_b);
            break;
        case Kind::kValue:
            out.Number(d.value_a);
            out.Put(" -> ");
            out.Number(d.value_b);
            break;
        default:
            if (d.kind == Kind::kSetDescription || d.kind == Kind::kCodeDescription) {
                out.Put("description ");
            }
            PutText(out, d.text_a);
            out.Put(" -> ");
            PutText(out, d.text_b);
    }
    out.Put('\n');
}

DifferenceJson::DifferenceJson(Output& out) : json_(out) {
    json_.BeginObject();
    json_.Key("differences");
    json_.BeginArray();
}

void DifferenceJson::Add(const Difference& d) {
    json_.BeginObject();
    json_.Key("kind");
    json_.String(KindName(d.kind));
    if (d.kind == Kind::kTitle || d.kind == Kind::kCount) {
        json_.Key(d.kind == Kind::kTitle ? "slot" : "class");
        json_.String(d.name);
    } else if (d.kind == Kind::kGlobal) {
        json_.Key("group");
        json_.String(d.name);
        json_.Key("key");
        json_.String(d.key);
    } else {
        json_.Key("type");
        json_.Integer(d.type);
        json_.Key("label");
        json_.Integer(d.label);
        if (d.kind >= Kind::kCodeAdded) {
            json_.Key("code");
            json_.Integer(d.code);
        }
        if (d.kind == Kind::kValue) {
            json_.Key("index");
            json_.Integer(d.index);
        }
    }
    WriteSides(json_, d);
    json_.EndObject();
}

void DifferenceJson::Finish(bool equal) {
    json_.EndArray();
    json_.Key("equal");
    json_.Bool(equal);
    json_.EndObject();
    json_.EndDocument();
}

}  // namespace tarnvel::inspect
