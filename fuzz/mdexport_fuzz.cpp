// Drives the grade export over arbitrary grades: items of any property
// number, form, variables and values (raw 32-bit words, so NaN, infinities
// and integer words come up), and texts of any bytes. The grade is
// unpacked, its models chosen, its report and keyword lines composed, and
// the lines read back by the keyword file reader. Whatever the grade,
// nothing crashes, no keyword line is longer than the reader takes, and no
// value is written as "nan" or "inf".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "matdb/md_export.h"
#include "matdb/md_export_unpack.h"
#include "matdb/md_report.h"
#include "material/asc_reader.h"
#include "services/vtout.h"

namespace {

using tarnvel::fuzzing::Input;
using tarnvel::fuzzing::Require;

using namespace tarnvel::matdb;

constexpr int kFormats[] = {
    MD_SINGLE_POINT, MD_STANDARD_POINTS, MD_COEFFICIENTS, MD_TEXT, MD_TEXT_QUOTED, 7, 0, -1};

MdProperty Item(Input& in) {
    MdProperty item;
    item.property = in.byte() % 112;
    const std::uint8_t shape = in.byte();
    item.format = kFormats[shape % 8];
    item.inherited = (shape >> 3) & 1;
    item.model = static_cast<std::int8_t>(in.byte());
    const int variables = in.byte() % 4;
    for (int i = 0; i < variables; ++i) item.variables.push_back(in.byte() % 15);
    if (item.format == MD_TEXT || item.format == MD_TEXT_QUOTED) {
        const std::size_t length = in.byte() * 2u;
        for (std::size_t i = 0; i < length && in.more(); ++i) {
            item.text += static_cast<char>(in.byte());
        }
        return item;
    }
    const std::size_t count = in.byte();
    for (std::size_t i = 0; i < count && in.more(); ++i) item.values.push_back(MdWord{in.word()});
    return item;
}

// Every line ends in a line feed, fits the reader's line limit, and holds
// no value the E12.6 form could not show.
void CheckLines(const std::string& text) {
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        Require(end != std::string_view::npos);
        Require(end < 1023);
        rest.remove_prefix(end + 1);
    }
}

bool Silence() {
    vtOutSetSink(vtOutDiscard);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = Silence();
    (void)silenced;
    Input in{data, size};
    MdGrade grade;
    grade.supplier = "FUZZ";
    grade.code = "G1";
    grade.description = "FUZZED GRADE";
    while (in.more() && grade.items.size() < 64) grade.items.push_back(Item(in));

    const MdExportSlots slots = md_export_unpack(grade);
    const MdModelChoice chosen =
        md_export_choose_models(slots, md_model_preferences(nullptr, nullptr, nullptr));
    Require(chosen.viscosity >= 0 && chosen.viscosity <= 6);
    Require(chosen.pvt >= 0 && chosen.pvt <= 4);
    Require(chosen.shrinkage >= 0 && chosen.shrinkage <= 2);
    (void)md_report_text(grade, "Local", chosen.viscosity);

    MdExportOptions options;
    options.supplier = grade.supplier;
    options.grade = grade.code;
    const std::string lines = md_export_lines(grade, slots, options);
    CheckLines(lines);
    Require(tarnvel::material::MAscReader().ReadText(lines, "/dev/null") != nullptr);
    // Texts carry arbitrary bytes; without them every letter sequence
    // "nan" or "inf" would be a value that is no data.
    for (const MdProperty& item : grade.items) {
        if (item.format == MD_TEXT || item.format == MD_TEXT_QUOTED) return 0;
    }
    Require(lines.find("nan") == std::string::npos && lines.find("inf") == std::string::npos);
    return 0;
}
