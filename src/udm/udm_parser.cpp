// The parser of UDM files: a hand-written recursive-descent parser over the
// token source, with the recovery of the classic LALR error rule. A token
// that does not fit is reported as "parse error" (once, then not again
// until three tokens have been taken), and input is discarded until the
// parser can go on: inside a brace level up to that level's close brace
// (the construct of that level is dropped), at the outermost level up to
// the next block keyword. Reaching the end of input while recovering, or a
// lexer failure, ends the parse with result 1; braces nested deeper than
// the parser follows end it with result 2.
//
// Blocks: TITL (title slots and the UDM version), GLBL (global entries),
// SUMR (read and ignored), TSET (property sets with their TCODs), the
// entity blocks of the other classes (collected and handed to their
// family's creator, see EntityBlockRead) and ENDF, which ends the read.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "services/libvxenv.h"
#include "services/syperror.h"
#include "services/sypmem.h"
#include "udm/udm.h"
#include "udm/udm_binary_reader.h"
#include "udm/udm_classes.h"
#include "udm/udm_family.h"
#include "udm/udm_flat_block.h"
#include "udm/udm_keywords.h"
#include "udm/udm_lexer.h"
#include "udm/udm_reader.h"
#include "udm/udm_value_list.h"

namespace tarnvel::udm {
namespace {

constexpr char kParseError[] = "parse error";
constexpr char kStackOverflow[] = "parser stack overflow";
constexpr char kSyntaxError[] = "syntax error";
constexpr char kGroupLengthError[] = "syntax error : keyword length is not 4";
constexpr char kBadTcodMemory[] = "bad TCOD memory";
constexpr char kBadTsetLabel[] = "bad TSET label";
constexpr char kBadTsetMemory[] = "bad TSET memory";

// Tokens taken after an error before the next error is reported.
constexpr int kQuietShifts = 3;
// Length of a global group keyword.
constexpr std::size_t kGroupKeywordLength = 4;

// ---- Diagnostics ------------------------------------------------------------

// The current token of the parse in progress, for the diagnostics; null
// outside a parse.
const UdmToken* g_current = nullptr;

bool IsIntegerToken(int code) {
    return code == UDM_TOKEN_INT8 || code == UDM_TOKEN_INT16 || code == UDM_TOKEN_INT32;
}
bool IsRealToken(int code) {
    return code == UDM_TOKEN_FLOAT || code == UDM_TOKEN_DOUBLE;
}
bool IsKeywordToken(int code) {
    return code >= kFirstKeywordCode && code <= kLastKeywordCode;
}
bool HasText(int code) {
    return code == UDM_TOKEN_OPEN || code == UDM_TOKEN_CLOSE || code == UDM_TOKEN_WORD ||
           code == UDM_TOKEN_STRING || IsKeywordToken(code);
}

// The message extended with the token: "%s : [%s]" for braces, words and
// strings, "%s : [%f]" for reals, "%s : [%ld]" for integers.
std::string ExtendWithToken(const char* message, const UdmToken& token) {
    std::array<char, 1024> text;
    const int code = token.code;
    if (HasText(code)) {
        // Braces read from binary tokens carry no text of their own.
        const std::string_view shown = code == UDM_TOKEN_OPEN    ? "{"
                                       : code == UDM_TOKEN_CLOSE ? "}"
                                                                 : token.text;
        std::snprintf(text.data(), text.size(), "%s : [%.*s]", message,
                      static_cast<int>(std::min<std::size_t>(shown.size(), text.size())),
                      shown.data());
    } else if (IsRealToken(code)) {
        std::snprintf(text.data(), text.size(), "%s : [%f]", message, token.real);
    } else if (IsIntegerToken(code) || code == UDM_TOKEN_FALSE || code == UDM_TOKEN_TRUE) {
        long value = code == UDM_TOKEN_TRUE ? 1 : code == UDM_TOKEN_FALSE ? 0 : token.integer;
        std::snprintf(text.data(), text.size(), "%s : [%ld]", message, value);
    } else {
        std::snprintf(text.data(), text.size(), "%s", message);
    }
    return text.data();
}

// ---- Value buffer -----------------------------------------------------------

// The process-wide list of numbers collected for one TCOD. Its destructor
// is the one place that frees its storage (see ValueList).
ValueList g_values;

// ---- Token source ---------------------------------------------------------------

// Where the tokens of a stream come from: the lexer or the window decoder
// attached to it (called directly, as they serve every token of a read), or
// the stream's own token reader.
struct TokenSource {
    UdmStream* stream;
    TextLexer* lexer;
    BinaryTokenReader* binary;

    static TokenSource Of(UdmStream* stream) {
        return {stream, TextLexer::Of(stream), BinaryTokenReader::Of(stream)};
    }
};

inline int RawToken(const TokenSource& source, UdmToken* token) {
    if (source.binary != nullptr) return source.binary->Next(token);
    if (source.lexer != nullptr) return source.lexer->Next(token);
    return udm_stream_get(source.stream, token);
}

// Keyword recognition of a token from the stream: a word of four or more
// bytes is cut to four and looked up (remapped by the model's UDM version);
// an 8-bit integer stands for the keyword of code value + 273, or the end
// of input above ENDF.
inline int RecognizeToken(int code, UdmToken* token) {
    if (code == UDM_TOKEN_WORD) {
        if (token->text.size() > kKeywordLength)
            token->text = token->text.substr(0, kKeywordLength);
        if (const int keyword = RecognizeKeyword(token->text, udm_file_version())) code = keyword;
    } else if (code == UDM_TOKEN_INT8) {
        code = token->integer + kFirstKeywordCode;
        if (code > kKeyENDF) {
            *token = UdmToken{};
            return UDM_TOKEN_END;
        }
        token->text = KeywordText(code);
    }
    token->code = code;
    return code;
}

// ---- Parser -----------------------------------------------------------------

// What a parsing step left behind.
enum class Result {
    // The construct was read (or dropped after an error it recovered from).
    kOk,
    // An error was reported at the current token, which is not consumed;
    // the enclosing level recovers.
    kFailed,
    // The parse is over; the parser's result says how.
    kAbort,
};

// What a token starts at the outermost level.
enum class BlockKind { kNone, kTitle, kGlobals, kSummary, kPropertySet, kEntity, kEnd };

// The entity blocks and their classes (-1: a block that belongs to no
// class). The old-version codes stand for the same classes.
struct EntityKeyword {
    int keyword;
    int entity_class;
};
constexpr std::array<EntityKeyword, 24> kEntityBlocks = {{
    {kKeyCOLR, UDM_CLASS_COLR},
    {kKeyLYER, UDM_CLASS_LYER},
    {kKeyLYEROld, UDM_CLASS_LYER},
    {kKeyVIEW, UDM_CLASS_VIEW},
    {kKeyNODE, UDM_CLASS_NODE},
    {kKeyTEXT, UDM_CLASS_TEXT},
    {kKey1DET, UDM_CLASS_1DET},
    {kKeyTRI3, UDM_CLASS_TRI3},
    {kKeyCURV, UDM_CLASS_CURV},
    {kKeySURF, UDM_CLASS_SURF},
    {kKeyREGN, UDM_CLASS_REGN},
    {kKeyNDBC, UDM_CLASS_NDBC},
    {kKeyNDBCOld, UDM_CLASS_NDBC},
    {kKeySUBC, UDM_CLASS_SUBC},
    {kKeySUBCOld, UDM_CLASS_SUBC},
    {kKeyCTPL, UDM_CLASS_CTPL},
    {kKeyLOCS, UDM_CLASS_LOCS},
    {kKeyTET4, UDM_CLASS_TET4},
    {kKeySTLR, UDM_CLASS_STLR},
    {kKeyBLOB, UDM_CLASS_BLOB},
    {kKeyWEDG, UDM_CLASS_WEDG},
    {kKeyINTE, UDM_CLASS_INTE},
    {kKeyEDGE, -1},
    {kKeyQUAD, -1},
}};

// The class of an entity block keyword, -1 for none.
int EntityClassOf(int code) {
    for (const EntityKeyword& block : kEntityBlocks) {
        if (block.keyword == code) return block.entity_class;
    }
    return -1;
}

BlockKind KindOf(int code) {
    switch (code) {
        case kKeyTITL:
            return BlockKind::kTitle;
        case kKeyGLBL:
            return BlockKind::kGlobals;
        case kKeySUMR:
            return BlockKind::kSummary;
        case kKeyTSET:
            return BlockKind::kPropertySet;
        case kKeyENDF:
            return BlockKind::kEnd;
        default:
            break;
    }
    for (const EntityKeyword& block : kEntityBlocks) {
        if (block.keyword == code) return BlockKind::kEntity;
    }
    return BlockKind::kNone;
}

// The title entries: keyword and title slot (-1: the UDM version).
struct TitleField {
    int keyword;
    int slot;
};
constexpr std::array<TitleField, 6> kTitleFields = {{
    {kKeyNAME, UDM_TITLE_NAME},
    {kKeyVRSN, UDM_TITLE_VRSN},
    {kKeyKEYW, UDM_TITLE_KEYW},
    {kKeyDATE, UDM_TITLE_DATE},
    {kKeyTIME, UDM_TITLE_TIME},
    {kKeyUDMV, -1},
}};

const TitleField* FindTitleField(int code) {
    for (const TitleField& field : kTitleFields) {
        if (field.keyword == code) return &field;
    }
    return nullptr;
}

void ApplyTitleField(const TitleField& field, const char* text) {
    switch (field.slot) {
        case UDM_TITLE_NAME:
            udm_title_set(text, nullptr, nullptr, nullptr, nullptr);
            break;
        case UDM_TITLE_KEYW:
            udm_title_set(nullptr, text, nullptr, nullptr, nullptr);
            break;
        case UDM_TITLE_DATE:
            udm_title_set(nullptr, nullptr, text, nullptr, nullptr);
            break;
        case UDM_TITLE_TIME:
            udm_title_set(nullptr, nullptr, nullptr, text, nullptr);
            break;
        case UDM_TITLE_VRSN:
            udm_title_set(nullptr, nullptr, nullptr, nullptr, text);
            break;
        default:
            udm_set_file_version(text);
            break;
    }
}

// The TCODs of a set being read, in reading order; freed unless released.
class CodeChain {
  public:
    CodeChain() = default;
    CodeChain(const CodeChain&) = delete;
    CodeChain& operator=(const CodeChain&) = delete;
    ~CodeChain() {
        while (head_ != nullptr) {
            UdmTcod* next = head_->next;
            udm_tcod_free(head_);
            head_ = next;
        }
    }
    void Append(UdmTcod* tcod) {
        *tail_ = tcod;
        tail_ = &tcod->next;
    }
    UdmTcod* head() const { return head_; }
    void Release() {
        head_ = nullptr;
        tail_ = &head_;
    }

  private:
    UdmTcod* head_ = nullptr;
    UdmTcod** tail_ = &head_;
};

// A keyword's word token as the writer puts it in a binary file: type
// byte, 4-byte length, the four letters.
struct KeywordBytes {
    explicit KeywordBytes(int keyword) : code(keyword), name(KeywordText(keyword)) {
        bytes[0] = binary_form_of_code(UDM_TOKEN_WORD)->type;
        put_be32(&bytes[1], kKeywordLength);
        std::memcpy(&bytes[5], name.data(), kKeywordLength);
    }
    int code;
    // Measured once: it becomes the current token's text at every block.
    std::string_view name;
    std::array<std::uint8_t, 5 + kKeywordLength> bytes{};
};

class Parser {
  public:
    explicit Parser(UdmStream* stream) : stream_(stream), source_(TokenSource::Of(stream)) {
        g_current = &token_;
        if (source_.binary != nullptr && InPlaceDecoding()) in_place_ = source_.binary;
    }
    ~Parser() { g_current = nullptr; }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    int Run();

  private:
    // ---- tokens
    // The next token, as udm_next_token gives it; comments carry no
    // meaning and are passed over.
    void Fetch() {
        int code = 0;
        do {
            code = RawToken(source_, &token_);
        } while (code == UDM_TOKEN_COMMENT);
        RecognizeToken(code, &token_);
    }
    // Takes the current token as part of the input read.
    void Shift() {
        if (quiet_ > 0) --quiet_;
        Fetch();
    }
    // Takes the doubles that directly follow the current token in a binary
    // stream, as if each were shifted in turn (the long value lists of
    // packed files).
    template <typename Sink>
    void TakeFollowingDoubles(Sink&& sink) {
        if (source_.binary == nullptr) return;
        const std::size_t taken = source_.binary->TakeDoubles(sink);
        quiet_ = taken >= static_cast<std::size_t>(quiet_) ? 0 : quiet_ - static_cast<int>(taken);
    }
    // Counts tokens taken past the parser's own Shift, as Shift counts.
    void Taken(std::size_t count) {
        quiet_ = count >= static_cast<std::size_t>(quiet_) ? 0 : quiet_ - static_cast<int>(count);
    }
    // Makes the close brace of a block decoded in place the current token,
    // for the messages its creation may give.
    void AtDecodedClose() {
        token_.code = UDM_TOKEN_CLOSE;
        token_.text = std::string_view();
    }
    bool NextIsKeyword(const KeywordBytes& keyword);
    bool At(int code) const { return token_.code == code; }
    bool AtNumber() const { return IsIntegerToken(token_.code) || IsRealToken(token_.code); }

    // ---- errors and recovery
    void Report(const char* message) { udm_report(stream_, message); }
    Result Fail();
    Result Abort(int result);
    Result OutOfMemory(const char* message);
    Result SkipLevel();
    Result SkipToBlock();

    // ---- pieces
    Result Open();
    Result EndLevel(Result result);
    Result Integer(std::int32_t* out);
    Result String(std::string* out);

    // ---- blocks
    Result Block();
    Result Title();
    Result TitleEntry();
    Result Globals();
    Result GlobalGroup();
    void OldGlobal(const std::string& word, bool keep);
    Result Summary();
    Result SummaryCounter();
    Result PropertySet();
    Result PropertyCode(CodeChain* codes);
    Result CreateSet(std::int32_t type, std::int32_t label, CodeChain* codes);
    Result AddCode(std::int32_t code, std::string_view description, CodeChain* codes,
                   const DoubleRun& run);
    std::optional<Result> PackedCodes(CodeChain* codes);
    Result EntityBlockRead();
    std::optional<Result> FlatBlocks(int keyword, const FamilyLayout& flat);
    Result CollectBlock(bool* complete);
    void PushItem(const BlockItem& item);
    void PushText(BlockItem::Kind kind, int keyword);

    UdmStream* stream_;
    TokenSource source_;
    // The binary source whose flat blocks and TCODs are decoded in place.
    BinaryTokenReader* in_place_ = nullptr;
    UdmToken token_;
    // Tokens still to take before errors are reported again.
    int quiet_ = 0;
    int result_ = UDM_PARSE_ACCEPTED;
    // Texts kept across tokens (their capacity is reused).
    std::string group_;
    std::string key_;
    std::string text_;
    std::string set_description_;
    std::string code_description_;
    // The entity block being read (its storage reused block by block).
    EntityBlock block_;
};

int Parser::Run() {
    Fetch();
    // A UDM file starts with a block (comments aside); input that starts
    // otherwise (random bytes, a device of zeros, another format) ends the
    // read here rather than being searched to its end for a block keyword.
    if (KindOf(token_.code) == BlockKind::kNone) {
        if (Fail() != Result::kAbort) Abort(UDM_PARSE_RECOVERY_FAILED);
        return result_;
    }
    while (!At(kKeyENDF)) {
        Result result = Block();
        if (result == Result::kFailed) result = SkipToBlock();
        if (result == Result::kAbort) return result_;
    }
    return UDM_PARSE_ACCEPTED;
}

Result Parser::Block() {
    switch (KindOf(token_.code)) {
        case BlockKind::kTitle:
            return Title();
        case BlockKind::kGlobals:
            return Globals();
        case BlockKind::kSummary:
            return Summary();
        case BlockKind::kPropertySet:
            return PropertySet();
        case BlockKind::kEntity:
            return EntityBlockRead();
        case BlockKind::kEnd:
            return Result::kOk;
        case BlockKind::kNone:
            break;
    }
    return Fail();
}

// Reports the current token (a lexer failure with its own message, which
// ends the parse).
Result Parser::Fail() {
    if (At(kTokenLexError)) {
        const char* message = TextLexer::ErrorOf(stream_);
        Report(message != nullptr ? message : kParseError);
        return Abort(UDM_PARSE_RECOVERY_FAILED);
    }
    if (quiet_ == 0) Report(kParseError);
    quiet_ = kQuietShifts;
    return Result::kFailed;
}

Result Parser::Abort(int result) {
    result_ = result;
    if (result == UDM_PARSE_STACK_OVERFLOW) Report(kStackOverflow);
    return Result::kAbort;
}

// A failed allocation ends the parse: what follows would be read into a
// model that silently misses what could not be stored.
Result Parser::OutOfMemory(const char* message) {
    udm_report_no_memory(stream_, message);
    return Abort(UDM_PARSE_NO_MEMORY);
}

// Recovery inside a brace level: discards tokens up to and including the
// close brace of the level.
Result Parser::SkipLevel() {
    int depth = 1;
    for (;;) {
        if (At(kTokenLexError)) return Fail();
        if (At(UDM_TOKEN_END)) return Abort(UDM_PARSE_RECOVERY_FAILED);
        if (At(UDM_TOKEN_OPEN) && ++depth > kMaxBraceNesting)
            return Abort(UDM_PARSE_STACK_OVERFLOW);
        if (At(UDM_TOKEN_CLOSE) && --depth == 0) {
            Fetch();
            return Result::kOk;
        }
        Fetch();
    }
}

// Recovery at the outermost level: discards tokens up to the next block.
Result Parser::SkipToBlock() {
    while (KindOf(token_.code) == BlockKind::kNone) {
        if (At(kTokenLexError)) return Fail();
        if (At(UDM_TOKEN_END)) return Abort(UDM_PARSE_RECOVERY_FAILED);
        Fetch();
    }
    return Result::kOk;
}

Result Parser::Open() {
    if (!At(UDM_TOKEN_OPEN)) return Fail();
    Shift();
    return Result::kOk;
}

// Ends a brace level: takes its close brace, or recovers from an error
// inside it.
Result Parser::EndLevel(Result result) {
    if (result == Result::kOk && !At(UDM_TOKEN_CLOSE)) result = Fail();
    if (result == Result::kFailed) return SkipLevel();
    if (result == Result::kOk) Shift();
    return result;
}

// An integer: a 32-bit integer token, or in the binary encodings a 16-bit
// one.
Result Parser::Integer(std::int32_t* out) {
    if (!At(UDM_TOKEN_INT32) && !At(UDM_TOKEN_INT16)) return Fail();
    *out = token_.integer;
    Shift();
    return Result::kOk;
}

Result Parser::String(std::string* out) {
    if (!At(UDM_TOKEN_STRING)) return Fail();
    out->assign(token_.text);
    Shift();
    return Result::kOk;
}

// ---- Title ------------------------------------------------------------------

// TITL { NAME{string} VRSN{string} KEYW{string} DATE{string} TIME{string}
// UDMV{string} }, the entries in any order.
Result Parser::Title() {
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    while (result == Result::kOk && FindTitleField(token_.code) != nullptr) result = TitleEntry();
    return EndLevel(result);
}

Result Parser::TitleEntry() {
    const TitleField& field = *FindTitleField(token_.code);
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    result = String(&text_);
    if (result == Result::kOk && At(UDM_TOKEN_CLOSE)) ApplyTitleField(field, text_.c_str());
    return EndLevel(result);
}

// ---- Globals ----------------------------------------------------------------

// GLBL { group { "key" "value" ... } ... }; in files of UDM version 0 or
// less a group may also be a word and a number.
Result Parser::Globals() {
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    while (result == Result::kOk && (At(UDM_TOKEN_WORD) || IsKeywordToken(token_.code))) {
        result = GlobalGroup();
    }
    return EndLevel(result);
}

Result Parser::GlobalGroup() {
    const bool keep = token_.text.size() == kGroupKeywordLength;
    if (!keep) Report(kGroupLengthError);
    group_.assign(token_.text);
    Shift();
    if (AtNumber()) {
        OldGlobal(group_, keep);
        Shift();
        return Result::kOk;
    }
    Result result = Open();
    if (result != Result::kOk) return result;
    while (result == Result::kOk && At(UDM_TOKEN_STRING)) {
        key_.assign(token_.text);
        Shift();
        result = String(&text_);
        if (result == Result::kOk && keep) {
            udm_global_set(group_.c_str(), key_.c_str(), text_.c_str());
        }
    }
    return EndLevel(result);
}

// The old global form: the number is stored as "%E" text under the word as
// both group and key. Files of UDM version 1 or more do not have it.
void Parser::OldGlobal(const std::string& word, bool keep) {
    if (udm_file_version() > 0) {
        Report(kSyntaxError);
        return;
    }
    if (!keep) return;
    const double value = IsRealToken(token_.code) ? token_.real : token_.integer;
    std::array<char, 64> text;
    std::snprintf(text.data(), text.size(), "%E", value);
    udm_global_set(word.c_str(), word.c_str(), text.data());
}

// ---- Summary ----------------------------------------------------------------

// SUMR { counter { integer } ... }: read and ignored, the counts are
// recomputed when writing.
Result Parser::Summary() {
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    while (result == Result::kOk && At(UDM_TOKEN_WORD)) result = SummaryCounter();
    return EndLevel(result);
}

Result Parser::SummaryCounter() {
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    std::int32_t ignored = 0;
    return EndLevel(Integer(&ignored));
}

// ---- Property sets ------------------------------------------------------------

// TSET { type label "description" TCOD{...} ... }: created at its close
// brace; a set that cannot be created is reported and dropped.
Result Parser::PropertySet() {
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    std::int32_t type = 0;
    std::int32_t label = 0;
    CodeChain codes;
    result = Integer(&type);
    if (result == Result::kOk) result = Integer(&label);
    if (result == Result::kOk) result = String(&set_description_);
    while (result == Result::kOk && At(kKeyTCOD)) result = PropertyCode(&codes);
    if (result == Result::kOk && At(UDM_TOKEN_CLOSE)) result = CreateSet(type, label, &codes);
    return EndLevel(result);
}

Result Parser::CreateSet(std::int32_t type, std::int32_t label, CodeChain* codes) {
    UdmTset* created = nullptr;
    const int status =
        udm_tset_create(type, label, set_description_.c_str(), codes->head(), &created);
    if (status == UDM_OK) {
        codes->Release();
    } else if (status == UDM_NO_MEMORY) {
        return OutOfMemory(kBadTsetMemory);
    } else {
        Report(status == UDM_KEY_IN_USE ? kBadTsetLabel : kBadTsetMemory);
    }
    return Result::kOk;
}

// TCOD { code "description" values... }: built at its close brace and
// chained; integers among the values are taken as doubles.
Result Parser::PropertyCode(CodeChain* codes) {
    if (in_place_ != nullptr) {
        if (const std::optional<Result> result = PackedCodes(codes)) return *result;
    }
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    std::int32_t code = 0;
    g_values.Clear();
    result = Integer(&code);
    if (result == Result::kOk) result = String(&code_description_);
    while (result == Result::kOk && AtNumber()) {
        g_values.Push(IsRealToken(token_.code) ? token_.real : token_.integer);
        TakeFollowingDoubles([](double value) { g_values.Push(value); });
        Shift();
    }
    if (result == Result::kOk && At(UDM_TOKEN_CLOSE)) {
        result = AddCode(code, code_description_, codes, DoubleRun{});
    }
    return EndLevel(result);
}

// Builds the TCOD of the values collected and chains it. Its description
// is the text up to a NUL byte, as a terminated copy of it would be.
// The values are those collected, or a run of double tokens still in the
// bytes read.
Result Parser::AddCode(std::int32_t code, std::string_view description, CodeChain* codes,
                       const DoubleRun& run) {
    const std::size_t length = std::min(description.find('\0'), description.size());
    // Every TCOD read has a description, empty or not.
    const char* text = description.data() != nullptr ? description.data() : "";
    UdmTcod* tcod = nullptr;
    if (run.count > 0 && run.count <= ValueList::kMaxCount) {
        tcod = NewTcodWithRoom(code, text, length, static_cast<std::int32_t>(run.count));
        if (tcod != nullptr) DecodeDoubleRun(run, tcod->values);
    } else if (!g_values.failed()) {
        tcod = NewTcod(code, text, length, g_values.count(), g_values.values());
    }
    if (tcod == nullptr) return OutOfMemory(kBadTcodMemory);
    codes->Append(tcod);
    return Result::kOk;
}

// The largest block decoded in place; a larger one is read token by token.
constexpr std::size_t kInPlaceBlock = 4096;

// Whether the binary bytes that come next are the keyword's word as the
// writer spells it; if so they are taken and it is the current token.
bool Parser::NextIsKeyword(const KeywordBytes& keyword) {
    const std::span<const std::uint8_t> bytes = in_place_->Peek(keyword.bytes.size());
    if (bytes.size() < keyword.bytes.size() ||
        std::memcmp(bytes.data(), keyword.bytes.data(), keyword.bytes.size()) != 0) {
        return false;
    }
    in_place_->Skip(keyword.bytes.size());
    token_.code = keyword.code;
    token_.text = keyword.name;
    return true;
}

// The TCODs of a packed file, decoded in place from the current TCOD
// keyword on, as long as they come one after the other. Gives what reading
// them came to, the token after the last current; none when the current
// TCOD's block is to be read token by token (nothing of it taken).
std::optional<Result> Parser::PackedCodes(CodeChain* codes) {
    const KeywordBytes next(kKeyTCOD);
    // The keyword's text may point into the window, which a peek moves.
    token_.text = next.name;
    do {
        std::int32_t code = 0;
        std::string_view description;
        std::size_t tokens = 0;
        DoubleRun run;
        const std::span<const std::uint8_t> bytes = in_place_->Peek(kInPlaceBlock);
        const std::size_t size =
            MeasurePackedCode(bytes, &code, &description, &g_values, &run, &tokens);
        if (size == 0) return std::nullopt;
        AtDecodedClose();
        // The description and values are still in the window, taken but
        // not moved.
        in_place_->Skip(size);
        if (const Result result = AddCode(code, description, codes, run); result != Result::kOk) {
            return result;
        }
        Taken(tokens + 1);
    } while (NextIsKeyword(next));
    Fetch();
    return Result::kOk;
}

// ---- Other entities ---------------------------------------------------------------

// An entity block of a class other than TSET: its content is collected up
// to its close brace and handed, at that brace, to the creator of the
// class's family. Blocks of EDGE and QUAD, which no class holds, are read
// and dropped.
Result Parser::EntityBlockRead() {
    const int keyword = token_.code;
    if (const FamilyLayout* flat =
            in_place_ != nullptr ? FlatLayoutOf(EntityClassOf(keyword)) : nullptr) {
        if (const std::optional<Result> result = FlatBlocks(keyword, *flat)) return *result;
    }
    Shift();
    Result result = Open();
    if (result != Result::kOk) return result;
    block_.Clear();
    block_.keyword = keyword;
    bool complete = false;
    result = CollectBlock(&complete);
    if (result != Result::kOk || !complete) return result;
    const int entity_class = EntityClassOf(keyword);
    const UdmFamily* family = entity_class >= 0 ? ClassInfoOf(entity_class).family : nullptr;
    if (family != nullptr && family->create != nullptr) {
        family->create(entity_class, block_, stream_);
        if (ReadRanOutOfMemory()) return Abort(UDM_PARSE_NO_MEMORY);
    }
    Shift();
    return Result::kOk;
}

// Flat blocks of a packed file (see udm_flat_block.h), decoded in place
// from the current keyword on, as long as blocks of that keyword follow one
// another. Gives what reading them came to, the token after the last
// current; none when the current keyword's block is to be collected token
// by token (nothing of it taken).
std::optional<Result> Parser::FlatBlocks(int keyword, const FamilyLayout& flat) {
    const KeywordBytes next(keyword);
    // The keyword's text may point into the window, which a peek moves.
    token_.text = next.name;
    FlatRun run(flat);
    do {
        const std::span<const std::uint8_t> bytes = in_place_->Peek(kInPlaceBlock);
        if (!run.Measure(bytes)) return std::nullopt;
        AtDecodedClose();
        // The block's texts are still in the window, taken but not moved.
        in_place_->Skip(run.size());
        run.Create(stream_);
        if (ReadRanOutOfMemory()) return Abort(UDM_PARSE_NO_MEMORY);
        Taken(run.tokens() + 1);
    } while (NextIsKeyword(next));
    Fetch();
    return Result::kOk;
}

void Parser::PushItem(const BlockItem& item) {
    block_.items.push_back(item);
}

void Parser::PushText(BlockItem::Kind kind, int keyword) {
    // Texts are placed by 32-bit offsets: a block holding more is out of
    // memory as far as the reader goes.
    if (block_.texts.size() + token_.text.size() > UINT32_MAX) throw std::bad_alloc();
    const BlockItem item = BlockItem::Text(kind, keyword, block_.texts.size(), token_.text.size());
    block_.texts.append(token_.text);
    PushItem(item);
}

// Collects the items of an entered block up to its close brace, which stays
// the current token (*complete set). Memory that runs out is reported and
// ends the parse.
Result Parser::CollectBlock(bool* complete) {
    std::vector<std::size_t> open_groups;
    try {
        for (;;) {
            const int code = token_.code;
            if (code == UDM_TOKEN_END || code == kTokenLexError) return Fail();
            if (code == UDM_TOKEN_CLOSE) {
                if (open_groups.empty()) {
                    *complete = true;
                    return Result::kOk;
                }
                block_.items[open_groups.back()].end =
                    static_cast<std::uint32_t>(block_.items.size());
                open_groups.pop_back();
            } else if (code == UDM_TOKEN_OPEN) {
                if (open_groups.size() + 2 > static_cast<std::size_t>(kMaxBraceNesting)) {
                    return Abort(UDM_PARSE_STACK_OVERFLOW);
                }
                // A keyword just before the brace names the group.
                if (!block_.items.empty() && block_.items.back().kind == BlockItem::Kind::kWord &&
                    block_.items.back().keyword != 0) {
                    block_.items.back().kind = BlockItem::Kind::kGroup;
                } else {
                    PushItem(BlockItem::Group());
                }
                open_groups.push_back(block_.items.size() - 1);
            } else if (IsIntegerToken(code) || code == UDM_TOKEN_FALSE || code == UDM_TOKEN_TRUE) {
                const std::int32_t value = code == UDM_TOKEN_TRUE    ? 1
                                           : code == UDM_TOKEN_FALSE ? 0
                                                                     : token_.integer;
                PushItem(BlockItem::Integer(value));
            } else if (IsRealToken(code)) {
                PushItem(BlockItem::Real(token_.real));
                TakeFollowingDoubles([this](double value) { PushItem(BlockItem::Real(value)); });
            } else if (code == UDM_TOKEN_STRING) {
                PushText(BlockItem::Kind::kString, 0);
            } else {
                PushText(BlockItem::Kind::kWord, IsKeywordToken(code) ? code : 0);
            }
            Shift();
        }
    } catch (const std::bad_alloc&) {
        block_.Clear();
        std::string message = "bad ";
        message += KeywordText(block_.keyword) != nullptr ? KeywordText(block_.keyword) : "";
        message += " memory";
        return OutOfMemory(message.c_str());
    }
}

}  // namespace

bool ReaderPrintsErrors() {
    static const bool prints = envGetValue("VANTOREL_UDM_PRINT_ERROR") != nullptr;
    return prints;
}

}  // namespace tarnvel::udm

using namespace tarnvel::udm;

int udm_next_token(UdmStream* stream, UdmToken* token) {
    return RecognizeToken(RawToken(TokenSource::Of(stream), token), token);
}

namespace {

// What the current read of this thread dropped (see udm_read_dropped_count).
struct DropRecord {
    int count = 0;
    std::array<char, 512> first{};
    // An allocation failed: the read ends.
    bool out_of_memory = false;
};
thread_local DropRecord t_drops;

void RecordDrop(int line, const std::string& message) {
    if (t_drops.count++ == 0) {
        std::snprintf(t_drops.first.data(), t_drops.first.size(), "Line %d: %s", line,
                      message.c_str());
    }
}

}  // namespace

void tarnvel::udm::ResetDropRecord() {
    t_drops.count = 0;
    t_drops.first[0] = '\0';
    t_drops.out_of_memory = false;
}

bool tarnvel::udm::ReadRanOutOfMemory() {
    return t_drops.out_of_memory;
}

int udm_read_dropped_count() {
    return t_drops.count;
}

const char* udm_read_first_message() {
    return t_drops.first.data();
}

void udm_report(UdmStream* stream, const char* message) {
    if (message == nullptr) return;
    const std::string extended =
        g_current != nullptr ? ExtendWithToken(message, *g_current) : std::string(message);
    RecordDrop(TextLexer::LineOf(stream), extended);
    if (!ReaderPrintsErrors()) return;
    sypReportCondition(__FILE__, __LINE__, "File %s, Line %d\n%s", udm_stream_name(stream),
                       TextLexer::LineOf(stream), extended.c_str());
}

void udm_report_no_memory(UdmStream* stream, const char* message) {
    t_drops.out_of_memory = true;
    udm_report(stream, message);
}

int udm_parse(UdmStream* stream) {
    if (stream == nullptr) return UDM_PARSE_RECOVERY_FAILED;
    Parser parser(stream);
    return parser.Run();
}
