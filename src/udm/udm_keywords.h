// The keyword recogniser of the UDM reader: the 45 four-letter keywords of
// the file format with their token codes, held in a 256-slot open-addressing
// table, and the remapping of three keywords in files of old UDM versions.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarnvel::udm {

// Keyword token codes. Codes 313, 314 and 317 are never in the table: they
// are NDBC, SUBC and LYER as read from files of old UDM versions.
enum KeywordCode : int {
    kKeyTITL = 273,
    kKeyNAME = 274,
    kKeyVRSN = 275,
    kKeyKEYW = 276,
    kKeyDATE = 277,
    kKeyTIME = 278,
    kKeyUDMV = 279,
    kKeySUMR = 280,
    kKeyGLBL = 281,
    kKeyCOLR = 282,
    kKeyLYER = 283,
    kKeyTSET = 284,
    kKeyVIEW = 285,
    kKeyNODE = 286,
    kKeyTEXT = 287,
    kKey1DET = 288,
    kKeyTRI3 = 289,
    kKeyCURV = 290,
    kKeySURF = 291,
    kKeyREGN = 292,
    kKeyNDBC = 293,
    kKeySUBC = 294,
    kKeyCTPL = 295,
    kKeyLOCS = 296,
    kKeyTCOD = 297,
    kKeyTRAN = 298,
    kKeyCIPT = 299,
    kKeyGCRV = 300,
    kKeySIPT = 301,
    kKeyICRV = 302,
    kKeyTSRF = 303,
    kKeyOTLP = 304,
    kKeyEDGE = 305,
    kKeyINLP = 306,
    kKeyGSRF = 307,
    kKeyRIPT = 308,
    kKeyGRGN = 309,
    kKeyPLNE = 310,
    kKeyENDF = 311,
    kKeyQUAD = 312,
    kKeyNDBCOld = 313,
    kKeySUBCOld = 314,
    kKeyTET4 = 315,
    kKeySTLR = 316,
    kKeyLYEROld = 317,
    kKeyBLOB = 318,
    kKeyWEDG = 319,
    kKeyINTE = 320,
};

// The lowest and highest keyword token codes.
inline constexpr int kFirstKeywordCode = kKeyTITL;
inline constexpr int kLastKeywordCode = kKeyINTE;
// Number of keywords in the table.
inline constexpr int kKeywordCount = 45;
// Keywords are four bytes long; longer words are cut to four before lookup.
inline constexpr std::size_t kKeywordLength = 4;

// One keyword of the table.
struct Keyword {
    const char* word;
    int code;
};

// The slot of a word in the 256-slot table: h = h * 33 + byte over the
// word as written (32-bit arithmetic), modulo 256.
std::uint8_t KeywordSlot(std::string_view word);

// The code of a four-byte word in the table (compared without regard to
// case, at most two probes), or 0.
int LookupKeyword(std::string_view word);

// The code of a word after keyword recognition: 0 for a word shorter than
// four bytes or not in the table; otherwise the code of its first four
// bytes, remapped by the file's UDM version (0 or less: LYER, NDBC and SUBC
// take their old codes; 1 to 3: LYER takes its old code).
int RecognizeKeyword(std::string_view word, int udm_version);

// The keyword's four letters ("NDBC" for the old NDBC code as well); null
// for a code that is no keyword.
const char* KeywordText(int code);

}  // namespace tarnvel::udm
