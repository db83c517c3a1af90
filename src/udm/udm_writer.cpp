// The UDM file writer: the writer primitives and the order of a model's
// sections (title, globals, summary, entity classes, ENDF). The same token
// sequence becomes readable text or, in compact output, the packed encoding.
#include "udm/udm_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <random>
#include <string>

#include "services/libvxenv.h"
#include "services/sypsafewrite.h"
#include "udm/udm_classes.h"
#include "udm/udm_model.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

using namespace tarnvel::udm;

namespace {

// Stream encodings the writer produces.
constexpr int kTextEncoding = 1;
constexpr int kPackedEncoding = 8;

// The version text written under UDMV; the writer always writes version 4.
constexpr char kUdmVersionText[] = "UDM V4";
constexpr int kUdmVersion = 4;

constexpr char kTitleComment[] =
    "//  VANTOREL UDM FILE.\n"
    "//  Beginning of title data set.\n"
    "//  TITL{NAME{FILE_DESCRIPTION} VRSN{VANTOREL_TOOL_VERSION} \n"
    "//  KEYW{UNIQUE_KEYWORD} DATE{DATE} TIME{TIME} UDMV{UDM_VERSION}}";
constexpr char kUdmvComment[] = " // Do not change the UDMV keyword.";
constexpr char kGlobalComment[] =
    "\n//  Beginning of global data set : VANTOREL application keywords storage.";
constexpr char kSummaryComment[] =
    "\n//  Beginning of summary data set : \n"
    "//  Summary of the number of entities present.\n"
    "//  SUMR{NOCL{NUMBER_OF_COLORS} NOLY{NUMBER_OF_LAYERS} \n"
    "//  NOTS{NUMBER_OF_TCODE_SETS} NOVW{NUMBER_OF_VIEWS} \n"
    "//  NOND{NUMBER_OF_NODES} NOTX{NUMBER_OF_TEXTS} \n"
    "//  NO1D{NUMBER_OF_1D_ELEMENTS} NOT3{NUMBER_OF_TRI3_ELEMENTS} \n"
    "//  NOCV{NUMBER_OF_CURVES} NOSF{NUMBER_OF_SURFACES} \n"
    "//  NORG{NUMBER_OF_REGIONS} NONB{NUMBER_OF_NODE_BOUNDARY_CONDITIONS} \n"
    "//  NOSB{NUMBER_OF_SURFACE_BOUNDARY_CONDITIONS} \n"
    "//  NOCP{NUMBER_OF_CUTTING_PLANES} \n"
    "//  NOLC{NUMBER_OF_LOCAL_COORDINATE_SYSTEMS} \n"
    "//  NOT4{NUMBER_OF_TET4_ELEMENTS} \n"
    "//  NOSR{NUMBER_OF_STL_REGIONS} \n"
    "//  NOBL{NUMBER_OF_BLOBS} \n"
    "//  NOWD{NUMBER_OF_WEDGE_ELEMENTS} \n"
    "//  NOIE{NUMBER_OF_INTERFACE_ELEMENTS}} ";

// The title slots in the order they are written, with their keywords.
struct TitleEntry {
    int slot;
    const char* keyword;
};
constexpr std::array<TitleEntry, kTitleTextCount> kTitleEntries = {{
    {UDM_TITLE_NAME, "NAME"},
    {UDM_TITLE_VRSN, "VRSN"},
    {UDM_TITLE_KEYW, "KEYW"},
    {UDM_TITLE_DATE, "DATE"},
    {UDM_TITLE_TIME, "TIME"},
}};

constexpr std::array<const char*, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// The texts of KEYW, DATE and TIME built for a write.
struct TitleScratch {
    char keyword[16];
    char date[32];
    char time[16];
};
thread_local TitleScratch g_scratch;

bool Compact() {
    const UdmModel* model = CurrentModel();
    return model != nullptr && model->title.compact != 0;
}

void Put(UdmStream* stream, int code) {
    UdmToken token;
    token.code = code;
    udm_stream_put(stream, token);
}

void PutInteger(UdmStream* stream, int code, std::int32_t value) {
    UdmToken token;
    token.code = code;
    token.integer = value;
    udm_stream_put(stream, token);
}

void PutText(UdmStream* stream, int code, std::string_view text) {
    UdmToken token;
    token.code = code;
    token.text = text;
    udm_stream_put(stream, token);
}

// A keyword, then its open brace.
void PutBlockStart(UdmStream* stream, const char* keyword) {
    udm_put_keyword(stream, keyword);
    udm_put_open(stream);
}

// Whether this thread's writes keep the title stamps as they stand.
thread_local bool g_keep_stamps = false;

// The environment variable of reproducible builds: a fixed time for every
// stamp, so that the same model gives the same bytes.
constexpr char kSourceDateEpoch[] = "SOURCE_DATE_EPOCH";

// The moment a write stamps, and whether it is the fixed one: the source
// date epoch (read as UTC) when it is set, else the clock (local time).
struct StampTime {
    std::time_t seconds;
    bool fixed;
};

StampTime StampMoment() {
    std::int64_t epoch = 0;
    if (udm_source_date_epoch(&epoch) == 1) return {static_cast<std::time_t>(epoch), true};
    const auto now = std::chrono::system_clock::now();
    return {std::chrono::system_clock::to_time_t(now), false};
}

// KEYW from a generator seeded with the moment (the clock's ticks, or the
// fixed seconds so that KEYW depends on them alone), DATE and TIME from
// the moment's calendar time.
void FillTitleTimes(UdmModel* model) {
    const StampTime moment = StampMoment();
    const auto seed = moment.fixed
                          ? static_cast<std::uint64_t>(moment.seconds)
                          : static_cast<std::uint64_t>(
                                std::chrono::system_clock::now().time_since_epoch().count());
    std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(seed));
    std::snprintf(g_scratch.keyword, sizeof g_scratch.keyword, "%d",
                  static_cast<int>(generator() % 32768));
    std::tm calendar{};
    if (moment.fixed) {
        gmtime_r(&moment.seconds, &calendar);
    } else {
        localtime_r(&moment.seconds, &calendar);
    }
    std::snprintf(g_scratch.date, sizeof g_scratch.date, "%3s-%02d-%04d", kMonths[calendar.tm_mon],
                  calendar.tm_mday, calendar.tm_year + 1900);
    std::snprintf(g_scratch.time, sizeof g_scratch.time, "%02d:%02d:%02d", calendar.tm_hour,
                  calendar.tm_min, calendar.tm_sec);
    // On exhausted memory a slot keeps its previous text.
    ReplaceText(&model->title.text[UDM_TITLE_KEYW], g_scratch.keyword);
    ReplaceText(&model->title.text[UDM_TITLE_DATE], g_scratch.date);
    ReplaceText(&model->title.text[UDM_TITLE_TIME], g_scratch.time);
}

void WriteTitle(UdmStream* stream, UdmModel* model) {
    if (!g_keep_stamps) FillTitleTimes(model);
    udm_put_comment(stream, kTitleComment);
    udm_put_newlines(stream, 1);
    PutBlockStart(stream, "TITL");
    for (const TitleEntry& entry : kTitleEntries) {
        udm_put_newlines(stream, 1);
        udm_put_blanks(stream, 2);
        PutBlockStart(stream, entry.keyword);
        udm_put_string(stream, model->title.text[entry.slot]);
        udm_put_close(stream);
    }
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, 2);
    PutBlockStart(stream, "UDMV");
    udm_put_string(stream, kUdmVersionText);
    udm_put_close(stream);
    udm_put_comment(stream, kUdmvComment);
    udm_put_newlines(stream, 1);
    udm_put_close(stream);
}

// "LUDM"/"Version": the build release, a colon and the build number.
void StoreBuildVersion() {
    const char* release = buildGetRelease(nullptr);
    const char* number = buildGetNumber(nullptr);
    try {
        const std::string version = std::string(release == nullptr ? "" : release) + ":" +
                                    (number == nullptr ? "" : number);
        udm_global_set("LUDM", "Version", version.c_str());
    } catch (const std::bad_alloc&) {
        // The previous version text, if any, is written.
    }
}

void WriteGlobals(UdmStream* stream, const UdmModel* model) {
    if (model->globals.empty()) return;
    udm_put_comment(stream, kGlobalComment);
    udm_put_newlines(stream, 1);
    PutBlockStart(stream, "GLBL");
    for (const auto& [keyword, entries] : model->globals) {
        if (entries.empty()) continue;
        udm_put_newlines(stream, 1);
        udm_put_blanks(stream, 2);
        PutBlockStart(stream, keyword.c_str());
        for (const auto& [key, value] : entries) {
            udm_put_newlines(stream, 1);
            udm_put_blanks(stream, 4);
            udm_put_string(stream, key.c_str());
            udm_put_blanks(stream, 1);
            udm_put_string(stream, value.c_str());
        }
        udm_put_close(stream);
    }
    udm_put_close(stream);
}

void CountEntities(UdmModel* model) {
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        const Collection* collection = model->classes[entity_class];
        model->summary[entity_class].count =
            collection == nullptr ? 0 : static_cast<std::int32_t>(collection->Count());
    }
}

void WriteSummary(UdmStream* stream, UdmModel* model) {
    CountEntities(model);
    if (model->title.compact) return;
    udm_put_comment(stream, kSummaryComment);
    udm_put_newlines(stream, 1);
    PutBlockStart(stream, "SUMR");
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        udm_put_newlines(stream, 1);
        udm_put_blanks(stream, 2);
        PutBlockStart(stream, ClassInfoOf(entity_class).counter);
        udm_put_int(stream, model->summary[entity_class].count);
        udm_put_close(stream);
    }
    udm_put_close(stream);
}

void WriteEntities(UdmStream* stream, UdmModel* model) {
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        const Collection* collection = model->classes[entity_class];
        if (collection == nullptr || collection->Empty()) continue;
        model->summary[entity_class].stream = stream;
        WriteClass(stream, entity_class);
        model->summary[entity_class].stream = nullptr;
    }
}

void WriteModel(UdmStream* stream, UdmModel* model, bool packed) {
    model->title.version = kUdmVersion;
    model->title.compact = packed ? 1 : 0;
    WriteTitle(stream, model);
    StoreBuildVersion();
    WriteGlobals(stream, model);
    WriteSummary(stream, model);
    WriteEntities(stream, model);
    udm_put_newlines(stream, 1);
    udm_put_keyword(stream, "ENDF");
    udm_put_newlines(stream, 1);
    Put(stream, UDM_TOKEN_END);
}

}  // namespace

namespace tarnvel::udm {

void WriteClass(UdmStream* stream, int entity_class) {
    const Collection* collection = CurrentCollection(entity_class);
    if (collection == nullptr) return;
    const UdmFamily* family = ClassInfoOf(entity_class).family;
    if (family == nullptr) return;
    udm_put_comment(stream, family->comment);
    for (const auto& [key, entity] : collection->Items()) family->write(stream, PayloadOf(entity));
}

}  // namespace tarnvel::udm

// ---- Primitives -----------------------------------------------------------------

void udm_put_open(UdmStream* stream) {
    Put(stream, UDM_TOKEN_OPEN);
}

void udm_put_close(UdmStream* stream) {
    Put(stream, UDM_TOKEN_CLOSE);
}

void udm_put_bool(UdmStream* stream, int flag) {
    Put(stream, flag ? UDM_TOKEN_TRUE : UDM_TOKEN_FALSE);
}

void udm_put_int8(UdmStream* stream, int value) {
    PutInteger(stream, UDM_TOKEN_INT8, value & 0xFF);
}

void udm_put_int16(UdmStream* stream, int value) {
    PutInteger(stream, UDM_TOKEN_INT16, value & 0xFFFF);
}

void udm_put_int(UdmStream* stream, std::int32_t value) {
    PutInteger(stream, UDM_TOKEN_INT32, value);
}

void udm_put_double(UdmStream* stream, double value) {
    UdmToken token;
    token.code = UDM_TOKEN_DOUBLE;
    token.real = value;
    udm_stream_put(stream, token);
}

void udm_put_keyword(UdmStream* stream, const char* name) {
    PutText(stream, UDM_TOKEN_WORD, std::string_view(name == nullptr ? "" : name).substr(0, 4));
}

void udm_put_string(UdmStream* stream, const char* text) {
    PutText(stream, UDM_TOKEN_STRING,
            text == nullptr ? std::string_view() : std::string_view(text));
}

void udm_put_comment(UdmStream* stream, const char* text) {
    if (text == nullptr || Compact()) return;
    PutText(stream, UDM_TOKEN_COMMENT, text);
}

void udm_put_blanks(UdmStream* stream, int count) {
    if (count <= 0 || Compact()) return;
    PutInteger(stream, UDM_TOKEN_BLANKS, count);
}

void udm_put_newlines(UdmStream* stream, int count) {
    if (count <= 0 || Compact()) return;
    PutInteger(stream, UDM_TOKEN_NEWLINES, count);
}

// ---- Writing a model ------------------------------------------------------------------

int udm_model_write_file(std::FILE* file, const char* path, int write_mode) {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_OK;
    if (file == nullptr) return UDM_CANNOT_CREATE;
    if (write_mode == UDM_MODE_AS_LOADED) write_mode = model->title.loaded_packed ? 1 : 0;
    const bool packed = write_mode == UDM_MODE_PACKED;
    UdmStream* stream = udm_stream_open_write(path == nullptr ? "" : path,
                                              packed ? kPackedEncoding : kTextEncoding, file);
    if (stream == nullptr) return UDM_CANNOT_CREATE;
    WriteModel(stream, model, packed);
    // A write the file did not take (a full disk) is a failed write; a text
    // too long for the text form is a model the text encoding cannot carry.
    const int closed = udm_stream_close(stream);
    const bool failed = closed != UDM_OK || std::fflush(file) != 0 || std::ferror(file) != 0;
    std::clearerr(file);
    if (closed == tarnvel::udm::kStatusTextTooLong) return UDM_BAD_ARGUMENT;
    return failed ? UDM_CANNOT_CREATE : UDM_OK;
}

int udm_model_write(const char* path, int write_mode) {
    if (path == nullptr || CurrentModel() == nullptr) return UDM_OK;
    // The file at path changes only once the whole model is written.
    int status = UDM_OK;
    const int written = sypWriteFile(path, [&](std::FILE* file) {
        status = udm_model_write_file(file, path, write_mode);
        return status == UDM_OK;
    });
    if (written == 0) return UDM_OK;
    return status != UDM_OK ? status : UDM_CANNOT_CREATE;
}

int udm_model_write_packed(const char* path) {
    return udm_model_write(path, UDM_MODE_PACKED);
}

int udm_model_save(const char* path) {
    return udm_model_write(path, UDM_MODE_AS_LOADED);
}

int udm_write_keep_stamps(int keep) {
    const int previous = g_keep_stamps ? 1 : 0;
    g_keep_stamps = keep != 0;
    return previous;
}

// The last second whose date has a four-digit year (9999-12-31 23:59:59).
constexpr std::int64_t kLastFourDigitYearSecond = 253402300799;

int udm_source_date_epoch(std::int64_t* seconds) {
    const char* text = std::getenv(kSourceDateEpoch);
    if (text == nullptr || *text == '\0') return 0;
    std::int64_t value = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') return -1;
        value = value * 10 + (*digit - '0');
        if (value > kLastFourDigitYearSecond) return -1;
    }
    if (seconds != nullptr) *seconds = value;
    return 1;
}
