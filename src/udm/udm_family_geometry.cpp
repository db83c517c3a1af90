// The NURBS geometry families: curves, trimmed surfaces and planar regions,
// with their geometric sub-records (parameter points, NURBS curves and
// surfaces, curves on a surface, trimming loops, trimmed surfaces and
// regions). The NURBS data are carried through unchanged; nothing here
// evaluates them.
#include <cstddef>
#include <string>

#include "udm/udm_family.h"
#include "udm/udm_keywords.h"
#include "udm/udm_writer.h"

namespace tarnvel::udm {
namespace {

using K = FieldKind;

// Knots, weights and the second curve list are written three to a line.
constexpr int kRowValues = 3;

// GCRV: a NURBS curve.
struct Curve {
    std::int32_t degree = 0;
    std::int32_t count = 0;
    std::int32_t third = 0;
    double value = 0.0;
    // count control points, X Y Z each.
    std::vector<double> points;
    // One value per control point.
    std::vector<double> weights;
    // The second value list kept with the curve.
    std::vector<double> second;
};

// GSRF: a NURBS surface.
struct Surface {
    std::int32_t degree_u = 0;
    std::int32_t degree_v = 0;
    std::int32_t count_u = 0;
    std::int32_t count_v = 0;
    std::int32_t fifth = 0;
    // count_u x count_v control points, X Y Z each.
    std::vector<double> points;
    std::vector<double> weights;
    std::vector<double> knots_u;
    std::vector<double> knots_v;
};

// ICRV: a curve on a surface or region: its parameter points and its curve.
struct CurveOnSurface {
    std::vector<double> params;
    Curve curve;
};

// OTLP and INLP: a loop of trimming curves.
struct Loop {
    std::vector<Curve> curves;
};

// TSRF (with a surface) and GRGN (without): one outer loop, any inner loops.
struct Trimmed {
    Loop outer;
    std::vector<Loop> inner;
    Surface surface;
};

// The payload of CURV, SURF and REGN; each class uses its own parts.
struct GeometryPayload {
    std::int32_t tset_type = 0;
    std::int32_t tset_label = 0;
    double mesh_size = UDM_DEFAULT_MESH_SIZE;
    // CIPT (1 value each), SIPT (2) or RIPT (3) points.
    std::vector<double> points;
    std::vector<CurveOnSurface> curves;
    // CURV: its curve; SURF: its trimmed surface; REGN: its region.
    Curve curve;
    Trimmed trimmed;
};

constexpr auto kGeometryFields = JoinFields(
    kDrawableHeader, std::array{MakeField(K::kTset, offsetof(GeometryPayload, tset_type)),
                                MakeField(K::kDouble, offsetof(GeometryPayload, mesh_size))});

// The point sub-record of each class and its number of values.
struct PointRecord {
    int keyword;
    const char* name;
    std::size_t arity;
};

PointRecord PointRecordOf(int entity_class) {
    switch (entity_class) {
        case UDM_CLASS_SURF:
            return {kKeySIPT, "SIPT", 2};
        case UDM_CLASS_REGN:
            return {kKeyRIPT, "RIPT", 3};
        default:
            return {kKeyCIPT, "CIPT", 1};
    }
}

// ---- Writing ------------------------------------------------------------------------------

void OpenRecord(UdmStream* stream, const char* keyword, int indent) {
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, indent);
    udm_put_keyword(stream, keyword);
    udm_put_open(stream);
}

void WritePoints(UdmStream* stream, const PointRecord& record, const std::vector<double>& points,
                 int indent) {
    for (std::size_t at = 0; at + record.arity <= points.size(); at += record.arity) {
        OpenRecord(stream, record.name, indent);
        for (std::size_t n = 0; n < record.arity; ++n) {
            if (n > 0) udm_put_blanks(stream, 1);
            udm_put_double(stream, points[at + n]);
        }
        udm_put_close(stream);
    }
}

void WriteIntegers(UdmStream* stream, std::initializer_list<std::int32_t> values) {
    bool first = true;
    for (std::int32_t value : values) {
        if (!first) udm_put_blanks(stream, 1);
        udm_put_int(stream, value);
        first = false;
    }
}

void WriteCurve(UdmStream* stream, const Curve& curve, int indent) {
    OpenRecord(stream, "GCRV", indent);
    WriteIntegers(stream, {curve.degree, curve.count, curve.third});
    udm_put_blanks(stream, 1);
    udm_put_double(stream, curve.value);
    WriteDoubleRows(stream, curve.points, 3, indent + 2);
    WriteDoubleRows(stream, curve.weights, kRowValues, indent + 2);
    WriteDoubleRows(stream, curve.second, kRowValues, indent + 2);
    udm_put_close(stream);
}

void WriteSurface(UdmStream* stream, const Surface& surface, int indent) {
    OpenRecord(stream, "GSRF", indent);
    WriteIntegers(stream, {surface.degree_u, surface.degree_v, surface.count_u, surface.count_v,
                           surface.fifth});
    WriteDoubleRows(stream, surface.points, 3, indent + 2);
    WriteDoubleRows(stream, surface.weights, kRowValues, indent + 2);
    WriteDoubleRows(stream, surface.knots_u, kRowValues, indent + 2);
    WriteDoubleRows(stream, surface.knots_v, kRowValues, indent + 2);
    udm_put_close(stream);
}

void WriteLoop(UdmStream* stream, const char* keyword, const Loop& loop, int indent) {
    OpenRecord(stream, keyword, indent);
    for (const Curve& curve : loop.curves) WriteCurve(stream, curve, indent + 2);
    udm_put_close(stream);
}

void WriteTrimmed(UdmStream* stream, const char* keyword, const Trimmed& trimmed, bool surface,
                  int indent) {
    OpenRecord(stream, keyword, indent);
    WriteLoop(stream, "OTLP", trimmed.outer, indent + 2);
    for (const Loop& loop : trimmed.inner) WriteLoop(stream, "INLP", loop, indent + 2);
    if (surface) WriteSurface(stream, trimmed.surface, indent + 2);
    udm_put_close(stream);
}

void WriteGeometryTail(UdmStream* stream, const void* payload) {
    const auto* geometry = static_cast<const GeometryPayload*>(payload);
    const int entity_class = udm_entity_class(payload);
    WritePoints(stream, PointRecordOf(entity_class), geometry->points, 2);
    if (entity_class == UDM_CLASS_CURV) return WriteCurve(stream, geometry->curve, 2);
    for (const CurveOnSurface& on_surface : geometry->curves) {
        OpenRecord(stream, "ICRV", 2);
        WritePoints(stream, PointRecordOf(UDM_CLASS_CURV), on_surface.params, 4);
        WriteCurve(stream, on_surface.curve, 4);
        udm_put_close(stream);
    }
    const bool surface = entity_class == UDM_CLASS_SURF;
    WriteTrimmed(stream, surface ? "TSRF" : "GRGN", geometry->trimmed, surface, 2);
}

// ---- Reading ------------------------------------------------------------------------------

SubRecordAllocationHook g_allocation_hook = nullptr;

// A sub-record's content read with its memory message: a failed allocation
// reports "bad <KEYWORD> memory" and drops the entity.
template <typename Read>
ReadResult Guarded(const char* keyword, UdmStream* stream, Read read) {
    try {
        if (g_allocation_hook != nullptr && g_allocation_hook(keyword)) throw std::bad_alloc();
        return read();
    } catch (const std::bad_alloc&) {
        ReportReadMemory(stream, (std::string("bad ") + keyword + " memory").c_str());
        return ReadResult::kDropped;
    }
}

ReadResult Dropped(UdmStream* stream, const char* message) {
    ReportRead(stream, message);
    return ReadResult::kDropped;
}

// Splits the doubles that follow a record's counts into its parts, each
// of the size given (sizes computed in 64 bits, never trusted for an
// allocation: the values are read first). The last part with size -1 takes
// the rest.
ReadResult SplitValues(BlockCursor* cursor, std::initializer_list<std::int64_t> sizes,
                       std::initializer_list<std::vector<double>*> parts) {
    std::vector<double> values;
    if (ReadResult result = ReadDoubles(cursor, &values); result != ReadResult::kOk) return result;
    if (!cursor->AtEnd()) return ReadResult::kShape;
    std::size_t at = 0;
    auto part = parts.begin();
    for (std::int64_t size : sizes) {
        const std::size_t left = values.size() - at;
        if (size < 0) size = static_cast<std::int64_t>(left);
        if (static_cast<std::uint64_t>(size) > left) return ReadResult::kShape;
        (*part)->assign(
            values.begin() + static_cast<std::ptrdiff_t>(at),
            values.begin() + static_cast<std::ptrdiff_t>(at + static_cast<std::size_t>(size)));
        at += static_cast<std::size_t>(size);
        ++part;
    }
    return at == values.size() ? ReadResult::kOk : ReadResult::kShape;
}

ReadResult ReadCurve(BlockCursor* cursor, Curve* curve, UdmStream* stream) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(kKeyGCRV, &inner)) return ReadResult::kShape;
    return Guarded("GCRV", stream, [&] {
        if (!inner.Integer(&curve->degree) || !inner.Integer(&curve->count) ||
            !inner.Integer(&curve->third) || !inner.Real(&curve->value) || curve->count < 0) {
            return ReadResult::kShape;
        }
        const std::int64_t count = curve->count;
        return SplitValues(&inner, {3 * count, count, -1},
                           {&curve->points, &curve->weights, &curve->second});
    });
}

ReadResult ReadSurface(BlockCursor* cursor, Surface* surface, UdmStream* stream) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(kKeyGSRF, &inner)) return ReadResult::kShape;
    return Guarded("GSRF", stream, [&] {
        Surface& s = *surface;
        if (!inner.Integer(&s.degree_u) || !inner.Integer(&s.degree_v) ||
            !inner.Integer(&s.count_u) || !inner.Integer(&s.count_v) || !inner.Integer(&s.fifth) ||
            s.degree_u < 0 || s.degree_v < 0 || s.count_u < 0 || s.count_v < 0) {
            return ReadResult::kShape;
        }
        const std::int64_t grid = std::int64_t{s.count_u} * s.count_v;
        return SplitValues(&inner,
                           {3 * grid, grid, std::int64_t{s.count_u} + s.degree_u + 1,
                            std::int64_t{s.count_v} + s.degree_v + 1},
                           {&s.points, &s.weights, &s.knots_u, &s.knots_v});
    });
}

ReadResult ReadPoints(BlockCursor* cursor, const PointRecord& record, std::vector<double>* points,
                      UdmStream* stream) {
    BlockCursor inner = *cursor;
    while (cursor->Group(record.keyword, &inner)) {
        const ReadResult result = Guarded(record.name, stream, [&] {
            double value = 0.0;
            for (std::size_t n = 0; n < record.arity; ++n) {
                if (!inner.Real(&value)) return ReadResult::kShape;
                points->push_back(value);
            }
            return inner.AtEnd() ? ReadResult::kOk : ReadResult::kShape;
        });
        if (result != ReadResult::kOk) return result;
    }
    return ReadResult::kOk;
}

// OTLP or INLP: any number of curves.
ReadResult ReadLoop(BlockCursor* inner, Loop* loop, const char* keyword, UdmStream* stream) {
    while (inner->AtGroup(kKeyGCRV)) {
        const ReadResult result = Guarded(keyword, stream, [&] {
            loop->curves.emplace_back();
            return ReadCurve(inner, &loop->curves.back(), stream);
        });
        if (result != ReadResult::kOk) return result;
    }
    return inner->AtEnd() ? ReadResult::kOk : ReadResult::kShape;
}

// TSRF (with_surface) or GRGN: OTLP, INLP..., and for TSRF one GSRF.
ReadResult ReadTrimmedParts(BlockCursor inner, Trimmed* trimmed, bool with_surface,
                            UdmStream* stream) {
    bool outer = false;
    bool surface = false;
    BlockCursor part = inner;
    while (!inner.AtEnd()) {
        ReadResult result = ReadResult::kShape;
        if (inner.Group(kKeyOTLP, &part)) {
            if (outer) ReportRead(stream, "duplicate OTLP");
            Loop loop;
            result = ReadLoop(&part, &loop, "OTLP", stream);
            if (!outer) trimmed->outer = std::move(loop);
            outer = true;
        } else if (inner.Group(kKeyINLP, &part)) {
            result = Guarded("INLP", stream, [&] {
                trimmed->inner.emplace_back();
                return ReadLoop(&part, &trimmed->inner.back(), "INLP", stream);
            });
        } else if (with_surface && inner.AtGroup(kKeyGSRF)) {
            if (surface) ReportRead(stream, "duplicate GSRF");
            Surface read;
            result = ReadSurface(&inner, &read, stream);
            if (!surface) trimmed->surface = std::move(read);
            surface = true;
        }
        if (result != ReadResult::kOk) return result;
    }
    if (!outer && !with_surface) return Dropped(stream, "bad GRGN without OTLP");
    if (with_surface && !surface) return Dropped(stream, "bad TSRF without GSRF");
    return ReadResult::kOk;
}

ReadResult ReadTrimmed(BlockCursor* cursor, Trimmed* trimmed, bool with_surface,
                       UdmStream* stream) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(with_surface ? kKeyTSRF : kKeyGRGN, &inner)) return ReadResult::kShape;
    return Guarded(with_surface ? "TSRF" : "GRGN", stream,
                   [&] { return ReadTrimmedParts(inner, trimmed, with_surface, stream); });
}

ReadResult ReadCurveOnSurface(BlockCursor* cursor, CurveOnSurface* on_surface, UdmStream* stream) {
    BlockCursor inner = *cursor;
    cursor->Group(kKeyICRV, &inner);
    ReadResult result =
        ReadPoints(&inner, PointRecordOf(UDM_CLASS_CURV), &on_surface->params, stream);
    if (result != ReadResult::kOk) return result;
    if (!inner.AtGroup(kKeyGCRV)) return Dropped(stream, "bad ICRV without GCRV");
    result = ReadCurve(&inner, &on_surface->curve, stream);
    if (result != ReadResult::kOk) return result;
    return inner.AtEnd() ? ReadResult::kOk : ReadResult::kShape;
}

ReadResult ReadGeometryTail(BlockCursor* cursor, void* payload, const EntityBlock&,
                            UdmStream* stream) {
    auto* geometry = static_cast<GeometryPayload*>(payload);
    const int entity_class = udm_entity_class(payload);
    const PointRecord record = PointRecordOf(entity_class);
    ReadResult result = ReadPoints(cursor, record, &geometry->points, stream);
    if (result != ReadResult::kOk) return result;
    if (entity_class == UDM_CLASS_CURV) {
        if (!cursor->AtGroup(kKeyGCRV)) return Dropped(stream, "bad CURV without GCRV");
        return ReadCurve(cursor, &geometry->curve, stream);
    }
    while (cursor->AtGroup(kKeyICRV)) {
        result = Guarded("ICRV", stream, [&] {
            geometry->curves.emplace_back();
            return ReadCurveOnSurface(cursor, &geometry->curves.back(), stream);
        });
        if (result != ReadResult::kOk) return result;
    }
    const bool surface = entity_class == UDM_CLASS_SURF;
    if (!cursor->AtGroup(surface ? kKeyTSRF : kKeyGRGN)) {
        return Dropped(stream, surface ? "bad SURF without TSRF" : "bad REGN without GRGN");
    }
    return ReadTrimmed(cursor, &geometry->trimmed, surface, stream);
}

int CopyGeometryTail(void* target, const void* source) {
    auto* to = static_cast<GeometryPayload*>(target);
    const auto* from = static_cast<const GeometryPayload*>(source);
    try {
        to->points = from->points;
        to->curves = from->curves;
        to->curve = from->curve;
        to->trimmed = from->trimmed;
    } catch (const std::bad_alloc&) {
        return UDM_NO_MEMORY;
    }
    return UDM_OK;
}

constexpr FamilyTail kGeometryTail = {WriteGeometryTail, ReadGeometryTail, CopyGeometryTail,
                                      nullptr};

}  // namespace

void SetSubRecordAllocationHook(SubRecordAllocationHook hook) {
    g_allocation_hook = hook;
}

extern const FamilyLayout kCurvLayout =
    TableLayout<GeometryPayload>(UDM_CLASS_CURV, kGeometryFields, kGeometryTail);
extern const FamilyLayout kSurfLayout =
    TableLayout<GeometryPayload>(UDM_CLASS_SURF, kGeometryFields, kGeometryTail);
extern const FamilyLayout kRegnLayout =
    TableLayout<GeometryPayload>(UDM_CLASS_REGN, kGeometryFields, kGeometryTail);

constexpr UdmFamily kCurvFamily = TableFamily<GeometryPayload>(
    "\n//  Beginning of curve data set.\n"
    "//  CURV{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL MESH_SIZE\n"
    "//    CIPT{PARA} ... GCRV{NURBS_CURVE}}");
constexpr UdmFamily kSurfFamily = TableFamily<GeometryPayload>(
    "\n//  Beginning of surface data set.\n"
    "//  SURF{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL MESH_SIZE\n"
    "//    SIPT{PARA_U PARA_V} ... ICRV{CIPT ... GCRV} ...\n"
    "//    TSRF{OTLP{GCRV ...} INLP{GCRV ...} ... GSRF{NURBS_SURFACE}}}");
constexpr UdmFamily kRegnFamily = TableFamily<GeometryPayload>(
    "\n//  Beginning of region data set.\n"
    "//  REGN{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL MESH_SIZE\n"
    "//    RIPT{X Y Z} ... ICRV{CIPT ... GCRV} ...\n"
    "//    GRGN{OTLP{GCRV ...} INLP{GCRV ...} ...}}");

}  // namespace tarnvel::udm
