// The matdb inspector's pieces: its command line, opening the database it
// looks at, and one function per subcommand.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "matdb/matdb.h"

namespace matdb_tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// find: a database that cannot be searched (like grep's trouble).
inline constexpr int kExitTrouble = 2;

struct Options {
    // The subcommand and its words (DIR first).
    std::string command;
    std::vector<std::string> words;
    bool json = false;
    bool verbose = false;
    // A Standard database for link resolution; empty when none.
    std::string standard;
    // import: turn the imported personal database into a Standard one.
    bool make_standard = false;
    // import: grades whose names collide in the file are merged on purpose.
    bool merge = false;
    // import: no grade list (mtip.rax) is written.
    bool no_index = false;
    // export: the output file ("-": the standard output); site: the output
    // folder; made absolute.
    std::string output;
    // export: items that came in through a generic link are written too.
    bool resolved = false;
    // find: the conditions as given (option, value), in order.
    std::vector<std::pair<std::string, std::string>> conditions;
    // plot: the kind of curves asked for, and the CSV table (absolute).
    bool viscosity = false;
    bool pvt = false;
    std::string csv;
};

// The database a subcommand works on, opened for reading.
struct OpenedDatabase {
    // The slot the grades are read from.
    int slot = -2;
    // The folder as given on the command line, for messages.
    std::string folder;
};

// Opens DIR (a personal or a Standard database) and the --standard one:
// kExitOk, or the exit status after printing the reason (naming the
// folder).
int OpenDatabase(const Options& options, OpenedDatabase& opened);

// Sends the access layer's messages into a private list; they are printed
// on the error stream when a command fails or with --verbose.
void CaptureLayerMessages();
// True when the access layer reported an error since the capture began.
bool LayerReportedError();
// True when the access layer reported an error, or items it skipped, since
// the capture began.
bool LayerReportedDamage();
// Prints the captured messages on the error stream.
void PrintLayerMessages();
// Reads the grade SUPPLIER CODE of the opened database (its generic links
// resolved); null after a message naming the folder and the grade when it
// is not there or cannot be read. Its position comes back in at.
std::unique_ptr<MdGrade> ReadNamedGrade(const OpenedDatabase& database, const std::string& supplier,
                                        const std::string& code, MdPosition* at);
// True when the folder holds a Standard database (mtds.rax).
bool IsStandardFolder(const std::string& folder);

int RunList(const Options& options, const OpenedDatabase& database);
int RunShow(const Options& options, const OpenedDatabase& database);
// find DIR [conditions]: exit 0 when a grade matched, 1 when none did,
// 2 on a usage error or a database that cannot be searched.
int RunFind(const Options& options, const OpenedDatabase& database);
// The usage check of find's conditions alone: kExitOk or kExitUsage.
int CheckFindOptions(const Options& options);
// diff DIR1 DIR2: reads each database whole in turn and prints what
// changed; exit 0 equal, 1 different, 2 a database that cannot be read.
int RunDiff(const Options& options);
// export DIR [SUPPLIER [GRADE]] -o FILE: exit 1 also when a grade could not
// be carried exactly (the file is written; each loss is named).
int RunExport(const Options& options, const OpenedDatabase& database);
// plot DIR SUPPLIER GRADE [SUPPLIER GRADE]... (--viscosity | --pvt) -o OUT:
// the curves of the grades in one chart; exit 1 when a grade is missing or
// a file cannot be written.
int RunPlot(const Options& options, const OpenedDatabase& database);
// The usage check of plot's words and options alone: kExitOk or kExitUsage.
int CheckPlotOptions(const Options& options);
// site DIR -o FOLDER: the catalogue of DIR as static HTML pages; exit 1
// when a file could not be written or grades could not be read.
int RunSite(const Options& options, const OpenedDatabase& database);
// import FILE.asc DIR: works on its own folder, not on an opened database.
int RunImport(const Options& options);

}  // namespace matdb_tool
