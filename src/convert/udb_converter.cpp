#include "convert/udb_converter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "convert/data_files.h"
#include "convert/udm_scope.h"
#include "services/libvxenv.h"
#include "services/syperror.h"
#include "udm/udm.h"

namespace tarnvel::convert {
namespace {

// The code that gives a generic set its generic set id.
constexpr std::int32_t kSetIdCode = 1991;
// The filler set that serves fillers that match no other set.
constexpr std::string_view kMiscellaneousFiller = "Miscellaneous";

// The codes of a filler set that make up a filler's values, each with the
// number of places it occupies when the set lacks it.
struct FillerCode {
    std::int32_t code;
    int default_places;
};
constexpr FillerCode kFillerCodes[] = {
    {3002, 1}, {3102, 1}, {3202, 1}, {3602, 5}, {3702, 2}, {3802, 2}, {3912, 1},
};

// Separators of the filler text: entries, the parts of an entry, and the
// names of a name part.
constexpr std::string_view kFillerEntrySeparators{","};
constexpr std::string_view kFillerPartSeparators{"()%"};
constexpr std::string_view kFillerNameSeparators{"&"};

// Allocates, initialises and fills a data model from a UDB file. A file that
// is missing or cannot be read leaves the model empty (*loaded false). The
// caller's current model is the same before and after.
UdmModel* LoadDataModel(const std::string& path, bool* loaded) {
    *loaded = false;
    ScopedCurrentModel restore;
    UdmModel* model = nullptr;
    if (udm_model_alloc(&model) != UDM_OK) return nullptr;
    udm_model_select(model);
    if (udm_model_init() != UDM_OK) {
        udm_model_free(model);
        return nullptr;
    }
    *loaded = !path.empty() && udm_model_load(path.c_str()) == UDM_OK;
    if (!path.empty() && !*loaded) {
        // A file that failed half-way may have left some sets behind.
        udm_model_clear();
        if (udm_model_init() != UDM_OK) {
            udm_model_free(model);
            return nullptr;
        }
    }
    return model;
}

void FreeDataModel(UdmModel*& model) {
    if (model != nullptr) udm_model_destroy(&model);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    const auto found =
        std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) ==
                   std::tolower(static_cast<unsigned char>(y));
        });
    return found != text.end() || part.empty();
}

std::string_view DescriptionOf(const UdmTset* tset) {
    const char* text = udm_tset_description(tset);
    return text == nullptr ? std::string_view{} : std::string_view{text};
}

// A real read as an integer, as a cast truncates it; false when it lies
// outside the int range (or is not a number).
bool TruncatedInt(double value, int& result) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    result = static_cast<int>(value);
    return true;
}

// A generic set matches a set id by its label, or else by its code 1991
// when that holds exactly one value.
bool MatchesSetId(UdmTset* tset, int set_id) {
    if (udm_entity_label(tset) == set_id) return true;
    const UdmTcod* id_code = udm_tset_code(tset, kSetIdCode, 0);
    int id = 0;
    return id_code != nullptr && udm_tcod_count(id_code) == 1 &&
           TruncatedInt(udm_tcod_value(id_code, 0), id) && id == set_id;
}

bool IsGenericSetType(std::int32_t type) {
    return type == kPropertySetType || type == kLegacySetType;
}

// The percentage of one filler entry: the first piece (split at "(", ")"
// and "%") that converts to a finite non-zero number; 0 when none does.
// Texts such as "nan" or "inf" inside a filler name are no percentage.
double EntryPercentage(const std::vector<std::string_view>& pieces) {
    for (std::string_view piece : pieces) {
        const std::string text(piece);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && std::isfinite(value) && value != 0.0) return value;
    }
    return 0.0;
}

// Adds the entries of a filler text to the total percentage of each name.
void AddFillerTotals(std::string_view fillers, std::map<std::string, double>& totals) {
    for (std::string_view entry : SplitPieces(fillers, kFillerEntrySeparators)) {
        const std::vector<std::string_view> parts = SplitPieces(entry, kFillerPartSeparators);
        if (parts.empty()) continue;
        const std::vector<std::string_view> names =
            SplitPieces(parts.front(), kFillerNameSeparators);
        if (names.empty()) continue;
        double percentage = EntryPercentage(parts);
        if (percentage != 0.0) percentage /= static_cast<double>(names.size());
        for (std::string_view name : names) totals[std::string(name)] += percentage;
    }
}

// The filler sets of the current model in ascending order of their ids.
std::vector<UdmTset*> FillerSets() {
    std::vector<UdmTset*> sets;
    for (void* tset = udm_entity_first(UDM_CLASS_TSET, kFillerSetType);
         tset != nullptr && udm_entity_type(tset) == kFillerSetType;
         tset = udm_entity_next(UDM_CLASS_TSET, kFillerSetType, udm_entity_label(tset))) {
        sets.push_back(static_cast<UdmTset*>(tset));
    }
    return sets;
}

// The filler set of a name: equal name, else a name that contains it, else
// "Miscellaneous" (all without regard to case). own_name tells whether the
// set's own name stands for the filler.
UdmTset* FindFillerSet(const std::vector<UdmTset*>& sets, std::string_view name, bool& own_name) {
    own_name = true;
    for (UdmTset* set : sets) {
        if (EqualsIgnoringCase(DescriptionOf(set), name)) return set;
    }
    for (UdmTset* set : sets) {
        if (ContainsIgnoringCase(DescriptionOf(set), name)) return set;
    }
    own_name = false;
    for (UdmTset* set : sets) {
        if (EqualsIgnoringCase(DescriptionOf(set), kMiscellaneousFiller)) return set;
    }
    return nullptr;
}

void AppendFillerValues(UdmTset* set, std::vector<double>& values) {
    for (const FillerCode& filler_code : kFillerCodes) {
        const UdmTcod* tcod = udm_tset_code(set, filler_code.code, 0);
        const int count = tcod == nullptr ? 0 : udm_tcod_count(tcod);
        if (count > 0) {
            const double* code_values = udm_tcod_values(tcod);
            values.insert(values.end(), code_values, code_values + count);
        } else {
            values.insert(values.end(), static_cast<std::size_t>(filler_code.default_places), 0.0);
        }
    }
}

// An integer text read as atoi reads it, without its undefined overflow:
// values beyond the int range are clamped.
int TextAsInt(std::string_view text) {
    const std::string copy(text);
    const long value = std::strtol(copy.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

double TextAsReal(std::string_view text) {
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

}  // namespace

std::string NormaliseDataPath(std::string_view path) {
    std::string result;
    result.reserve(path.size());
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !result.empty() && result.back() == '/') continue;
        result.push_back(c);
    }
    return result;
}

std::string DataFilePath(std::string_view directory, std::string_view file) {
    if (directory.empty()) return {};
    std::string path(directory);
    if (path.back() != '/') path.push_back('/');
    path.append(file);
    return path;
}

MUdbConverter::MUdbConverter() {
    Load(DefaultDataPath());
}

MUdbConverter::MUdbConverter(std::string_view data_directory) {
    Load(data_directory);
}

MUdbConverter::~MUdbConverter() {
    FreeDataModel(generic_data_);
    FreeDataModel(filler_data_);
}

void MUdbConverter::Load(std::string_view data_directory) {
    const struct {
        CsvTable& table;
        const char* file;
    } tables[] = {
        {family_names_, kFamilyNameFile},
        {links_, kLinkFile},
        {pvt_mechanical_links_, kPvtMechanicalLinkFile},
        {class_mechanical_, kClassMechanicalFile},
        {class_temperatures_, kGenericClassFile},
    };
    DataFileReport report(data_directory);
    for (const auto& entry : tables) {
        const std::string path = DataFilePath(data_directory, entry.file);
        report.Note(entry.file, !path.empty() && entry.table.Load(path));
    }
    bool loaded = false;
    generic_data_ = LoadDataModel(DataFilePath(data_directory, kGenericDataFile), &loaded);
    report.Note(kGenericDataFile, loaded);
    filler_data_ = LoadDataModel(DataFilePath(data_directory, kFillerDataFile), &loaded);
    report.Note(kFillerDataFile, loaded);
}

std::string MUdbConverter::DefaultDataPath() {
    const char* value = envGetValue("PRODUCT_DAT");
    return value == nullptr ? std::string{} : NormaliseDataPath(value);
}

std::string_view MUdbConverter::FamilyDisplayName(std::string_view family) const {
    return family_names_.Find(family);
}

int MUdbConverter::LinkSetId(std::string_view generic_link) const {
    return TextAsInt(links_.Find(generic_link));
}

int MUdbConverter::PvtMechanicalSetId(std::string_view generic_link) const {
    return TextAsInt(pvt_mechanical_links_.Find(generic_link));
}

int MUdbConverter::ClassMechanicalSetId(std::string_view family, bool crystalline) const {
    const int id = TextAsInt(class_mechanical_.Find(family));
    if (id != 0) return id;
    return TextAsInt(class_mechanical_.Find(crystalline ? "MISC-CRYSTALLINE" : "MISC"));
}

double MUdbConverter::ClassTemperature(std::string_view family) const {
    return TextAsReal(class_temperatures_.Find(family));
}

bool MUdbConverter::GenericValues(std::int32_t code, int set_id, int& count,
                                  std::span<double, kGenericValueCapacity> values) const {
    if (set_id == 0 || generic_data_ == nullptr) return false;
    ScopedCurrentModel restore(generic_data_);
    for (void* entity = udm_entity_first(UDM_CLASS_TSET, 0); entity != nullptr;
         entity =
             udm_entity_next(UDM_CLASS_TSET, udm_entity_type(entity), udm_entity_label(entity))) {
        auto* tset = static_cast<UdmTset*>(entity);
        if (!IsGenericSetType(udm_entity_type(tset)) || !MatchesSetId(tset, set_id)) continue;
        const UdmTcod* tcod = udm_tset_code(tset, code, 0);
        if (tcod == nullptr) continue;
        const int held = udm_tcod_count(tcod);
        count = std::min<int>(held, static_cast<int>(values.size()));
        if (held > count) {
            SYP_REPORT("Generic code %d of set %d holds %d values; only the first %d are used\n",
                       code, set_id, held, count);
        }
        std::copy_n(udm_tcod_values(tcod), count, values.begin());
        return true;
    }
    return false;
}

bool MUdbConverter::FillerComposition(std::string_view fillers, std::string& names,
                                      std::vector<double>& values) const {
    if (fillers.empty()) return false;
    std::map<std::string, double> totals;
    AddFillerTotals(fillers, totals);

    values.clear();
    if (!totals.empty()) names.clear();
    if (filler_data_ == nullptr) return false;
    ScopedCurrentModel restore(filler_data_);
    const std::vector<UdmTset*> sets = FillerSets();
    bool found_any = false;
    for (const auto& [name, total] : totals) {
        bool own_name = true;
        UdmTset* set = FindFillerSet(sets, name, own_name);
        if (set == nullptr) continue;
        found_any = true;
        values.push_back(total);
        if (!names.empty()) names.push_back('|');
        names.append(own_name ? DescriptionOf(set) : std::string_view{name});
        AppendFillerValues(set, values);
    }
    return found_any;
}

}  // namespace tarnvel::convert
