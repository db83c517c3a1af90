// The UDM writer: the text layout of title, globals, summary and property
// sets, the packed output, and what happens when the file cannot be
// written.
#include <regex>
#include <string>
#include <vector>

#include "services/libvxenv.h"
#include "udm/udm_stream.h"
#include "udm_test_support.h"

using udm_test::Lines;
using udm_test::MakeSet;
using udm_test::ModelTest;
using udm_test::ReadFile;
using udm_test::ScratchDir;

namespace {

class WriterTest : public ModelTest {
  protected:
    // Writes the current model and returns the file's bytes.
    std::string Write(int mode) {
        const std::string path = dir_.File("model.udm");
        EXPECT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
        return ReadFile(path);
    }
    // The model of the text example: UDMW/TYPE "21000" and one set of type
    // 21000 with code 1992.
    void BuildExample() {
        udm_global_set("UDMW", "TYPE", "21000");
        UdmTset* tset = MakeSet(21000, 0, "PA 66");
        UdmTcod* tcod = udm_tset_code(tset, 1992, 1);
        udm_tcod_set_description(tcod, "Not Available");
        const double values[] = {1.0, 2.0};
        udm_tcod_set_values(tcod, 2, values);
    }
    ScratchDir dir_;
};

std::string BuildVersion() {
    return std::string(buildGetRelease(nullptr)) + ":" + buildGetNumber(nullptr);
}

// The lines of a text write from the summary comment to the SUMR block,
// for the given NOTS count.
std::vector<std::string> SummaryLines(int sets) {
    std::vector<std::string> lines = {
        "//  Beginning of summary data set : ",
        "//  Summary of the number of entities present.",
        "//  SUMR{NOCL{NUMBER_OF_COLORS} NOLY{NUMBER_OF_LAYERS} ",
        "//  NOTS{NUMBER_OF_TCODE_SETS} NOVW{NUMBER_OF_VIEWS} ",
        "//  NOND{NUMBER_OF_NODES} NOTX{NUMBER_OF_TEXTS} ",
        "//  NO1D{NUMBER_OF_1D_ELEMENTS} NOT3{NUMBER_OF_TRI3_ELEMENTS} ",
        "//  NOCV{NUMBER_OF_CURVES} NOSF{NUMBER_OF_SURFACES} ",
        "//  NORG{NUMBER_OF_REGIONS} NONB{NUMBER_OF_NODE_BOUNDARY_CONDITIONS} ",
        "//  NOSB{NUMBER_OF_SURFACE_BOUNDARY_CONDITIONS} ",
        "//  NOCP{NUMBER_OF_CUTTING_PLANES} ",
        "//  NOLC{NUMBER_OF_LOCAL_COORDINATE_SYSTEMS} ",
        "//  NOT4{NUMBER_OF_TET4_ELEMENTS} ",
        "//  NOSR{NUMBER_OF_STL_REGIONS} ",
        "//  NOBL{NUMBER_OF_BLOBS} ",
        "//  NOWD{NUMBER_OF_WEDGE_ELEMENTS} ",
        "//  NOIE{NUMBER_OF_INTERFACE_ELEMENTS}} ",
        "SUMR{",
    };
    const char* counters[] = {"NOCL", "NOLY", "NOTS", "NOVW", "NOND", "NOTX", "NO1D",
                              "NOT3", "NOCV", "NOSF", "NORG", "NONB", "NOSB", "NOCP",
                              "NOLC", "NOT4", "NOSR", "NOBL", "NOWD", "NOIE"};
    for (const char* counter : counters) {
        const int count = std::string(counter) == "NOTS" ? sets : 0;
        lines.push_back("  " + std::string(counter) + "{" + std::to_string(count) + "}");
    }
    lines.back() += "}";
    return lines;
}

// The title and global lines of a text write, KEYW, DATE and TIME as
// patterns, with the given extra global lines after LUDM.
std::vector<std::string> HeadPatterns(const std::vector<std::string>& extra_globals) {
    std::vector<std::string> lines = {
        "//  VANTOREL UDM FILE\\.",
        "//  Beginning of title data set\\.",
        "//  TITL\\{NAME\\{FILE_DESCRIPTION\\} VRSN\\{VANTOREL_TOOL_VERSION\\} ",
        "//  KEYW\\{UNIQUE_KEYWORD\\} DATE\\{DATE\\} TIME\\{TIME\\} UDMV\\{UDM_VERSION\\}\\}",
        "TITL\\{",
        "  NAME\\{\"Untitled\"\\}",
        "  VRSN\\{\"VANTOREL\"\\}",
        "  KEYW\\{\"([0-9]|[1-9][0-9]{1,3}|[1-2][0-9]{4}|3[0-2][0-9]{3})\"\\}",
        "  DATE\\{\"(JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC)-[0-3][0-9]-[0-9]{4}\"\\}",
        "  TIME\\{\"[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\"\\}",
        "  UDMV\\{\"UDM V4\"\\} // Do not change the UDMV keyword\\.",
        "\\}",
        "//  Beginning of global data set : VANTOREL application keywords storage\\.",
        "GLBL\\{",
        "  LUDM\\{",
        "    \"Version\" \"" +
            std::regex_replace(BuildVersion(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
            "\"\\}" + (extra_globals.empty() ? "\\}" : ""),
    };
    lines.insert(lines.end(), extra_globals.begin(), extra_globals.end());
    return lines;
}

void ExpectLines(const std::vector<std::string>& actual, std::size_t first,
                 const std::vector<std::string>& expected, bool patterns) {
    ASSERT_GE(actual.size(), first + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string& line = actual[first + i];
        if (patterns) {
            EXPECT_TRUE(std::regex_match(line, std::regex(expected[i])))
                << "line " << first + i + 1 << ": " << line << "\n   pattern: " << expected[i];
        } else {
            EXPECT_EQ(line, expected[i]) << "line " << first + i + 1;
        }
    }
}

}  // namespace

// ---- Text layout -------------------------------------------------------------------

TEST_F(WriterTest, TheExamplePropertyFileIsWrittenLineByLine) {
    BuildExample();
    const std::string text = Write(UDM_MODE_TEXT);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find('\r'), std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 61u) << text;

    ExpectLines(lines, 0, HeadPatterns({"  UDMW\\{", "    \"TYPE\" \"21000\"\\}\\}"}), true);
    ExpectLines(lines, 18, SummaryLines(1), false);
    ExpectLines(lines, 55,
                {
                    "//  Beginning of tset data set.",
                    "//  TSET{TYPE LABEL DESCRIPTION TCOD{TYPE DESCRIPTION VALUES}}",
                    "TSET{21000 1 \"PA 66\"",
                    "  TCOD{1992 \"Not Available\"",
                    "    1.000000e+00 2.000000e+00}}",
                    "ENDF",
                },
                false);
}

TEST_F(WriterTest, AModelWithoutSetsWritesTitleGlobalsSummaryAndEnd) {
    const std::vector<std::string> lines = Lines(Write(UDM_MODE_TEXT));
    ASSERT_EQ(lines.size(), 16u + 37u + 1u);
    ExpectLines(lines, 0, HeadPatterns({}), true);
    ExpectLines(lines, 16, SummaryLines(0), false);
    EXPECT_EQ(lines.back(), "ENDF");
}

TEST_F(WriterTest, WritingStoresVersionTitleTimesAndVersionNumber) {
    udm_set_file_version("UDM V2");
    Write(UDM_MODE_TEXT);
    EXPECT_EQ(udm_file_version(), 4);
    const char* version = nullptr;
    ASSERT_EQ(udm_global_get("LUDM", "Version", &version), UDM_OK);
    EXPECT_EQ(version, BuildVersion());
    EXPECT_STRNE(udm_title_text(UDM_TITLE_DATE), "DEC-31-1996");
    EXPECT_STRNE(udm_title_text(UDM_TITLE_KEYW), "1234567890");
}

TEST_F(WriterTest, TcodValuesAreWrittenFiveToALine) {
    UdmTset* tset = MakeSet(21000, 0, nullptr, {7}, {1, 2, 3, 4, 5, 6, 7});
    udm_tset_code(tset, 8, 1);
    const double ten[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0.25};
    udm_tcod_set_values(udm_tset_code(tset, 9, 1), 10, ten);
    const std::vector<std::string> lines = Lines(Write(UDM_MODE_TEXT));
    const std::vector<std::string> expected = {
        "TSET{21000 1 \"\"",
        "  TCOD{7 \"\"",
        "    1.000000e+00 2.000000e+00 3.000000e+00 4.000000e+00 5.000000e+00",
        "    6.000000e+00 7.000000e+00}",
        "  TCOD{8 \"\"}",
        "  TCOD{9 \"\"",
        "    0.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00",
        "    0.000000e+00 0.000000e+00 0.000000e+00 0.000000e+00 2.500000e-01}}",
        "ENDF",
    };
    ExpectLines(lines, lines.size() - expected.size(), expected, false);
}

TEST_F(WriterTest, QuotesAndBackslashesInTextsAreEscaped) {
    UdmTset* tset = MakeSet(21000, 0, R"(say "hi" \ bye\)", {1});
    udm_tcod_set_description(udm_tset_code(tset, 1, 0), "a\"b");
    udm_global_set("UDMW", "K\\", "v\"");
    const std::string text = Write(UDM_MODE_TEXT);
    EXPECT_NE(text.find(R"(TSET{21000 1 "say \"hi\" \\ bye\\")"), std::string::npos);
    EXPECT_NE(text.find(R"(TCOD{1 "a\"b"})"), std::string::npos);
    EXPECT_NE(text.find(R"(    "K\\" "v\"")"), std::string::npos);
}

TEST_F(WriterTest, SetsAreWrittenInTypeAndLabelOrder) {
    MakeSet(21000, 2, "b");
    MakeSet(20000, 5, "c");
    MakeSet(21000, 1, "a");
    const std::string text = Write(UDM_MODE_TEXT);
    const std::size_t c = text.find("TSET{20000 5 \"c\"");
    const std::size_t a = text.find("TSET{21000 1 \"a\"");
    const std::size_t b = text.find("TSET{21000 2 \"b\"");
    ASSERT_NE(c, std::string::npos);
    EXPECT_LT(c, a);
    EXPECT_LT(a, b);
}

TEST_F(WriterTest, RepeatedWritesDifferOnlyInTitleTimes) {
    BuildExample();
    const std::regex times(R"((KEYW|DATE|TIME)\{"[^"]*"\})");
    std::vector<std::string> keywords;
    std::string first_rest;
    for (int i = 0; i < 4; ++i) {
        const std::string text = Write(UDM_MODE_TEXT);
        keywords.push_back(udm_title_text(UDM_TITLE_KEYW));
        const std::string rest = std::regex_replace(text, times, "$1{}");
        if (i == 0) first_rest = rest;
        EXPECT_EQ(rest, first_rest);
    }
    // Four draws of 32768 values seeded from a clock in nanoseconds.
    EXPECT_FALSE(keywords[0] == keywords[1] && keywords[1] == keywords[2] &&
                 keywords[2] == keywords[3]);
}

// ---- Packed output ------------------------------------------------------------------

namespace {

// The tokens of a packed file as text: keywords and strings by their text,
// numbers by value, braces as { and }.
std::vector<std::string> PackedTokens(const std::string& bytes) {
    std::vector<std::string> tokens;
    int encoding = 0;
    UdmStream* stream = udm_stream_open_read_memory("packed", bytes, 0, &encoding);
    EXPECT_EQ(encoding, 8);
    if (stream == nullptr) return tokens;
    UdmToken token;
    while (udm_stream_get(stream, &token) != UDM_TOKEN_END) {
        switch (token.code) {
            case UDM_TOKEN_OPEN:
                tokens.push_back("{");
                break;
            case UDM_TOKEN_CLOSE:
                tokens.push_back("}");
                break;
            case UDM_TOKEN_INT32:
                tokens.push_back("i" + std::to_string(token.integer));
                break;
            case UDM_TOKEN_DOUBLE:
                tokens.push_back("d" + std::to_string(token.real));
                break;
            case UDM_TOKEN_WORD:
                tokens.push_back(std::string(token.text));
                break;
            case UDM_TOKEN_STRING:
                tokens.push_back("\"" + std::string(token.text) + "\"");
                break;
            default:
                tokens.push_back("?" + std::to_string(token.code));
        }
    }
    EXPECT_EQ(udm_stream_close(stream), 0);
    return tokens;
}

}  // namespace

TEST_F(WriterTest, PackedOutputHoldsTheTokensWithoutLayoutCommentsOrSummary) {
    BuildExample();
    const std::string bytes = Write(UDM_MODE_PACKED);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes.substr(0, 10), std::string("\x1C\x8B\x08\0\0\0\0\0\0\0", 10));
    std::vector<std::string> tokens = PackedTokens(bytes);
    ASSERT_GT(tokens.size(), 20u);
    // The values of KEYW, DATE and TIME change with every write.
    tokens[12] = tokens[16] = tokens[20] = "\"*\"";
    const std::vector<std::string> expected = {"TITL",
                                               "{",
                                               "NAME",
                                               "{",
                                               "\"Untitled\"",
                                               "}",
                                               "VRSN",
                                               "{",
                                               "\"VANTOREL\"",
                                               "}",
                                               "KEYW",
                                               "{",
                                               "\"*\"",
                                               "}",
                                               "DATE",
                                               "{",
                                               "\"*\"",
                                               "}",
                                               "TIME",
                                               "{",
                                               "\"*\"",
                                               "}",
                                               "UDMV",
                                               "{",
                                               "\"UDM V4\"",
                                               "}",
                                               "}",
                                               "GLBL",
                                               "{",
                                               "LUDM",
                                               "{",
                                               "\"Version\"",
                                               "\"" + BuildVersion() + "\"",
                                               "}",
                                               "UDMW",
                                               "{",
                                               "\"TYPE\"",
                                               "\"21000\"",
                                               "}",
                                               "}",
                                               "TSET",
                                               "{",
                                               "i21000",
                                               "i1",
                                               "\"PA 66\"",
                                               "TCOD",
                                               "{",
                                               "i1992",
                                               "\"Not Available\"",
                                               "d1.000000",
                                               "d2.000000",
                                               "}",
                                               "}",
                                               "ENDF"};
    EXPECT_EQ(tokens, expected);
    EXPECT_EQ(udm_model_current(), model_);
}

TEST_F(WriterTest, SaveWritesInTheEncodingTheModelWasOpenedFor) {
    UdmModel* packed = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, UDM_MODE_PACKED, &packed), UDM_OK);
    EXPECT_EQ(Write(UDM_MODE_AS_LOADED).substr(0, 1), "\x1C");
    udm_model_destroy(&packed);
    udm_model_select(model_);
    EXPECT_EQ(Write(UDM_MODE_AS_LOADED).substr(0, 4), "//  ");
    // A packed write leaves no compact flag behind for the next text write.
    Write(UDM_MODE_PACKED);
    EXPECT_EQ(Write(UDM_MODE_TEXT).substr(0, 4), "//  ");
}

// ---- Failures ------------------------------------------------------------------------

TEST_F(WriterTest, NothingIsWrittenWithoutAPathOrAModel) {
    EXPECT_EQ(udm_model_write(nullptr, UDM_MODE_TEXT), UDM_OK);
    udm_model_select(nullptr);
    const std::string path = dir_.File("none.udm");
    EXPECT_EQ(udm_model_write(path.c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(udm_model_write_file(stdout, "stdout", UDM_MODE_TEXT), UDM_OK);
}

TEST_F(WriterTest, AFileThatCannotBeCreatedOrWrittenIsReported) {
    EXPECT_EQ(udm_model_write(dir_.File("missing/dir/x.udm").c_str(), UDM_MODE_TEXT),
              UDM_CANNOT_CREATE);
    EXPECT_EQ(udm_model_write_packed(dir_.File("missing/dir/x.udb").c_str()), UDM_CANNOT_CREATE);
    EXPECT_EQ(udm_model_write_file(nullptr, "x", UDM_MODE_TEXT), UDM_CANNOT_CREATE);
    if (std::filesystem::exists("/dev/full")) {
        // Enough sets that the stream's buffers reach the device.
        for (int i = 0; i < 200; ++i) MakeSet(21000, 0, "a set", {1, 2, 3}, {1.0, 2.0});
        EXPECT_EQ(udm_model_write("/dev/full", UDM_MODE_TEXT), UDM_CANNOT_CREATE);
        EXPECT_EQ(udm_model_write_packed("/dev/full"), UDM_CANNOT_CREATE);
        EXPECT_EQ(udm_model_current(), model_);
    }
}

TEST(WriterPrimitives, LayoutTokensAreDroppedInCompactOutputOnly) {
    std::string text;
    UdmStream* stream = udm_stream_open_write_memory("mem", 1, &text);
    ASSERT_NE(stream, nullptr);
    udm_model_select(nullptr);
    udm_put_comment(stream, "//c");
    udm_put_blanks(stream, 2);
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, 0);
    udm_put_newlines(stream, -1);
    udm_put_comment(stream, nullptr);
    udm_put_keyword(stream, "TCODX");
    udm_put_string(stream, nullptr);
    udm_put_int16(stream, 0x12345);
    udm_put_blanks(stream, 1);
    udm_put_int8(stream, 300);
    udm_put_bool(stream, 5);
    udm_put_bool(stream, 0);
    udm_stream_close(stream);
    EXPECT_EQ(text, "//c  \nTCOD\"\"9029 4410");
}

// ---- Reading back -----------------------------------------------------------------------

namespace {

// The sets of the current model as "type label description: code text
// values..." lines.
std::vector<std::string> SetDump() {
    std::vector<std::string> dump;
    for (void* e = udm_entity_first(UDM_CLASS_TSET, 0); e != nullptr;
         e = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(e), udm_entity_label(e))) {
        const auto* tset = static_cast<const UdmTset*>(e);
        std::string line = std::to_string(udm_entity_type(e)) + " " +
                           std::to_string(udm_entity_label(e)) + " " +
                           (tset->description == nullptr ? "" : tset->description) + ":";
        for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
            line.append(" ").append(std::to_string(tcod->code)).append(" [");
            line.append(tcod->description == nullptr ? "" : tcod->description).append("]");
            for (int i = 0; i < tcod->count; ++i) {
                line.append(" ").append(std::to_string(tcod->values[i]));
            }
        }
        dump.push_back(line);
    }
    return dump;
}

}  // namespace

TEST_F(WriterTest, TextAndPackedFilesReadBackIntoEqualModels) {
    BuildExample();
    MakeSet(20000, 3, R"(quote " and \ backslash)", {5, 6}, {-1.5, 1e300, 0.1});
    const std::vector<std::string> original = SetDump();
    for (int mode : {UDM_MODE_TEXT, UDM_MODE_PACKED}) {
        const std::string path = dir_.File(mode == UDM_MODE_TEXT ? "a.udm" : "a.udb");
        ASSERT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
        UdmModel* copy = nullptr;
        ASSERT_EQ(udm_model_open(path.c_str(), UDM_MODE_AS_LOADED, &copy), UDM_OK) << mode;
        EXPECT_EQ(SetDump(), original) << mode;
        const char* type = nullptr;
        EXPECT_EQ(udm_global_get("UDMW", "TYPE", &type), UDM_OK);
        EXPECT_STREQ(type, "21000");
        EXPECT_EQ(udm_file_version(), 4);
        udm_model_destroy(&copy);
        udm_model_select(model_);
    }
    UdmModel* refused = nullptr;
    EXPECT_EQ(udm_model_open(dir_.File("a.udb").c_str(), UDM_MODE_TEXT, &refused),
              UDM_BAD_ARGUMENT);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(udm_model_current(), model_);
}

TEST_F(WriterTest, APropertyFileOpensWithOnlyItsOwnTypeAndANameFromThePath) {
    udm_global_set("UDMW", "TYPE", "2.100000E+04");
    MakeSet(21000, 0, "kept", {1});
    MakeSet(20000, 0, "another type");
    // The '.' of the directory part "./" is not cut from the name.
    const std::string path = dir_.File("./grades.v2.udb");
    ASSERT_EQ(udm_model_write_packed(path.c_str()), UDM_OK);

    UdmModel* typed = udm_typed_open(path.c_str(), 7);
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(udm_model_current(), model_);
    EXPECT_EQ(udm_typed_type(typed), 21000);
    EXPECT_EQ(udm_typed_count(typed), 1);
    udm_model_select(typed);
    EXPECT_STREQ(udm_title_name(), dir_.File("./grades").c_str());
    EXPECT_EQ(SetDump(), (std::vector<std::string>{"21000 1 kept: 1 []"}));
    udm_model_select(model_);

    // Saved in the encoding it was loaded in, under title, type and "udb".
    ASSERT_EQ(udm_typed_save(typed, nullptr, UDM_MODE_AS_LOADED), UDM_OK);
    EXPECT_EQ(ReadFile(dir_.File("grades.21000.udb")).substr(0, 1), "\x1C");
    EXPECT_EQ(udm_typed_close(typed), UDM_OK);
    EXPECT_EQ(udm_model_current(), model_);
}

TEST_F(WriterTest, AFileWithoutAPositiveTypeIsNoPropertyFile) {
    MakeSet(21000, 0, "no type recorded");
    const std::string path = dir_.File("untyped.udm");
    ASSERT_EQ(udm_model_write(path.c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(udm_typed_open(path.c_str(), UDM_MODE_TEXT), nullptr);
    EXPECT_EQ(udm_model_current(), model_);
    // Read modes other than text or packed accept both.
    udm_global_set("UDMW", "TYPE", "21000");
    ASSERT_EQ(udm_model_write(path.c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(udm_typed_open(path.c_str(), UDM_MODE_PACKED), nullptr);
    UdmModel* typed = udm_typed_open(path.c_str(), 5);
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(udm_typed_close(typed), UDM_OK);
}
