// The units file reader: a token stream over the file and the USYS/UNIT
// grammar that fills a units table. The table keeps its systems and units in
// ordered collections; the records themselves live in deques owned by the
// table, so the collections only order them.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <string_view>

#include "services/uniconv.h"
#include "services/vxmemlist.h"

namespace tarnvel::services {
namespace {

// The order key of a collection item: a system name or a unit key. A probe
// for a lookup is a bare OrderKey; items derive from it.
struct OrderKey {
    std::string_view name;
};

unsigned char LowerAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// Compares two names by their lower-cased bytes as unsigned values.
int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = LowerAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = LowerAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int CompareOrderKeys(const void* key, const void* node_item, int* result) {
    const int order = CompareNames(static_cast<const OrderKey*>(key)->name,
                                   static_cast<const OrderKey*>(node_item)->name);
    *result = order < 0 ? kOcBefore : (order == 0 ? kOcEqual : kOcAfter);
    return kOcOk;
}

// An ordered collection of OrderKey items that it does not own.
class NameIndex {
  public:
    NameIndex() = default;
    NameIndex(const NameIndex&) = delete;
    NameIndex& operator=(const NameIndex&) = delete;
    ~NameIndex() {
        if (collection_ != nullptr) ocDestroy(&collection_);
    }

    // Creates the collection on first use; false when out of memory.
    bool ensure() {
        return collection_ != nullptr || ocCreate(&collection_, CompareOrderKeys) == kOcOk;
    }

    OrderKey* find(std::string_view name) const {
        if (collection_ == nullptr) return nullptr;
        OrderKey probe{name};
        void* item = nullptr;
        if (ocFind(collection_, &probe, &item) != kOcOk) return nullptr;
        return static_cast<OrderKey*>(item);
    }

    // kOcOk, kOcDuplicate or kOcNoMemory.
    int insert(OrderKey* item) { return ocInsert(collection_, item); }

    std::size_t count() const {
        std::uint32_t count = 0;
        if (collection_ != nullptr) ocCount(collection_, &count);
        return count;
    }

  private:
    OcCollection* collection_ = nullptr;
};

struct UnitRecord : OrderKey {
    UnitsEntry entry;
};

struct SystemRecord : OrderKey {
    std::string name_text;
    std::deque<UnitRecord> units;
    NameIndex units_by_key;
};

bool IsSeparator(int c) {
    return c == ' ' || c == '\n' || c == '\r';
}

// Splits a stream into tokens: blanks and line ends separate tokens, "//"
// at a token's start comments out the rest of the line, a lone "/" there is
// dropped, double quotes enclose a token that may hold blanks, and "{" and
// "}" stand alone. Tokens are cut to kUnitsMaxToken characters.
class UnitsTokenizer {
  public:
    explicit UnitsTokenizer(std::FILE* file) : file_(file) {}

    // The next token; false at the end of the stream.
    bool next(std::string& token) {
        token.clear();
        for (;;) {
            int c = skipSeparators();
            while (c == '/') {
                const int after = get();
                if (after == '/') {
                    skipLine();
                    c = skipSeparators();
                } else {
                    c = after;  // the lone slash is dropped
                }
            }
            if (c == EOF) return false;
            if (IsSeparator(c)) continue;  // "/ " was an empty token
            if (c == '{' || c == '}') {
                token.push_back(static_cast<char>(c));
            } else if (c == '"') {
                readQuoted(token);
            } else {
                readPlain(c, token);
            }
            return true;
        }
    }

    bool failed() const { return std::ferror(file_) != 0; }

    // The line the reader stands on, counted from 1.
    std::size_t line() const { return line_; }

  private:
    int get() {
        if (pending_ != EOF) {
            const int c = pending_;
            pending_ = EOF;
            return c;
        }
        const int c = std::fgetc(file_);
        if (c == '\n') ++line_;
        return c;
    }

    int skipSeparators() {
        int c = get();
        while (IsSeparator(c)) c = get();
        return c;
    }

    void skipLine() {
        int c = get();
        while (c != EOF && c != '\n') c = get();
    }

    static void append(std::string& token, int c) {
        if (token.size() < kUnitsMaxToken) token.push_back(static_cast<char>(c));
    }

    void readQuoted(std::string& token) {
        for (int c = get(); c != EOF && c != '"'; c = get()) append(token, c);
    }

    void readPlain(int c, std::string& token) {
        append(token, c);
        for (c = get(); c != EOF && !IsSeparator(c); c = get()) {
            if (c == '{' || c == '}' || c == '"') {
                pending_ = c;
                return;
            }
            append(token, c);
        }
    }

    std::FILE* file_;
    // A character read ahead and given back.
    int pending_ = EOF;
    std::size_t line_ = 1;
};

// Describes a keyword that lacks its "{".
void DescribeMissingBrace(const UnitsTokenizer& tokens, const char* keyword, std::string* fault) {
    if (fault != nullptr) {
        *fault = "line " + std::to_string(tokens.line()) + ": \"" + keyword +
                 "\" is not followed by \"{\"";
    }
}

// Decimal floating-point text as the C library reads it: the longest valid
// prefix, 0 when there is none.
double ParseNumber(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return 0.0;
    text.remove_prefix(start);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    return error == std::errc() ? value : 0.0;
}

// Reads the tokens of one UNIT after its keyword: "{", display name, key,
// factor, offset and one closing token that is not checked. A unit cut off
// by the end of the stream is not added.
UnitsReadStatus ReadUnit(UnitsTokenizer& tokens, UnitsTable& table, std::string* fault) {
    std::string token;
    if (!tokens.next(token) || token != "{") {
        DescribeMissingBrace(tokens, "UNIT", fault);
        return UnitsReadStatus::kMissingBrace;
    }
    UnitsEntry entry;
    std::string factor;
    std::string offset;
    for (std::string* field : {&entry.display_name, &entry.key, &factor, &offset, &token}) {
        if (!tokens.next(*field)) return UnitsReadStatus::kOk;
    }
    entry.factor = ParseNumber(factor);
    entry.offset = ParseNumber(offset);
    return table.addUnit(std::move(entry));
}

// Reads the body of a system up to its closing "}" (or the end).
UnitsReadStatus ReadSystemBody(UnitsTokenizer& tokens, UnitsTable& table, std::string* fault) {
    std::string token;
    while (tokens.next(token)) {
        if (token == "}") return UnitsReadStatus::kOk;
        if (token != "UNIT") continue;
        const UnitsReadStatus status = ReadUnit(tokens, table, fault);
        if (status != UnitsReadStatus::kOk) return status;
    }
    return UnitsReadStatus::kOk;
}

UnitsReadStatus ReadTopLevel(UnitsTokenizer& tokens, UnitsTable& table, std::string* fault) {
    std::string token;
    while (tokens.next(token)) {
        if (token != "USYS") continue;
        if (!tokens.next(token) || token != "{") {
            DescribeMissingBrace(tokens, "USYS", fault);
            return UnitsReadStatus::kMissingBrace;
        }
        if (!tokens.next(token)) break;
        bool created = false;
        UnitsReadStatus status = table.addSystem(token, &created);
        // A system that exists already is skipped: its body is scanned at
        // the top level, where everything but "USYS" is ignored.
        if (status == UnitsReadStatus::kOk && created) {
            status = ReadSystemBody(tokens, table, fault);
        }
        if (status != UnitsReadStatus::kOk) return status;
    }
    return UnitsReadStatus::kOk;
}

}  // namespace

struct UnitsTable::Impl {
    std::deque<SystemRecord> systems;
    NameIndex systems_by_name;
    // The system that addUnit fills.
    SystemRecord* current = nullptr;

    const SystemRecord* findSystem(std::string_view name) const {
        return static_cast<const SystemRecord*>(systems_by_name.find(name));
    }
};

UnitsTable::UnitsTable() : impl_(std::make_unique<Impl>()) {}

UnitsTable::~UnitsTable() = default;

const UnitsEntry* UnitsTable::find(std::string_view system_name, std::string_view unit_key) const {
    const SystemRecord* system = impl_->findSystem(system_name);
    if (system == nullptr) return nullptr;
    const auto* unit = static_cast<const UnitRecord*>(system->units_by_key.find(unit_key));
    return unit != nullptr ? &unit->entry : nullptr;
}

bool UnitsTable::hasSystem(std::string_view system_name) const {
    return impl_->findSystem(system_name) != nullptr;
}

std::size_t UnitsTable::systemCount() const {
    return impl_->systems.size();
}

UnitsReadStatus UnitsTable::addSystem(std::string_view system_name, bool* created) {
    *created = false;
    if (!impl_->systems_by_name.ensure()) return UnitsReadStatus::kNoMemory;
    if (hasSystem(system_name)) return UnitsReadStatus::kOk;
    SystemRecord& system = impl_->systems.emplace_back();
    system.name_text = system_name;
    system.name = system.name_text;
    if (!system.units_by_key.ensure() || impl_->systems_by_name.insert(&system) != kOcOk) {
        impl_->systems.pop_back();
        return UnitsReadStatus::kNoMemory;
    }
    impl_->current = &system;
    *created = true;
    return UnitsReadStatus::kOk;
}

UnitsReadStatus UnitsTable::addUnit(UnitsEntry entry) {
    SystemRecord* system = impl_->current;
    if (system == nullptr || system->units_by_key.find(entry.key) != nullptr) {
        return UnitsReadStatus::kOk;
    }
    UnitRecord& unit = system->units.emplace_back();
    unit.entry = std::move(entry);
    unit.name = unit.entry.key;
    if (system->units_by_key.insert(&unit) != kOcOk) {
        system->units.pop_back();
        return UnitsReadStatus::kNoMemory;
    }
    return UnitsReadStatus::kOk;
}

UnitsReadStatus unitsReadFile(std::FILE* file, UnitsTable& table, std::string* fault) {
    try {
        UnitsTokenizer tokens(file);
        UnitsReadStatus status = ReadTopLevel(tokens, table, fault);
        if (status == UnitsReadStatus::kOk && tokens.failed()) {
            status = UnitsReadStatus::kReadError;
            if (fault != nullptr) *fault = "read error";
        }
        if (status == UnitsReadStatus::kNoMemory && fault != nullptr) *fault = "out of memory";
        return status;
    } catch (const std::bad_alloc&) {
        if (fault != nullptr) *fault = "out of memory";  // short enough to need no allocation
        return UnitsReadStatus::kNoMemory;
    }
}

}  // namespace tarnvel::services
