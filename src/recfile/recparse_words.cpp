// Splitting into words, reading numbers, comparing reals, case conversion
// and keyword lookup.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "recfile/recfile.h"
#include "recfile/recparse.h"
#include "recfile/rf_text.h"

namespace {

constexpr std::size_t kMaxInput = 500;
constexpr int kMaxNumbers = 20;
constexpr int kNumberField = 80;
constexpr float kZeroMagnitude = 3e-38f;
constexpr float kToleranceFactor = 1.0172527e-5f;
constexpr float kSmallestTolerance = 1.1920929e-7f;

void Report(int level, std::string_view text, int code, int* status) {
    if (std::abs(level) < 9) WRTMSG(text);
    if (level >= 0) *status = code;
}

// Removes the quotes of quoted words, turning delimiters inside them into
// a stand-in that is restored in the stored word.
constexpr char kKeptDelimiter = '\x1f';

std::string ProtectQuoted(std::string_view input, std::string_view delimiters,
                          const RfLevels& level, int* status) {
    std::string text;
    int quotes = static_cast<int>(std::count(input.begin(), input.end(), '"'));
    if (quotes > 18) Report(level.first, "WARNING-BRKWOR-3, Too many quotes", -13, status);
    const bool uneven = quotes % 2 == 1;
    if (uneven) Report(level.first, "WARNING-BRKWOR-2, Uneven no. of quotes", -12, status);
    int seen = 0;
    bool inside = false;
    for (char c : input) {
        if (c == '"') {
            ++seen;
            if (!(uneven && seen == quotes) && seen <= 18) inside = !inside;
            continue;
        }
        text.push_back(inside && delimiters.find(c) != std::string_view::npos ? kKeptDelimiter : c);
    }
    return text;
}

}  // namespace

int BRKWOR(std::string_view input, int mode, std::string_view delimiters, std::span<char> words,
           std::span<int> lengths, int field_length, int max_words, int levels, int* status) {
    const RfLevels level = rfDecodeLevels(levels);
    *status = 0;
    input = input.substr(0, input.find('\0'));
    if (input.size() > kMaxInput) {
        Report(level.first, "WARNING-BRKWOR-4, Input string too long, truncating", -14, status);
        input = input.substr(0, kMaxInput);
    }
    std::string text(input);
    if (mode >= 2) {
        if (delimiters.find('"') != std::string_view::npos) {
            Report(level.first, "ERROR-BRKWOR-2, Illegal delimeter", -2, status);
            return 0;
        }
        text = ProtectQuoted(input, delimiters, level, status);
    }
    const auto is_delimiter = [&](char c) { return delimiters.find(c) != std::string_view::npos; };
    const std::size_t capacity =
        field_length > 0 ? std::min<std::size_t>(words.size() / field_length, lengths.size()) : 0;
    const int limit = std::min<int>(max_words, static_cast<int>(capacity));
    int count = 0;
    bool truncated = false;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_delimiter(text[i])) ++i;
        if (i == text.size()) break;
        std::size_t end = i;
        while (end < text.size() && !is_delimiter(text[end])) ++end;
        if (count >= limit) {
            Report(level.first, "ERROR-BRKWOR-1, Too many words", -1, status);
            return limit;
        }
        std::string word = text.substr(i, end - i);
        std::replace(word.begin(), word.end(), kKeptDelimiter, ' ');
        if (static_cast<int>(word.size()) > field_length) {
            word.resize(field_length);
            if (!truncated) Report(level.second, "WARNING-BRKWOR-1, Words truncated", -11, status);
            truncated = true;
        }
        tarnvel::recfile::rfAssign(words.subspan(count * field_length, field_length), word);
        lengths[count] = static_cast<int>(word.size());
        ++count;
        i = end;
    }
    return count;
}

int STRNUM(std::string_view delimiters, std::string_view input, int* non_numbers,
           std::span<float> values) {
    if (LSTNB(delimiters, 1, static_cast<int>(delimiters.size())) == 0) delimiters = " ,";
    constexpr int kMaxWords = 250;
    std::vector<char> words(kMaxWords * kNumberField);
    std::vector<int> lengths(kMaxWords);
    int status = 0;
    const int count =
        BRKWOR(input, 0, delimiters, words, lengths, kNumberField, kMaxWords, 0, &status);
    *non_numbers = 0;
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        int error = 0;
        const float value =
            RDREAL(std::string_view(words.data() + i * kNumberField, kNumberField), &error);
        if (error != 0) {
            ++*non_numbers;
            continue;
        }
        if (stored == kMaxNumbers || stored == static_cast<int>(values.size())) {
            WRTMSG("ERROR-STRNUM-1, Too many numbers, only 20 accepted");
            return stored;
        }
        values[stored++] = value;
    }
    return stored;
}

float RDREAL(std::string_view field, int* error) {
    const std::string_view used = tarnvel::recfile::rfUsedPart(field);
    *error = 0;
    if (used.empty() || used.size() > 38) {
        *error = -1;
        return 0;
    }
    std::string text(used);
    UPCASE(text, static_cast<int>(text.size()));
    if (text.find_first_of(".DE") == std::string::npos && text.size() < 38) text += '.';
    double value = 0;
    if (tarnvel::recfile::rfReadReal(text, &value) != 0) {
        *error = -1;
        return 0;
    }
    if (std::fabs(value) >= 1e37) return value < 0 ? -1e37f : 1e37f;
    if (std::fabs(value) <= 3e-38) return 0;
    return static_cast<float>(value);
}

int RELCMP(float first, std::string_view op, float second) {
    if (std::fabs(first) <= kZeroMagnitude) first = 0;
    if (std::fabs(second) <= kZeroMagnitude) second = 0;
    float difference = first - second;
    if (std::fabs(difference) <= kZeroMagnitude) difference = 0;
    float tolerance = std::max(std::fabs(first), std::fabs(second)) * kToleranceFactor;
    if (tolerance <= kZeroMagnitude) tolerance = kSmallestTolerance;
    std::string name(op.substr(0, 2));
    UPCASE(name, static_cast<int>(name.size()));
    bool result = false;
    if (name == "EQ") result = std::fabs(difference) < tolerance;
    if (name == "NE") result = tolerance < std::fabs(difference);
    if (name == "GT") result = tolerance < difference;
    if (name == "GE") result = -tolerance < difference;
    if (name == "LT") result = difference < -tolerance;
    if (name == "LE") result = difference < tolerance;
    return result ? -1 : 0;
}

void UPCASE(std::span<char> field, int length) {
    for (int i = 0; i < std::min<int>(length, static_cast<int>(field.size())); ++i) {
        if (field[i] >= 'a' && field[i] <= 'z') field[i] = static_cast<char>(field[i] - 'a' + 'A');
    }
}

void LOCASE(std::span<char> field, int length) {
    for (int i = 0; i < std::min<int>(length, static_cast<int>(field.size())); ++i) {
        if (field[i] >= 'A' && field[i] <= 'Z') field[i] = static_cast<char>(field[i] - 'A' + 'a');
    }
}

int LOOKUP(std::string_view keywords, int keyword_length, int keyword_count, std::string_view input,
           int input_length, std::span<int> matches, int* match_count, int* match) {
    const int n =
        std::min({std::abs(input_length), keyword_length, static_cast<int>(input.size())});
    const int count = std::min<int>(
        keyword_count, static_cast<int>(keywords.size()) / std::max(keyword_length, 1));
    *match_count = 0;
    *match = 0;
    const auto keyword = [&](int number) {
        return keywords.substr((number - 1) * keyword_length, keyword_length);
    };
    for (int number = count; number >= 1; --number) {
        if (keyword(number).substr(0, n) != input.substr(0, n)) continue;
        if (*match_count < static_cast<int>(matches.size())) matches[*match_count] = number;
        ++*match_count;
    }
    const int found = std::min<int>(*match_count, static_cast<int>(matches.size()));
    if (*match_count == 0) return 0;
    if (*match_count == 1) {
        *match = matches[0];
        return -1;
    }
    if (std::abs(input_length) >= keyword_length) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "LOOKUP: Dear programmer, you have duplicated keyword on the list %d",
                      *match_count);
        WRTMSG(text);
        return 0;
    }
    for (int i = 0; i < found; ++i) {
        if (keyword(matches[i])[n] == ' ') {
            *match = matches[i];
            matches[0] = matches[i];
            *match_count = 1;
            return -1;
        }
    }
    return 0;
}

void INTSTR(int value, std::span<char> text, int* length) {
    char digits[16];
    const int written = std::snprintf(digits, sizeof digits, "%d", value);
    const int kept = std::min<int>(written, static_cast<int>(text.size()));
    tarnvel::recfile::rfAssign(text, std::string_view(digits, kept));
    *length = kept;
}
