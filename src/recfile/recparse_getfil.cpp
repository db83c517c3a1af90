// Entry and checking of a file name with a required suffix.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "recfile/recfile.h"
#include "recfile/recparse.h"
#include "recfile/rf_text.h"
#include "recfile/rf_units.h"

namespace rf = tarnvel::recfile;

namespace {

std::string Used(std::string_view field) {
    return std::string(rf::rfUsedPart(field));
}

std::string Lower(std::string text) {
    LOCASE(text, static_cast<int>(text.size()));
    return text;
}

bool StartsValidly(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '$' || c == '.' || c == '/';
}

// Asks for the name until one is given; false at the end of the input.
bool AskName(std::string_view prompt, const std::string& def, std::string* name) {
    const std::string what = prompt.size() > 40 ? "name" : "file name";
    const std::string shown = def.empty() ? "<default=no file>" : "<default=" + def + ">";
    for (;;) {
        rf::rfWriteRecord(rfSettings().screen_unit,
                          "Enter " + Used(prompt) + " " + what + " " + shown + ": ");
        std::vector<char> buffer(256);
        int length = 0;
        const int status = RDLINE(rf::kStandardInput, &length, buffer);
        if (status > 0) {
            *name = Used(std::string_view(buffer.data(), status));
            return true;
        }
        if (!def.empty()) {
            *name = def;
            return true;
        }
        WRTMSG("No default, <RETURN> not allowed");
        if (status < 0) return false;
    }
}

}  // namespace

void GETFIL(std::string_view prompt, std::string_view suffix, int flags,
            std::string_view default_name, int* extension, std::span<char> name, int* name_length) {
    const std::string wanted = Used(suffix);
    if (wanted.size() < 2 || wanted[0] != '.') STOPRG("GETFIL");
    const bool prompting = (flags & 1) != 0;
    *extension = 0;
    *name_length = 0;
    std::string given;
    if (prompting) {
        if (!AskName(prompt, Used(default_name), &given)) return;
    } else {
        given = Used(std::string_view(name.data(), name.size()));
    }
    const std::size_t slash = given.rfind('/');
    const std::size_t file_start = slash == std::string::npos ? 0 : slash + 1;
    given = given.substr(0, file_start) + Lower(given.substr(file_start));
    if (given.empty() || !StartsValidly(given[0])) {
        WRTMSG("Invalid filename");
        if (!prompting) WRTMSG("Invalid filename");
        return;
    }
    const std::size_t dot = given.rfind('.');
    if (dot == std::string::npos || dot < file_start) {
        given += Lower(wanted);
    } else if (Lower(given.substr(dot)) != Lower(wanted)) {
        *extension = -1;
    }
    if (given.size() > name.size()) {
        char limit[96];
        std::snprintf(limit, sizeof limit,
                      "Name too long, number of characters including suffix max %zu", name.size());
        WRTMSG(given);
        WRTMSG(limit);
        given.resize(name.size());
        if (!prompting) {
            WRTMSG("Name will be truncated:");
            WRTMSG(given);
        }
    }
    rf::rfAssign(name, given);
    *name_length = static_cast<int>(given.size());
}
