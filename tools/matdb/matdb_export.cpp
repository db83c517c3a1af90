// matdb export: grades of the database as a tessel ASCII material file.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_ascii_writer.h"
#include "matdb/md_catalogue.h"
#include "matdb_tool.h"
#include "services/sypsafewrite.h"

namespace matdb_tool {
namespace {

namespace md = tarnvel::matdb;

struct Exported {
    std::string text;
    std::vector<md::MdAsciiLoss> losses;
    int grades = 0;
    bool complete = true;
};

// The grades of the supplier at a position, or only the one named.
void ExportSupplier(MdPosition supplier, const std::string& code, bool resolved, Exported& out) {
    for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
        if (at.supplier != supplier.supplier) break;
        const std::unique_ptr<MdGrade> header = md_read_grade_header(at);
        if (header && !code.empty() && header->code != code) continue;
        const std::unique_ptr<MdGrade> grade = header ? md_read_grade(at) : nullptr;
        if (!grade) {
            out.complete = false;
            continue;
        }
        md::md_ascii_grade_text(*grade, resolved, out.text, out.losses);
        ++out.grades;
    }
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void PrintLosses(const std::vector<md::MdAsciiLoss>& losses) {
    for (const md::MdAsciiLoss& loss : losses) {
        std::string what = loss.property == 0
                               ? std::string("grade")
                               : "property " + std::to_string(loss.property) + " (" +
                                     std::string(md::md_property_name(loss.property)) + ")";
        std::fprintf(stderr, "matdb: grade %s %s, %s: not carried exactly: %s\n",
                     loss.supplier.c_str(), loss.code.c_str(), what.c_str(), loss.what.c_str());
    }
}

bool Write(const std::string& path, const std::string& text) {
    const auto body = [&](std::FILE* out) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    };
    if (path == "-") return body(stdout);
    if (sypWriteFile(path.c_str(), body) == 0) return true;
    std::fprintf(stderr, "matdb: %s\n", sypWriteFileError());
    return false;
}

}  // namespace

int RunExport(const Options& options, const OpenedDatabase& database) {
    const std::string supplier = options.words.size() > 1 ? Upper(options.words[1]) : "";
    const std::string code = options.words.size() > 2 ? Upper(options.words[2]) : "";
    Exported out;
    for (MdPosition at = md_first_supplier(md_position(database.slot)); at.valid;
         at = md_next_supplier(at)) {
        if (at.slot != database.slot) break;
        const std::unique_ptr<MdSupplierDetails> details = md_read_supplier_details(at);
        if (!details) {
            out.complete = false;
        } else if (supplier.empty() || Upper(details->name) == supplier) {
            ExportSupplier(at, code, options.resolved, out);
        }
    }
    if (!out.complete) {
        std::fprintf(stderr, "matdb: %s: a grade cannot be read; the database is damaged\n",
                     database.folder.c_str());
        return kExitFailed;
    }
    if (out.grades == 0 && !supplier.empty()) {
        std::fprintf(stderr, "matdb: %s: no grade %s %s\n", database.folder.c_str(),
                     supplier.c_str(), code.empty() ? "*" : code.c_str());
        return kExitFailed;
    }
    if (!Write(options.output, out.text)) return kExitFailed;
    PrintLosses(out.losses);
    return out.losses.empty() ? kExitOk : kExitFailed;
}

}  // namespace matdb_tool
