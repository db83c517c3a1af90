// The sources of the product environment's lookup chain other than the
// process environment: the two registry hives (ini files), the ini file
// beside the executable, reference expansion and the documents folder.
//
// For tests and unusual installations, three environment variables move the
// files that stand for the registry and the module:
//   TARNVEL_USER_REGISTRY     the current user's hive (default
//                             $XDG_CONFIG_HOME/brenmoor/registry.ini, or
//                             ~/.config/brenmoor/registry.ini)
//   TARNVEL_MACHINE_REGISTRY  the machine's hive (default
//                             /etc/brenmoor/registry.ini)
//   VTSYS_TERNWAY_MODULE      a module path used instead of the executable's
//                             own when that file exists; its ini file is the
//                             path with ".ini" appended
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarnvel::services {

// The longest registry value that counts, terminator included.
inline constexpr std::size_t kRegistryValueSize = 260;
// The longest value taken from the ini file beside the executable.
inline constexpr std::size_t kModuleIniValueLength = 255;
// The section of the ini file beside the executable.
inline constexpr char kModuleIniSection[] = "ENVIRONMENT";
// The marker of the user's documents folder in registry values.
inline constexpr char kDocumentsMarker[] = "%MY_DOCUMENTS%";

// The value of key in section of an ini file, both matched without regard
// to case; the first occurrence counts. Empty when the file, the section or
// the key is missing. Lines are read up to 4096 characters; section names
// and values of any length up to that are kept whole.
std::string IniValue(const std::string& path, std::string_view section, std::string_view key);
// The same for an open stream, read to its end.
std::string IniValueIn(std::FILE* file, std::string_view section, std::string_view key);

// Replaces the environment references $NAME, ${NAME} and %NAME% by their
// values; a reference to a variable that is not set stays as it stands.
std::string ExpandReferences(std::string_view text);

// The user's documents folder ($XDG_DOCUMENTS_DIR, else "Documents" in the
// home directory), created when missing; empty when it cannot be had.
std::string DocumentsFolder(const char* home);

// When value holds the documents marker followed by "\" or "/", the result
// is the documents folder with the text after the marker appended as a path
// component (text before the marker is dropped). Otherwise, or when the
// folder cannot be had, value is returned unchanged.
std::string ResolveDocumentsMarker(const std::string& value, const char* home);

// The files standing for the current user's and the machine's hives.
std::string UserRegistryPath();
std::string MachineRegistryPath();

// The full path of the running executable, or empty.
std::string ExecutablePath();
// The executable's directory with a final "/", or empty.
std::string ExecutableDirectory();
// The module whose ini file is read: VTSYS_TERNWAY_MODULE when that file
// exists, else the executable; empty when neither can be had.
std::string ModulePath();
// The ini file beside the module: the module path with ".ini" appended.
std::string ModuleIniPath();

// Where the product tree lies relative to the program's directory, in the
// build tree as in an installed one ("../share/tarnvel" by default; the
// build sets it from the install directories).
extern const char kProductTreeFromProgram[];

// The product tree installed with the module: kProductTreeFromProgram
// relative to the module's directory, as a canonical path, when it is a
// directory; empty otherwise. This lets a build or an installed tree,
// moved anywhere as a whole, find its own data without any setting.
std::string ProductTreeBesideModule();

// The text from its first decimal digit on, at most max_length characters;
// empty for null or a text without a digit.
std::string FromFirstDigit(const char* text, std::size_t max_length);

}  // namespace tarnvel::services
