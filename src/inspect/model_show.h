// The list and show forms of a UDM model, as text for people and as JSON
// (the schema is in docs/udmconv-json.md). Both work on the current model
// and write as they go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inspect/output.h"

namespace tarnvel::inspect {

// Which sets and codes show prints: every set when sets is empty, every
// code when codes is empty.
struct Selection {
    struct SetKey {
        std::int32_t type;
        std::int32_t label;
    };
    std::vector<SetKey> sets;
    std::vector<std::int32_t> codes;

    bool HasSet(std::int32_t type, std::int32_t label) const;
    bool HasCode(std::int32_t code) const;
};

// Reads "TYPE/LABEL" (two decimal integers); false when the text is not one.
bool ParseSetKey(const std::string& text, Selection::SetKey* key);
// The first selected set the current model lacks, as a message; empty when
// it has them all.
std::string MissingSet(const Selection& selection);

// One line per set (type, label, number of codes, description), then one
// per other class that holds entities.
void WriteListText(Output& out);
void WriteListJson(Output& out, int encoding);

// Title, globals, counts and the selected sets with every code's name,
// unit, description and values.
void WriteShowText(Output& out, const std::string& file, int encoding, const Selection& selection);
void WriteShowJson(Output& out, int encoding, const Selection& selection);

}  // namespace tarnvel::inspect
