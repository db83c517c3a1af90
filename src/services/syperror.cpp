#include "services/syperror.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using tarnvel::services::kMaxExitCleanups;
using tarnvel::services::kReportWidth;

// The longest formatted condition text, in characters.
constexpr std::size_t kMaxConditionText = 1024;
// The longest assertion report text, "Assertion Failed: \"%s\"" included.
constexpr std::size_t kMaxAssertionText = 255;
// Room for the text on one report line, after the "| " prefix.
constexpr std::size_t kLineRoom = kReportWidth - 2;

// Prints one logical line of the text, broken to fit the report width: a
// longer line breaks at the last blank or tab among its first room + 1
// characters (that blank is dropped), else it is cut after room characters.
void PrintWrapped(std::string_view line) {
    while (line.size() > kLineRoom) {
        const std::string_view window = line.substr(0, kLineRoom + 1);
        const std::size_t blank = window.find_last_of(" \t");
        if (blank != std::string_view::npos) {
            std::fprintf(stderr, "| %.*s\n", static_cast<int>(blank), line.data());
            line.remove_prefix(blank + 1);
        } else {
            std::fprintf(stderr, "| %.*s\n", static_cast<int>(kLineRoom), line.data());
            line.remove_prefix(kLineRoom);
        }
    }
    std::fprintf(stderr, "| %.*s\n", static_cast<int>(line.size()), line.data());
}

// Prints the whole box around an already formatted text. A text ending in a
// line feed has no further empty line for it.
void PrintConditionBox(std::string_view text) {
    std::fputs("\n-----\n", stderr);
    std::fputs("| \aUnexpected Condition Encountered:\n", stderr);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        PrintWrapped(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    std::fputs("-----\n", stderr);
    std::fflush(stderr);
}

std::array<void (*)(), kMaxExitCleanups> g_cleanups{};
int g_cleanup_count = 0;

void RunExitCleanups() {
    while (g_cleanup_count > 0) {
        void (*cleanup)() = g_cleanups[--g_cleanup_count];
        cleanup();
    }
}

}  // namespace

void sypReportCondition(const char* /*file*/, int /*line*/, const char* format, ...) {
    std::array<char, kMaxConditionText + 1> text{};
    if (format != nullptr && *format != '\0') {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text.data(), text.size(), format, args);
        va_end(args);
    }
    PrintConditionBox(text.data());
}

void sypAssertFail(const char* file, int line, const char* text) {
    std::array<char, kMaxAssertionText + 1> report{};
    std::snprintf(report.data(), report.size(), "Assertion Failed: \"%s\"",
                  text != nullptr ? text : "");
    sypReportCondition(file, line, "%s", report.data());
    std::fputs("\nProgram Terminating on Assertion Failure.\n", stderr);
    std::fflush(stderr);
    std::exit(1);
}

int sypRegisterExitCleanup(void (*cleanup)()) {
    if (cleanup == nullptr || g_cleanup_count >= kMaxExitCleanups) return 1;
    if (g_cleanup_count == 0) {
        static const bool registered = (std::atexit(RunExitCleanups) == 0);
        (void)registered;
    }
    g_cleanups[g_cleanup_count++] = cleanup;
    return 0;
}

int tarnvel::services::RegisteredExitCleanups() {
    return g_cleanup_count;
}
