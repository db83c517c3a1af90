// The search for product data files along a template list of candidate
// paths, with placeholders for locale, prefix, base name, extension and
// subdirectory, and $NAME$ references to product variables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The template list used for the files of the product's data directory.
inline constexpr char kSypStandardDataTemplates[] =
    ";$PRODUCT_DAT$\\%L\\%P%N%S;$PRODUCT_DAT$\\%l_%t\\%P%N%S;$PRODUCT_DAT$\\%l\\%P%N%S;"
    "$PRODUCT_DAT$\\%P%N%S;$PRODUCT_HOME$\\%T\\%L\\%P%N%S;$PRODUCT_HOME$\\%T\\%l_%t\\%P%N%S;"
    "$PRODUCT_HOME$\\%T\\%l\\%P%N%S;$PRODUCT_HOME$\\%T\\%P%N%S";

// The first existing, readable, non-directory file along the templates, as
// a copy owned by the caller (release with sypFree), or null.
char* sypFindDataFile(const char* subdirectory, const char* base_name, const char* extension,
                      const char* templates);

namespace tarnvel::services {

// The candidate paths of a template list after expansion, in the order they
// are tried, each once (the later copies of a path are dropped).
std::vector<std::string> DataFileCandidates(const char* subdirectory, const char* base_name,
                                            const char* extension, const char* templates);

// The three-letter abbreviated language name of a locale setting such as
// "en_US.UTF-8" ("ENU"); "C", "POSIX" and an empty setting give "ENU".
std::string LocaleAbbreviation(std::string_view setting);

}  // namespace tarnvel::services
