// Reporting of unexpected conditions and failed assertions on the standard
// error stream, and the registry of cleanup functions run at process exit.
#pragma once

#include <cstddef>

// Formats the text (at most 1024 characters) and prints it in the
// "Unexpected Condition Encountered:" box on standard error; processing goes
// on. The source location is accepted and not printed.
void sypReportCondition(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Prints the "Assertion Failed:" box and ends the process with status 1.
[[noreturn]] void sypAssertFail(const char* file, int line, const char* text);

// Adds a function to run at exit (last registered runs first). Returns 0,
// or 1 when the function is null or the table of 1024 entries is full.
int sypRegisterExitCleanup(void (*cleanup)());

namespace tarnvel::services {

// The width of a report line, its prefix included.
inline constexpr int kReportWidth = 70;
// The capacity of the exit cleanup registry.
inline constexpr int kMaxExitCleanups = 1024;

// The text reported for misuse of an operation (null or empty arguments,
// sizes too small).
inline constexpr char kMisuseText[] = "Returned on Assertion Failure:\n";

// The number of exit cleanups registered so far.
int RegisteredExitCleanups();

}  // namespace tarnvel::services

// Reports an unexpected condition at the calling source location.
#define SYP_REPORT(...) sypReportCondition(__FILE__, __LINE__, __VA_ARGS__)
// Reports misuse of an operation at the calling source location.
#define SYP_REPORT_MISUSE() \
    sypReportCondition(__FILE__, __LINE__, "%s", tarnvel::services::kMisuseText)
// Ends the process with the assertion box when the condition is false.
#define SYP_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : sypAssertFail(__FILE__, __LINE__, #condition))
