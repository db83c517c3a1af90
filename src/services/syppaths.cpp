// Path splitting and joining, the process's temporary directory, and
// private temporary files and directories inside it.
#include "services/syppaths.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "services/sypcleanup.h"
#include "services/syperror.h"
#include "services/sypmem.h"

namespace {

using tarnvel::services::kPathSize;

// The longest path sypSplitPath works on, in characters.
constexpr std::size_t kSplitWorkLength = 255;

// Environment variables naming a temporary directory, in the order tried.
constexpr std::array<const char*, 3> kTempVariables{"tmp", "temp", "TMPDIR"};
// The system's temporary directory, tried after the environment.
constexpr char kSystemTempDirectory[] = "/tmp/";

bool IsMissing(const char* text) {
    return text == nullptr || *text == '\0';
}

// Copies text into a buffer of size bytes when it fits with its terminator.
bool CopyIfFits(std::string_view text, char* buffer, int size) {
    if (text.size() + 1 > static_cast<std::size_t>(size)) return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

std::string WithSeparator(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}

// The current directory, empty when it cannot be determined.
std::string CurrentDirectory() {
    const std::unique_ptr<char, decltype(&sypFree)> cwd(sypGetcwd(nullptr, 0), &sypFree);
    return cwd ? std::string(cwd.get()) : std::string();
}

// The directory chosen for temporary files and the counters that keep
// probe names and temporary names apart. Both counters only grow.
struct TempState {
    std::array<char, kPathSize> directory{};
    bool chosen = false;
    bool found = false;
    unsigned probe_counter = 0;
    unsigned name_counter = 0;
};

TempState g_temp;

// Formats the template "<directory><counter>XXXXXX"; false when it does not
// fit the buffer.
bool FormatTemplate(std::span<char> buffer, const char* directory, unsigned counter) {
    const int written =
        std::snprintf(buffer.data(), buffer.size(), "%s%uXXXXXX", directory, counter);
    return written > 0 && static_cast<std::size_t>(written) < buffer.size();
}

// True when a fresh file can be created in the directory; the probe file is
// removed again at once, before an interrupt can end the process.
bool CanCreateFileIn(const std::string& directory) {
    std::array<char, kPathSize> probe{};
    if (!FormatTemplate(probe, directory.c_str(), ++g_temp.probe_counter)) return false;
    const tarnvel::services::CleanupSignalsHeld held;
    const int descriptor = mkstemp(probe.data());
    if (descriptor < 0) return false;
    close(descriptor);
    unlink(probe.data());
    return true;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// HOMEDRIVE followed by HOMEPATH when both are set, otherwise HOME.
std::string HomeDirectory() {
    const char* drive = std::getenv("HOMEDRIVE");
    const char* path = std::getenv("HOMEPATH");
    if (drive != nullptr && path != nullptr) return std::string(drive) + path;
    return EnvironmentValue("HOME");
}

// The candidate made absolute against the current directory: the choice is
// kept for the whole process, and a run that changes its working directory
// must still find, and remove, what it made there. Empty when the current
// directory cannot be determined.
std::string Absolute(const std::string& candidate) {
    if (candidate.front() == '/') return candidate;
    const std::string current = CurrentDirectory();
    return current.empty() ? std::string() : WithSeparator(current) + candidate;
}

// Accepts the candidate (absolute, with "/" ensured) when it is usable;
// empty candidates are skipped.
bool TryTempCandidate(const std::string& candidate) {
    if (candidate.empty()) return false;
    const std::string absolute = Absolute(candidate);
    if (absolute.empty()) return false;
    const std::string directory = WithSeparator(absolute);
    if (!CanCreateFileIn(directory)) return false;
    g_temp.found = CopyIfFits(directory, g_temp.directory.data(), kPathSize);
    return g_temp.found;
}

void ChooseTempDirectory() {
    for (const char* variable : kTempVariables) {
        if (TryTempCandidate(EnvironmentValue(variable))) return;
    }
    if (TryTempCandidate(kSystemTempDirectory)) return;
    if (TryTempCandidate(CurrentDirectory())) return;
    TryTempCandidate(HomeDirectory());
}

// Fills buffer with a fresh name in the temporary directory and has create
// make the file or directory of that name atomically. Returns the buffer,
// or null (buffer emptied) on failure.
template <typename Create>
const char* CreateTempEntry(std::span<char> buffer, Create create) {
    buffer[0] = '\0';
    const char* directory = sypTempDirectory();
    if (directory == nullptr) return nullptr;
    if (!FormatTemplate(buffer, directory, ++g_temp.name_counter) || !create(buffer.data())) {
        buffer[0] = '\0';
        return nullptr;
    }
    return buffer.data();
}

}  // namespace

namespace tarnvel::services {

void ResetTempDirectoryForTesting() {
    g_temp.chosen = false;
    g_temp.found = false;
    g_temp.directory[0] = '\0';
}

}  // namespace tarnvel::services

int sypSplitPath(const char* path, char* directory, char* name, int directory_size, int name_size) {
    if (directory != nullptr && directory_size > 0) directory[0] = '\0';
    if (name != nullptr && name_size > 0) name[0] = '\0';
    if (IsMissing(path) || directory == nullptr || name == nullptr || directory_size <= 0 ||
        name_size <= 0) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    const std::string_view given(path);
    if (given.size() > kSplitWorkLength) return 0;
    std::string work(given);
    if (given.find('/') == std::string_view::npos) {
        // A bare name lies in the current directory; the absolute result must
        // fit both the work buffer and the caller's directory buffer.
        const std::string cwd = CurrentDirectory();
        if (cwd.empty()) return 0;
        work = WithSeparator(cwd) + work;
        const std::size_t limit =
            std::min(kSplitWorkLength, static_cast<std::size_t>(directory_size) - 1);
        if (work.size() > limit) return 0;
    }
    const std::string_view whole(work);
    const std::size_t cut = whole.rfind('/') + 1;
    if (!CopyIfFits(whole.substr(0, cut), directory, directory_size)) return 0;
    if (!CopyIfFits(whole.substr(cut), name, name_size)) {
        directory[0] = '\0';
        return 0;
    }
    return 1;
}

int sypJoinPath(const char* directory, const char* name, char* output, int size) {
    if (output != nullptr && size > 0) output[0] = '\0';
    if (directory == nullptr || IsMissing(name) || output == nullptr || size <= 0) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    const std::string_view base(directory);
    const bool has_separator = !base.empty() && base.back() == '/';
    const std::array<std::string_view, 3> pieces{base, has_separator ? "" : "/", name};
    std::size_t used = 0;
    for (const std::string_view piece : pieces) {
        const std::size_t needed = used + piece.size() + 1;
        if (needed > static_cast<std::size_t>(size)) {
            output[0] = '\0';
            SYP_REPORT("Not enough room in buffer to hold string \"%.*s\": %d",
                       static_cast<int>(piece.size()), piece.data(),
                       static_cast<int>(needed - static_cast<std::size_t>(size)));
            return 0;
        }
        std::memcpy(output + used, piece.data(), piece.size());
        used += piece.size();
        output[used] = '\0';
    }
    return 1;
}

const char* sypTempDirectory() {
    if (!g_temp.chosen) {
        g_temp.chosen = true;
        ChooseTempDirectory();
    }
    return g_temp.found ? g_temp.directory.data() : nullptr;
}

// The file is created here, not only named: a name handed out and opened
// later could be taken by another process in between, so the caller gets a
// path that already exists, empty and readable by its owner alone.
const char* sypTempFileName() {
    static std::array<char, kPathSize> name{};
    return CreateTempEntry(name, [](char* path) {
        const int descriptor = sypMakeRegisteredTempFile(path);
        if (descriptor < 0) return false;
        close(descriptor);
        return true;
    });
}

const char* sypTempDirectoryName() {
    static std::array<char, kPathSize> name{};
    return CreateTempEntry(name, [](char* path) {
        return sypMakeRegisteredTempDirectory(path) == tarnvel::services::kSypOk;
    });
}
