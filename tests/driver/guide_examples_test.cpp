// Every example of the user's guide (docs/guide/*.md), run as a reader would
// run it: each example in a fresh folder, its files written as the page
// shows them, its commands run by the shell with the built programs first on
// the PATH on a pseudo-terminal, each command's exit status and everything
// it prints (standard output and error, interleaved as a terminal shows
// them) compared with what the page shows, line by line; "[...]" in a shown
// line stands for any text (an absolute path, a version).
//
// How a page marks its examples (fenced code blocks):
//   ```text example=NAME file=PATH   the file PATH of example NAME, verbatim
//   ```console example=NAME          "$ COMMAND" lines, each followed by the
//                                    lines it prints; a command that ends in
//                                    "# exit status N" must exit with N, any
//                                    other with 0
// Blocks of one example run in page order. Every fenced block of the guide
// belongs to an example, so nothing shown goes unchecked.
#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::testing::ReadWholeFile;

const fs::path kGuide = fs::path(TARNVEL_SOURCE_DIR) / "docs" / "guide";

// A fenced block of a page.
struct Block {
    std::string page;
    int line = 0;  // of the opening fence
    std::string language;
    std::map<std::string, std::string> attributes;
    std::vector<std::string> body;
};

std::vector<Block> ReadBlocks(const fs::path& page) {
    std::vector<Block> blocks;
    std::ifstream in(page);
    Block* open = nullptr;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.starts_with("```")) {
            if (open != nullptr) open->body.push_back(line);
            continue;
        }
        if (open != nullptr) {
            open = nullptr;
            continue;
        }
        Block& block = blocks.emplace_back();
        block.page = page.filename().string();
        block.line = number;
        std::istringstream info(line.substr(3));
        info >> block.language;
        for (std::string word; info >> word;) {
            const std::size_t equals = word.find('=');
            if (equals != std::string::npos)
                block.attributes[word.substr(0, equals)] = word.substr(equals + 1);
        }
        open = &block;
    }
    if (open != nullptr)
        ADD_FAILURE() << page << ": the block of line " << open->line << " is never closed";
    return blocks;
}

std::vector<fs::path> Pages() {
    std::vector<fs::path> pages;
    for (const fs::directory_entry& entry : fs::directory_iterator(kGuide))
        if (entry.path().extension() == ".md") pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

// An example: the blocks of one page that share its name.
struct Example {
    std::string name;  // PAGE_NAME, as a test name
    std::vector<Block> blocks;
};

// Names the example in a failure message.
void PrintTo(const Example& example, std::ostream* out) {
    *out << example.name;
}

std::string TestName(const std::string& page, const std::string& example) {
    std::string name = fs::path(page).stem().string() + "_" + example;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::vector<Example> Examples() {
    std::vector<Example> examples;
    for (const fs::path& page : Pages()) {
        for (Block& block : ReadBlocks(page)) {
            const auto named = block.attributes.find("example");
            if (named == block.attributes.end()) continue;
            const std::string name = TestName(block.page, named->second);
            auto same = std::find_if(examples.begin(), examples.end(),
                                     [&](const Example& e) { return e.name == name; });
            if (same == examples.end()) same = examples.insert(examples.end(), {name, {}});
            same->blocks.push_back(std::move(block));
        }
    }
    return examples;
}

// One command of a console block with what it must print and exit with.
struct Command {
    int line = 0;
    std::string text;
    int exit_status = 0;
    std::vector<std::string> output;
};

std::vector<Command> Commands(const Block& block) {
    static const std::regex kExitStatus(R"(#\s*exit status (\d+)\s*$)");
    std::vector<Command> commands;
    for (std::size_t i = 0; i < block.body.size(); ++i) {
        const std::string& line = block.body[i];
        if (line.starts_with("$ ")) {
            Command& command = commands.emplace_back();
            command.line = block.line + 1 + static_cast<int>(i);
            command.text = line.substr(2);
            std::smatch status;
            if (std::regex_search(command.text, status, kExitStatus))
                command.exit_status = std::stoi(status[1]);
        } else if (!commands.empty()) {
            commands.back().output.push_back(line);
        } else {
            ADD_FAILURE() << block.page << ":" << block.line << ": output before any command";
        }
    }
    return commands;
}

// Lines without trailing blanks, trailing empty lines dropped: what a page
// can show of an output.
std::vector<std::string> Shown(std::vector<std::string> lines) {
    for (std::string& line : lines)
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

struct Run {
    int exit_status = -1;
    std::string output;
};

// Runs a command line with sh in folder on a pseudo-terminal, so that its
// standard output and error interleave as a reader's terminal shows them
// (output line-buffered, no line-end translation). The programs of the build
// come first on the PATH; no database or product setting of the caller's
// environment leaks in. Killed after 60 s.
Run RunShell(const std::string& command, const fs::path& folder) {
    termios raw{};
    cfmakeraw(&raw);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, &raw, &size);
    if (child == 0) {
        const int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd < 0) _exit(126);
        dup2(null_fd, STDIN_FILENO);
        for (const char* name :
             {"VTPATH", "VTCOMP", "VTPROJ", "KESPATH", "KOR_HOME", "KES_HOME", "KOR_DAT", "VTORDER",
              "VTPVTORDER", "VTSHRINKORDER", "SOURCE_DATE_EPOCH", "COLUMNS", "LINES"})
            unsetenv(name);
        setenv("LC_ALL", "C", 1);
        setenv("PATH", (std::string(TARNVEL_BIN_DIR) + ":/usr/bin:/bin").c_str(), 1);
        tarnvel::testing::ExecInChild("/bin/sh", {"-c", command}, folder.string(), {}, 60);
    }
    Run run;
    if (child < 0) {
        ADD_FAILURE() << "no pseudo-terminal to run the examples on: " << std::strerror(errno);
        return run;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got > 0) {
            run.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the child's side is closed
        }
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    return run;
}

void WriteExampleFile(const Block& block, const fs::path& folder) {
    const fs::path path = folder / block.attributes.at("file");
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << Joined(block.body);
}

// Whether a printed line is the one shown: "[...]" in a shown line stands
// for any text (a date, a version, an absolute path).
bool LineMatches(const std::string& printed, const std::string& shown) {
    static const std::string kAny = "[...]";
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t any; (any = shown.find(kAny, from)) != std::string::npos;
         from = any + kAny.size())
        pieces.push_back(shown.substr(from, any - from));
    pieces.push_back(shown.substr(from));
    if (pieces.size() == 1) return printed == shown;
    const std::string& first = pieces.front();
    const std::string& last = pieces.back();
    if (printed.size() < first.size() + last.size() || !printed.starts_with(first) ||
        !printed.ends_with(last))
        return false;
    // The middle pieces in order, between the first and the last.
    std::size_t at = first.size();
    const std::size_t end = printed.size() - last.size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        at = printed.find(pieces[i], at);
        if (at == std::string::npos || at + pieces[i].size() > end) return false;
        at += pieces[i].size();
    }
    return true;
}

bool OutputMatches(const std::vector<std::string>& printed, const std::vector<std::string>& shown) {
    if (printed.size() != shown.size()) return false;
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (!LineMatches(printed[i], shown[i])) return false;
    return true;
}

void RunConsole(const Block& block, const fs::path& folder) {
    for (const Command& command : Commands(block)) {
        const Run run = RunShell(command.text, folder);
        const std::string where =
            block.page + ":" + std::to_string(command.line) + ": $ " + command.text;
        EXPECT_EQ(run.exit_status, command.exit_status) << where << "\n" << run.output;
        const std::vector<std::string> printed = Shown(SplitLines(run.output));
        const std::vector<std::string> shown = Shown(command.output);
        EXPECT_TRUE(OutputMatches(printed, shown)) << where << "\nprinted:\n"
                                                   << Joined(printed) << "shown:\n"
                                                   << Joined(shown);
    }
}

class GuideExample : public ::testing::TestWithParam<Example> {};

TEST_P(GuideExample, RunsAsThePageShows) {
    std::string pattern = (fs::temp_directory_path() / "tarnvel-guide-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    for (const Block& block : GetParam().blocks) {
        if (block.attributes.contains("file"))
            WriteExampleFile(block, folder);
        else if (block.language == "console")
            RunConsole(block, folder);
        else
            ADD_FAILURE() << block.page << ":" << block.line
                          << ": an example block is a file=... or a console block";
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

INSTANTIATE_TEST_SUITE_P(Guide, GuideExample, ::testing::ValuesIn(Examples()),
                         [](const ::testing::TestParamInfo<Example>& info) {
                             return info.param.name;
                         });

// Every fenced block belongs to an example, every example runs a command,
// and every page is reachable from the guide's index.
TEST(Guide, EveryBlockIsAnExampleAndEveryPageIsLinked) {
    const std::string index = ReadWholeFile((kGuide / "README.md").string());
    ASSERT_FALSE(index.empty()) << "docs/guide/README.md is missing";
    int pages = 0;
    for (const fs::path& page : Pages()) {
        ++pages;
        for (const Block& block : ReadBlocks(page)) {
            EXPECT_TRUE(block.attributes.contains("example"))
                << block.page << ":" << block.line << ": a block that no test runs";
        }
        if (page.filename() != "README.md") {
            EXPECT_NE(index.find(std::string("(").append(page.filename().string()).append(")")),
                      std::string::npos)
                << page.filename() << " is not linked from the guide's index";
        }
    }
    EXPECT_GE(pages, 6);
    for (const Example& example : Examples()) {
        const bool runs = std::any_of(
            example.blocks.begin(), example.blocks.end(),
            [](const Block& b) { return b.language == "console" && !Commands(b).empty(); });
        EXPECT_TRUE(runs) << example.name << " runs no command";
    }
}

// The anchor a heading gets: lower case, blanks as hyphens, punctuation
// other than hyphens and underscores dropped.
std::string Anchor(const std::string& heading) {
    std::string anchor;
    for (const char c : heading) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
            anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (c == ' ')
            anchor += '-';
    }
    return anchor;
}

std::vector<std::string> Anchors(const fs::path& page) {
    std::vector<std::string> anchors;
    std::ifstream in(page);
    bool fenced = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("```")) fenced = !fenced;
        if (fenced || !line.starts_with("#")) continue;
        anchors.push_back(Anchor(line.substr(line.find_first_not_of('#') + 1)));
    }
    return anchors;
}

// Every link from one page of the guide to another (or to a heading) leads
// somewhere.
TEST(Guide, LinksReachTheirPagesAndHeadings) {
    static const std::regex kLink(R"(\]\(([A-Za-z0-9_.-]+\.md)(#[A-Za-z0-9_-]+)?\))");
    int links = 0;
    for (const fs::path& page : Pages()) {
        const std::string text = ReadWholeFile(page.string());
        for (std::sregex_iterator it(text.begin(), text.end(), kLink), end; it != end; ++it) {
            ++links;
            const fs::path target = kGuide / (*it)[1].str();
            ASSERT_TRUE(fs::exists(target)) << page.filename() << " links to " << (*it)[0];
            if (!(*it)[2].matched) continue;
            const std::vector<std::string> anchors = Anchors(target);
            EXPECT_NE(std::find(anchors.begin(), anchors.end(), (*it)[2].str().substr(1)),
                      anchors.end())
                << page.filename() << " links to " << (*it)[0] << ", a heading that is not there";
        }
    }
    EXPECT_GT(links, 5);
}

}  // namespace
