// Unit settings, text-field positions, close, environment lookup and the
// message routines.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "recfile/recfile.h"
#include "recfile/rf_text.h"
#include "recfile/rf_units.h"
#include "services/vtout.h"

namespace rf = tarnvel::recfile;

namespace {

constexpr int kMaxNameLength = 254;
constexpr int kMaxValueLength = 1023;

// The console output layer prints its lines through the message routine.
const bool kMessageRoutineInstalled = [] {
    vtOutSetMessageRoutine([](std::string_view line) { WRTMSG(line); });
    return true;
}();

std::string_view BeforeNul(std::string_view field) {
    return field.substr(0, field.find('\0'));
}

bool AboveBlank(char c) {
    return static_cast<unsigned char>(c) > ' ';
}

std::string_view UsedPart(std::string_view field) {
    return rf::rfUsedPart(field);
}

void Say(int level, std::string_view text) {
    if (std::abs(level) < 9) WRTMSG(text);
}

void DropSettingsOf(int unit) {
    RfSettings& settings = rfSettings();
    if (settings.message_unit == unit) settings.message_unit = kRfNone;
    if (settings.text_output_unit == unit) settings.text_output_unit = kRfNone;
}

bool FlushRequested() {
    static const bool requested = [] {
        const char* value = std::getenv("VTFLSH");
        if (value == nullptr) return false;
        const std::string_view text(value, std::min<std::size_t>(std::strlen(value), 255));
        return text.find("TRUE") != std::string_view::npos ||
               text.find("true") != std::string_view::npos ||
               text.find("True") != std::string_view::npos;
    }();
    return requested;
}

}  // namespace

RfSettings& rfSettings() {
    static RfSettings settings;
    (void)kMessageRoutineInstalled;
    return settings;
}

bool rfMessagesShown() {
    const RfSettings& settings = rfSettings();
    return settings.message_unit != kRfNone || settings.text_output_unit != kRfNone;
}

RfLevels rfDecodeLevels(int code) {
    const long long m = std::llabs(static_cast<long long>(code));
    RfLevels levels{static_cast<int>(m / 100 % 10), static_cast<int>(m / 10 % 10),
                    static_cast<int>(m % 10)};
    const long long signs = m / 1000 % 4;
    if (m / 4000 == 1) levels.first = -levels.first;
    if (signs / 2 == 1) levels.second = -levels.second;
    if (signs % 2 == 1) levels.third = -levels.third;
    return levels;
}

int LSTNB(std::string_view field, int start, int end) {
    const int bound = std::min(end, static_cast<int>(BeforeNul(field).size()));
    start = std::min(std::max(start, 1), std::max(bound, 1));
    for (int i = bound; i >= start; --i) {
        if (AboveBlank(field[i - 1])) return i;
    }
    return start - 1;
}

int FSTNB(std::string_view field, int start, int end) {
    const int bound = std::min(end, static_cast<int>(BeforeNul(field).size()));
    for (int i = std::max(start, 1); i <= bound; ++i) {
        if (field[i - 1] != ' ') return i;
    }
    return end;
}

int CLSFIL(int unit, char letter) {
    if (letter != ' ' && letter != '\0' && letter != 'K' && letter != 'D') return -1;
    const int status = rf::rfClose(unit, letter == 'D');
    DropSettingsOf(unit);
    return status;
}

void VTGVAR(int mode, std::string_view name, std::span<char> value, int* length, int levels,
            int* status) {
    const int level = rfDecodeLevels(levels).first;
    *length = 0;
    if (name.empty() || value.empty()) {
        Say(level, " ERROR-VTGVAR-1: Null strings passed, aborting");
        *status = -1;
        return;
    }
    std::string_view used = UsedPart(name);
    if (used.empty()) {
        Say(level, " VTGVAR-F-BADVAR, Invalid environment variable-Contact VANTOREL");
        *status = -30;
        return;
    }
    if (static_cast<int>(used.size()) > kMaxNameLength) {
        Say(level, "Truncation occurred");
        used = used.substr(0, kMaxNameLength);
    }
    const std::string variable(used);
    if (mode == 2) {
        Say(level, " ERROR-VTGVAR-667, No system defined!");
        *status = -667;
        return;
    }
    std::fill(value.begin(), value.end(), ' ');
    const char* found = std::getenv(variable.c_str());
    if (found == nullptr || *found == '\0') {
        Say(level, " Could not find environment variable " + variable);
        Say(level, " Check setup procedure and try again.");
        *status = -40;
        return;
    }
    std::string text(found);
    text.resize(LSTNB(text, 1, static_cast<int>(text.size())));
    if (mode == 1 && (text.empty() || text.back() != '/')) text += '/';
    // A value that does not fit is refused: a cut path would name another
    // place.
    if (text.size() > value.size() || text.size() > static_cast<std::size_t>(kMaxValueLength)) {
        Say(level, " ERROR-VTGVAR-2: Value of " + variable + " too long");
        *status = -1;
        return;
    }
    std::copy(text.begin(), text.end(), value.begin());
    *length = static_cast<int>(text.size());
    *status = 0;
}

void WRTMSG(std::string_view text) {
    text = BeforeNul(text);
    text = text.substr(0, LSTNB(text, 1, static_cast<int>(text.size())));
    if (text.empty()) text = " ";
    const RfSettings& settings = rfSettings();
    if (settings.message_unit != kRfNone) {
        if (settings.screen_mode == 0 || settings.screen_mode == -1) {
            rf::rfWriteRecord(settings.message_unit, text);
            FLSUNI(settings.screen_unit);
        } else if (settings.screen_mode == 2) {
            std::fputs("In win_textbf\n", stdout);
        }
    }
    if (settings.text_output_unit != kRfNone) WRTLIN(settings.text_output_unit, text);
}

void WRTLIN(int unit, std::string_view text) {
    text = BeforeNul(text);
    text = text.substr(0, LSTNB(text, 1, static_cast<int>(text.size())));
    rf::rfWriteRecord(unit, text.empty() ? " " : text);
}

void FLSUNI(int unit) {
    if (unit == rfSettings().screen_unit) {
        if (FlushRequested()) rf::rfFlush(rf::kStandardOutput);
        return;
    }
    const std::string name = rf::rfUnitName(unit);
    if (name.empty()) return;
    const int record_length = rf::rfRecordLength(unit);
    rf::rfClose(unit);
    if (OPNAPN(unit, name, 0, record_length, true) != 0) {
        // The unit is gone: no setting may point at it while the failure
        // is reported.
        DropSettingsOf(unit);
        WRTMSG("ERROR Unable to open the text output file");
    }
}
