// The build information: constants fixed when the tool is built, and the
// build table (one entry per product of the configuration: release and
// build code) with its current entry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarnvel::services {

// The constants of this build.
inline constexpr char kBuildNumber[] = "12293";
inline constexpr char kBuildDate[] = "18-Jul-2012";
inline constexpr char kBuildTime[] = "19:28:49";

// The account, machine and operating system of the build, taken when the
// build was configured (generated source).
extern const char kBuildAccount[];
extern const char kBuildMachine[];
extern const char kBuildSystem[];

// The widths of a build entry's texts, terminator included; longer values
// of the configuration are cut to fit. Buffers given to buildGetRelease and
// buildGetCode must be at least this large.
inline constexpr std::size_t kBuildReleaseSize = 32;
inline constexpr std::size_t kBuildCodeSize = 16;

// The year list of the banner never starts before this year.
inline constexpr int kEarliestBannerYear = 2009;
// The width of one piece of the year list.
inline constexpr std::size_t kYearPieceWidth = 40;

// Fills the build table from the configuration unless it is filled.
void BuildLoadTable();

// The year of the build date.
int BuildYear();

// The banner's year list ("%4d  " per year from first_year to the build
// year, neither earlier than kEarliestBannerYear) cut into pieces of
// kYearPieceWidth characters.
std::vector<std::string> BuildYearPieces(int first_year);
// The same list for a given build year.
std::vector<std::string> YearPieces(int first_year, int build_year);

// For tests only: empties the build table and forgets the current entry,
// as in a fresh process.
void BuildResetForTesting();

}  // namespace tarnvel::services
