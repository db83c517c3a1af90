// STL regions (triangle facets with their corner coordinates) and blobs
// (generic tables of named strings, integers and doubles).
#include <algorithm>
#include <cstddef>
#include <string>

#include "udm/udm_family.h"
#include "udm/udm_writer.h"

namespace tarnvel::udm {
namespace {

using K = FieldKind;

// ---- STL regions -------------------------------------------------------------------------

// A facet: 3 corners, X Y Z each.
constexpr std::size_t kFacetValues = 9;

struct StlRegion {
    std::int32_t tset_type = 0;
    std::int32_t tset_label = 0;
    double mesh_size = UDM_DEFAULT_MESH_SIZE;
    // kFacetValues per facet.
    std::vector<double> facets;
};

constexpr auto kStlrFields =
    JoinFields(kDrawableHeader, std::array{MakeField(K::kTset, offsetof(StlRegion, tset_type)),
                                           MakeField(K::kDouble, offsetof(StlRegion, mesh_size))});

void WriteStlTail(UdmStream* stream, const void* payload) {
    const auto& facets = static_cast<const StlRegion*>(payload)->facets;
    udm_put_blanks(stream, 1);
    udm_put_int(stream, static_cast<std::int32_t>(facets.size() / kFacetValues));
    WriteDoubleRows(stream, facets, kFacetValues, 2);
}

// NUMBER_OF_FACETS, then the facets. The facets read decide: a count that
// disagrees is reported and corrected, and the region is kept. A negative
// count is no count at all: the region is dropped.
ReadResult ReadStlTail(BlockCursor* cursor, void* payload, const EntityBlock&, UdmStream* stream) {
    auto& facets = static_cast<StlRegion*>(payload)->facets;
    std::int32_t count = 0;
    if (!cursor->Integer(&count) || count < 0) return ReadResult::kShape;
    if (ReadResult result = ReadDoubles(cursor, &facets); result != ReadResult::kOk) return result;
    const std::size_t read = facets.size() / kFacetValues;
    const auto specified = static_cast<std::size_t>(count);
    if (read > specified) {
        ReportRead(stream,
                   "syntax error : more number of facets than specified, ignoring additional "
                   "facets");
    } else if (read < specified || facets.size() % kFacetValues != 0) {
        ReportRead(stream,
                   "syntax error : lesser number of facets than specified, reducing number of "
                   "facets");
    }
    facets.resize(std::min(read, specified) * kFacetValues);
    facets.shrink_to_fit();
    return ReadResult::kOk;
}

int CopyStlTail(void* target, const void* source) {
    try {
        static_cast<StlRegion*>(target)->facets = static_cast<const StlRegion*>(source)->facets;
    } catch (const std::bad_alloc&) {
        return UDM_NO_MEMORY;
    }
    return UDM_OK;
}

// ---- Blobs ----------------------------------------------------------------------------------

// A table of structs, each holding the same number of strings, integers
// and doubles, with a name per column.
struct Blob {
    char* description = nullptr;
    std::int32_t structs = 0;
    std::int32_t strings_per_struct = 0;
    std::int32_t integers_per_struct = 0;
    std::int32_t doubles_per_struct = 0;
    std::vector<std::string> string_names;
    std::vector<std::string> integer_names;
    std::vector<std::string> double_names;
    // structs x per-struct values, struct by struct.
    std::vector<std::string> strings;
    std::vector<std::int32_t> integers;
    std::vector<double> doubles;
};

constexpr Field kBlobFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kKey2),
    MakeField(K::kText, offsetof(Blob, description)),
};

void BreakAndIndent(UdmStream* stream, int blanks) {
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, blanks);
}

void WriteNames(UdmStream* stream, const std::vector<std::string>& names, std::int32_t count) {
    BreakAndIndent(stream, 2);
    udm_put_open(stream);
    for (std::int32_t n = 0; n < count; ++n) {
        udm_put_blanks(stream, 1);
        udm_put_string(stream, static_cast<std::size_t>(n) < names.size()
                                   ? names[static_cast<std::size_t>(n)].c_str()
                                   : "");
    }
    udm_put_blanks(stream, 1);
    udm_put_close(stream);
}

// One data group: each struct's values on a line of their own; values the
// blob does not hold are written as empty strings or zeros.
template <typename Value, typename Put>
void WriteData(UdmStream* stream, const std::vector<Value>& values, std::int32_t structs,
               std::int32_t per_struct, Put put) {
    BreakAndIndent(stream, 2);
    udm_put_open(stream);
    udm_put_newlines(stream, 1);
    std::size_t at = 0;
    for (std::int32_t s = 0; s < structs && per_struct > 0; ++s) {
        for (std::int32_t n = 0; n < per_struct; ++n, ++at) {
            udm_put_blanks(stream, n == 0 ? 4 : 1);
            put(at < values.size() ? values[at] : Value{});
        }
        udm_put_newlines(stream, 1);
    }
    udm_put_blanks(stream, 2);
    udm_put_close(stream);
}

void WriteBlobTail(UdmStream* stream, const void* payload) {
    const auto* blob = static_cast<const Blob*>(payload);
    BreakAndIndent(stream, 2);
    const std::int32_t counts[] = {blob->structs, blob->strings_per_struct,
                                   blob->integers_per_struct, blob->doubles_per_struct};
    for (int n = 0; n < 4; ++n) {
        if (n > 0) udm_put_blanks(stream, 1);
        udm_put_int(stream, counts[n]);
    }
    WriteNames(stream, blob->string_names, blob->strings_per_struct);
    WriteNames(stream, blob->integer_names, blob->integers_per_struct);
    WriteNames(stream, blob->double_names, blob->doubles_per_struct);
    WriteData(stream, blob->strings, blob->structs, blob->strings_per_struct,
              [stream](const std::string& text) { udm_put_string(stream, text.c_str()); });
    WriteData(stream, blob->integers, blob->structs, blob->integers_per_struct,
              [stream](std::int32_t value) { udm_put_int(stream, value); });
    WriteData(stream, blob->doubles, blob->structs, blob->doubles_per_struct,
              [stream](double value) { udm_put_double(stream, value); });
    udm_put_newlines(stream, 1);
}

// A bare group of exactly `count` strings.
bool ReadStrings(BlockCursor* cursor, std::int64_t count, std::vector<std::string>* out) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(0, &inner) || static_cast<std::int64_t>(inner.Remaining()) != count) {
        return false;
    }
    std::string_view text;
    while (inner.String(&text)) out->emplace_back(text);
    return inner.AtEnd();
}

bool ReadIntegers(BlockCursor* cursor, std::int64_t count, std::vector<std::int32_t>* out) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(0, &inner) || static_cast<std::int64_t>(inner.Remaining()) != count) {
        return false;
    }
    std::int32_t value = 0;
    while (inner.Integer(&value)) out->push_back(value);
    return inner.AtEnd();
}

bool ReadReals(BlockCursor* cursor, std::int64_t count, std::vector<double>* out) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(0, &inner) || static_cast<std::int64_t>(inner.Remaining()) != count) {
        return false;
    }
    return ReadDoubles(&inner, out) == ReadResult::kOk && inner.AtEnd();
}

// The four counts, the three name groups and the three data groups; every
// group must hold exactly what the counts say (products in 64 bits, checked
// against the items read before anything is allocated for them).
ReadResult ReadBlobTail(BlockCursor* cursor, void* payload, const EntityBlock&, UdmStream*) {
    auto* blob = static_cast<Blob*>(payload);
    if (!cursor->Integer(&blob->structs) || !cursor->Integer(&blob->strings_per_struct) ||
        !cursor->Integer(&blob->integers_per_struct) ||
        !cursor->Integer(&blob->doubles_per_struct) || blob->structs < 0 ||
        blob->strings_per_struct < 0 || blob->integers_per_struct < 0 ||
        blob->doubles_per_struct < 0) {
        return ReadResult::kShape;
    }
    const std::int64_t structs = blob->structs;
    try {
        const bool whole =
            ReadStrings(cursor, blob->strings_per_struct, &blob->string_names) &&
            ReadStrings(cursor, blob->integers_per_struct, &blob->integer_names) &&
            ReadStrings(cursor, blob->doubles_per_struct, &blob->double_names) &&
            ReadStrings(cursor, structs * blob->strings_per_struct, &blob->strings) &&
            ReadIntegers(cursor, structs * blob->integers_per_struct, &blob->integers) &&
            ReadReals(cursor, structs * blob->doubles_per_struct, &blob->doubles);
        return whole ? ReadResult::kOk : ReadResult::kShape;
    } catch (const std::bad_alloc&) {
        return ReadResult::kMemory;
    }
}

int CopyBlobTail(void* target, const void* source) {
    auto* to = static_cast<Blob*>(target);
    const auto* from = static_cast<const Blob*>(source);
    try {
        to->structs = from->structs;
        to->strings_per_struct = from->strings_per_struct;
        to->integers_per_struct = from->integers_per_struct;
        to->doubles_per_struct = from->doubles_per_struct;
        to->string_names = from->string_names;
        to->integer_names = from->integer_names;
        to->double_names = from->double_names;
        to->strings = from->strings;
        to->integers = from->integers;
        to->doubles = from->doubles;
    } catch (const std::bad_alloc&) {
        return UDM_NO_MEMORY;
    }
    return UDM_OK;
}

}  // namespace

extern const FamilyLayout kStlrLayout = TableLayout<StlRegion>(
    UDM_CLASS_STLR, kStlrFields, {WriteStlTail, ReadStlTail, CopyStlTail, nullptr});
extern const FamilyLayout kBlobLayout = TableLayout<Blob>(
    UDM_CLASS_BLOB, kBlobFields, {WriteBlobTail, ReadBlobTail, CopyBlobTail, nullptr});

constexpr UdmFamily kStlrFamily = TableFamily<StlRegion>(
    "\n//  Beginning of STL region data set.\n"
    "//  STLR{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL MESH_SIZE NUMBER_OF_FACETS\n"
    "//    X1 Y1 Z1 X2 Y2 Z2 X3 Y3 Z3 (one line per facet)}");
constexpr UdmFamily kBlobFamily = TableFamily<Blob>(
    "\n//  Beginning of BLOB data set.\n"
    "//  BLOB{TYPE LABEL DESCRIPTION\n"
    "//    NUMBER_OF_STRUCTS NUMBER_OF_STRINGS_PER_STRUCT\n"
    "//    NUMBER_OF_INTEGERS_PER_STRUCT NUMBER_OF_DOUBLES_PER_STRUCT\n"
    "//    {STRING_NAMES} {INTEGER_NAMES} {DOUBLE_NAMES}\n"
    "//    {STRING_DATA} {INTEGER_DATA} {DOUBLE_DATA}}");

}  // namespace tarnvel::udm
