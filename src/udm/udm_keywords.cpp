// The keyword table: 45 keywords in 256 slots, found by hash and at most
// two probes. The probe after a miss steps back by the word's first byte.
// Placed in code order, BLOB and INTE would need a third probe; the table
// is therefore built with the colliding keywords first (COLR, CIPT, INTE,
// BLOB), which leaves every keyword on its first or second probe. The build
// runs at compile time and a static assertion proves the layout.
#include "udm/udm_keywords.h"

#include <array>
#include <bit>
#include <cstring>

namespace tarnvel::udm {
namespace {

// The keywords in code order.
constexpr std::array<Keyword, kKeywordCount> kKeywords = {{
    {"TITL", kKeyTITL}, {"NAME", kKeyNAME}, {"VRSN", kKeyVRSN}, {"KEYW", kKeyKEYW},
    {"DATE", kKeyDATE}, {"TIME", kKeyTIME}, {"UDMV", kKeyUDMV}, {"SUMR", kKeySUMR},
    {"GLBL", kKeyGLBL}, {"COLR", kKeyCOLR}, {"LYER", kKeyLYER}, {"TSET", kKeyTSET},
    {"VIEW", kKeyVIEW}, {"NODE", kKeyNODE}, {"TEXT", kKeyTEXT}, {"1DET", kKey1DET},
    {"TRI3", kKeyTRI3}, {"CURV", kKeyCURV}, {"SURF", kKeySURF}, {"REGN", kKeyREGN},
    {"NDBC", kKeyNDBC}, {"SUBC", kKeySUBC}, {"CTPL", kKeyCTPL}, {"LOCS", kKeyLOCS},
    {"TCOD", kKeyTCOD}, {"TRAN", kKeyTRAN}, {"CIPT", kKeyCIPT}, {"GCRV", kKeyGCRV},
    {"SIPT", kKeySIPT}, {"ICRV", kKeyICRV}, {"TSRF", kKeyTSRF}, {"OTLP", kKeyOTLP},
    {"EDGE", kKeyEDGE}, {"INLP", kKeyINLP}, {"GSRF", kKeyGSRF}, {"RIPT", kKeyRIPT},
    {"GRGN", kKeyGRGN}, {"PLNE", kKeyPLNE}, {"ENDF", kKeyENDF}, {"QUAD", kKeyQUAD},
    {"TET4", kKeyTET4}, {"STLR", kKeySTLR}, {"BLOB", kKeyBLOB}, {"WEDG", kKeyWEDG},
    {"INTE", kKeyINTE},
}};

// Keywords placed before the others so that all fit within two probes.
constexpr std::array<int, 4> kPlacedFirst = {kKeyCOLR, kKeyCIPT, kKeyINTE, kKeyBLOB};

constexpr int kProbeLimit = 2;
constexpr int kNoKeyword = -1;

using SlotTable = std::array<int, 256>;

constexpr std::uint8_t SlotOf(std::string_view word) {
    std::uint32_t hash = 0;
    for (char byte : word) hash = hash * 33u + static_cast<std::uint8_t>(byte);
    return static_cast<std::uint8_t>(hash);
}

constexpr std::uint8_t StepBack(std::uint8_t slot, std::string_view word) {
    return static_cast<std::uint8_t>(slot - static_cast<std::uint8_t>(word.front()));
}

constexpr char UpperCase(char byte) {
    return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
}

constexpr bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;
    for (std::size_t n = 0; n < a.size(); ++n) {
        if (UpperCase(a[n]) != UpperCase(b[n])) return false;
    }
    return true;
}

constexpr int IndexOfCode(int code) {
    for (std::size_t n = 0; n < kKeywords.size(); ++n) {
        if (kKeywords[n].code == code) return static_cast<int>(n);
    }
    return kNoKeyword;
}

// Puts one keyword on the first free slot of its probe sequence; false when
// the probes are used up.
constexpr bool Place(SlotTable& table, int index) {
    std::string_view word = kKeywords[static_cast<std::size_t>(index)].word;
    std::uint8_t slot = SlotOf(word);
    for (int probe = 0; probe < kProbeLimit; ++probe) {
        if (table[slot] == kNoKeyword) {
            table[slot] = index;
            return true;
        }
        slot = StepBack(slot, word);
    }
    return false;
}

constexpr bool IsPlacedFirst(int code) {
    for (int first : kPlacedFirst) {
        if (first == code) return true;
    }
    return false;
}

// The table, or one with every slot empty when a keyword did not fit.
constexpr SlotTable BuildTable() {
    SlotTable table{};
    table.fill(kNoKeyword);
    bool fits = true;
    for (int code : kPlacedFirst) fits = fits && Place(table, IndexOfCode(code));
    for (std::size_t n = 0; n < kKeywords.size(); ++n) {
        if (!IsPlacedFirst(kKeywords[n].code)) fits = fits && Place(table, static_cast<int>(n));
    }
    if (!fits) table.fill(kNoKeyword);
    return table;
}

constexpr SlotTable kTable = BuildTable();

constexpr int Lookup(std::string_view word) {
    if (word.size() != kKeywordLength) return 0;
    std::uint8_t slot = SlotOf(word);
    for (int probe = 0; probe < kProbeLimit; ++probe) {
        const int index = kTable[slot];
        if (index == kNoKeyword) return 0;
        const Keyword& keyword = kKeywords[static_cast<std::size_t>(index)];
        if (SameWord(keyword.word, word)) return keyword.code;
        slot = StepBack(slot, word);
    }
    return 0;
}

// The four bytes of each slot's keyword as one number (0 for an empty
// slot), so that a keyword written as in the table is found with one
// comparison per probe.
constexpr std::uint32_t PackWord(std::string_view word) {
    std::uint32_t packed = 0;
    for (std::size_t n = kKeywordLength; n-- > 0;) {
        packed = (packed << 8) | static_cast<std::uint8_t>(word[n]);
    }
    return packed;
}

constexpr std::array<std::uint32_t, 256> BuildPackedWords() {
    std::array<std::uint32_t, 256> packed{};
    for (std::size_t slot = 0; slot < kTable.size(); ++slot) {
        if (kTable[slot] != kNoKeyword) {
            packed[slot] = PackWord(kKeywords[static_cast<std::size_t>(kTable[slot])].word);
        }
    }
    return packed;
}

constexpr std::array<std::uint32_t, 256> kPackedWords = BuildPackedWords();

// The keyword of a 4-byte word spelt exactly as in the table, or 0.
inline int LookupExact(std::string_view word) {
    std::uint32_t packed;
    std::memcpy(&packed, word.data(), sizeof packed);
    if constexpr (std::endian::native == std::endian::big) packed = __builtin_bswap32(packed);
    std::uint8_t slot = SlotOf(word);
    for (int probe = 0; probe < kProbeLimit; ++probe) {
        // An empty slot packs as zero, which a word of four zero bytes
        // would otherwise match.
        if (kPackedWords[slot] == packed && kTable[slot] != kNoKeyword)
            return kKeywords[static_cast<std::size_t>(kTable[slot])].code;
        slot = StepBack(slot, word);
    }
    return 0;
}

constexpr bool EveryKeywordFound() {
    for (const Keyword& keyword : kKeywords) {
        if (Lookup(keyword.word) != keyword.code) return false;
    }
    return true;
}
static_assert(EveryKeywordFound(), "every keyword is found within the probe limit");

// The old codes and the keywords they stand for.
struct OldForm {
    int old_code;
    int code;
    // The remapping applies up to and including this UDM version.
    int last_version;
};
constexpr std::array<OldForm, 3> kOldForms = {{
    {kKeyLYEROld, kKeyLYER, 3},
    {kKeyNDBCOld, kKeyNDBC, 0},
    {kKeySUBCOld, kKeySUBC, 0},
}};

}  // namespace

std::uint8_t KeywordSlot(std::string_view word) {
    return SlotOf(word);
}

int LookupKeyword(std::string_view word) {
    return Lookup(word);
}

int RecognizeKeyword(std::string_view word, int udm_version) {
    if (word.size() < kKeywordLength) return 0;
    word = word.substr(0, kKeywordLength);
    int code = LookupExact(word);
    if (code == 0) code = Lookup(word);
    if (code == kKeyLYER || code == kKeyNDBC || code == kKeySUBC) {
        for (const OldForm& form : kOldForms) {
            if (form.code == code && udm_version <= form.last_version) return form.old_code;
        }
    }
    return code;
}

const char* KeywordText(int code) {
    for (const OldForm& form : kOldForms) {
        if (form.old_code == code) code = form.code;
    }
    const int index = IndexOfCode(code);
    return index == kNoKeyword ? nullptr : kKeywords[static_cast<std::size_t>(index)].word;
}

}  // namespace tarnvel::udm
