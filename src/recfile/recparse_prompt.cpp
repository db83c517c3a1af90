// Reading lines and numbers from a unit, and the small terminal dialogue.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "recfile/recfile.h"
#include "recfile/recparse.h"
#include "recfile/rf_text.h"
#include "recfile/rf_units.h"

namespace rf = tarnvel::recfile;

namespace {

constexpr int kEndOfInput = -1;
constexpr int kReadError = -2;
constexpr int kTerminalWidth = 80;
constexpr int kQuestionWidth = 70;
constexpr int kMaxNumbers = 20;
constexpr int kMaxFields = 30;
constexpr int kNumberLine = 256;

void Say(int level, std::string_view text) {
    if (std::abs(level) < 9) WRTMSG(text);
}

void Ask(std::string_view text) {
    if (rfSettings().screen_mode == 0) rf::rfWriteRecord(rfSettings().screen_unit, text);
}

std::string Used(std::string_view field) {
    return std::string(rf::rfUsedPart(field));
}

std::string Upper(std::string text) {
    UPCASE(text, static_cast<int>(text.size()));
    return text;
}

// Reads an answer; end of input gives an empty answer and is remembered.
std::string ReadAnswer(int unit, bool* ended, bool* failed) {
    std::vector<char> buffer(kTerminalWidth);
    int length = 0;
    const int status = RDLINE(unit, &length, buffer);
    *ended = status == kEndOfInput;
    *failed = status == kReadError;
    return status > 0 ? Used(std::string_view(buffer.data(), status)) : std::string();
}

void AskMenu(std::string_view prompt, std::string_view items, std::string_view def) {
    std::string line = Used(prompt).empty() ? "Select " : Used(prompt) + " ";
    const std::string with_items = line + "(" + Used(items) + ") ";
    const std::string default_text = def.empty() ? "" : "<default=" + std::string(def) + "> ";
    if (with_items.size() + default_text.size() + 2 <= kQuestionWidth) {
        Ask(with_items + default_text + ": ");
        return;
    }
    Ask(with_items);
    Ask(line + (def.empty() ? "" : std::string("<").append(def).append("> ")) + ": ");
}

}  // namespace

int RDLINE(int unit, int* length, std::span<char> buffer) {
    std::string record;
    const int status = rf::rfReadRecord(std::abs(unit), &record);
    if (status != rf::kRfOk) {
        *length = status < 0 ? kEndOfInput : kReadError;
        return *length;
    }
    const bool terminal = unit == rf::kStandardInput;
    if (terminal && static_cast<int>(record.size()) > kTerminalWidth) {
        WRTMSG(" *****TOO MANY CHARACTERS, POSSIBLE ERRORS MAY OCCUR RE-ENTER");
    }
    for (char& c : record) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f) c = ' ';
    }
    // "STOP" ends the program only when typed at the terminal.
    if (terminal && (record.starts_with("STOP") || record.starts_with("stop"))) STOPRG("READ");
    rf::rfAssign(buffer, record);
    *length =
        LSTNB(std::string_view(buffer.data(), buffer.size()), 1, static_cast<int>(buffer.size()));
    return *length;
}

int RDNUMS(int unit, int* value_count, int* line_status, std::span<char> text,
           std::span<float> values) {
    rf::rfAssign(text, "");
    std::fill(values.begin(), values.begin() + std::min<std::size_t>(values.size(), kMaxNumbers),
              0.0f);
    *value_count = 0;
    std::vector<char> line(kNumberLine);
    int length = 0;
    *line_status = RDLINE(unit, &length, line);
    if (*line_status <= 0) return 0;
    rf::rfAssign(text, std::string_view(line.data(), length));
    constexpr int kField = 80;
    std::vector<char> words(kMaxFields * kField);
    std::vector<int> lengths(kMaxFields);
    int status = 0;
    const int fields = BRKWOR(std::string_view(line.data(), length), 0, " ,", words, lengths,
                              kField, kMaxFields, 900, &status);
    int non_numbers = 0;
    const int room = std::min<int>(kMaxNumbers, static_cast<int>(values.size()));
    for (int i = 0; i < fields; ++i) {
        int error = 0;
        const float value = RDREAL(std::string_view(words.data() + i * kField, kField), &error);
        if (error != 0) {
            ++non_numbers;
            continue;
        }
        if (*value_count == room) {
            WRTMSG("*****TOO MANY NUMBERS, ONLY 20 ACCEPTED");
            break;
        }
        values[(*value_count)++] = value;
    }
    *line_status = non_numbers;
    return std::min<int>(length, static_cast<int>(text.size()));
}

int RDMENU(int unit, std::string_view prompt, std::string_view items, std::string_view default_item,
           int repeat, int levels, int* status) {
    const RfLevels level = rfDecodeLevels(levels);
    *status = -9;
    constexpr int kItemField = 80, kMaxItems = 40;
    std::vector<char> words(kMaxItems * kItemField);
    std::vector<int> lengths(kMaxItems);
    int split_status = 0;
    const std::string upper_items = Upper(Used(items));
    const int count = upper_items.empty() ? 0
                                          : BRKWOR(upper_items, 0, " ,", words, lengths, kItemField,
                                                   kMaxItems, 900, &split_status);
    if (count == 0 || split_status != 0) {
        Say(level.first, "ERROR-RDMENU-1, invalid menu, contact Vantorel");
        if (level.first >= 0) *status = -1;
        return 0;
    }
    const std::string def = Used(default_item);
    for (;;) {
        AskMenu(prompt, items, def);
        bool ended = false, failed = false;
        std::string answer = Upper(ReadAnswer(unit, &ended, &failed));
        bool valid = !failed;
        if (valid && answer.empty()) {
            if (def.empty()) {
                *status = -3;
                valid = false;
            }
            answer = Upper(def);
        }
        if (valid) {
            std::vector<int> matches(kMaxItems);
            int match_count = 0, match = 0;
            if (LOOKUP(std::string_view(words.data(), words.size()), kItemField, count, answer,
                       static_cast<int>(answer.size()), matches, &match_count, &match) != 0) {
                *status = 0;
                return match;
            }
            if (match_count > 1) *status = -1;
        }
        Say(level.second, "Invalid entry.");
        // At the end of the input a repeated question would never be answered.
        if (ended || repeat % 2 == 0 || repeat == -1) {
            if (*status == -9 || *status == 0) *status = -2;
            return 0;
        }
    }
}

int YESNO(int unit, std::string_view question, std::string_view default_answer, int repeat,
          int levels, int* status) {
    const std::string given = Used(default_answer);
    std::string def;
    if (!given.empty() && (given[0] == 'Y' || given[0] == 'y')) def = "Yes";
    if (!given.empty() && (given[0] == 'N' || given[0] == 'n')) def = "No";
    return RDMENU(unit, question, "Yes No", def, repeat == 1 ? 1 : 0, levels, status) == 1 ? -1 : 0;
}

[[noreturn]] void STOPRG(std::string_view text) {
    WRTMSG("STOP " + std::string(text));
    rfSettings().message_unit = kRfNone;
    rfSettings().text_output_unit = kRfNone;
    rf::rfCloseAll();
    std::fflush(stdout);
    std::exit(1);
}
