#include "inspect/model_show.h"

#include <algorithm>
#include <charconv>

#include "inspect/code_table.h"
#include "inspect/json_writer.h"
#include "inspect/model_file.h"
#include "udm/udm.h"

namespace tarnvel::inspect {
namespace {

std::string_view TextOf(const char* text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

void PutQuoted(Output& out, std::string_view text) {
    out.JsonString(text);
}

void PutSetName(Output& out, std::int32_t type, std::int32_t label) {
    out.Integer(type);
    out.Put('/');
    out.Integer(label);
}

// ---- Text ---------------------------------------------------------------------------------------

void WriteTitleText(Output& out) {
    out.Put("title:\n");
    for (const TitleSlot& slot : TitleOfCurrent()) {
        out.Put("  ");
        out.Put(slot.keyword);
        out.Put(' ');
        PutQuoted(out, slot.text);
        out.Put('\n');
    }
}

void WriteGlobalsText(Output& out) {
    out.Put("globals:\n");
    for (const GlobalEntry& entry : GlobalsOfCurrent()) {
        out.Put("  ");
        out.Put(entry.group);
        out.Put(' ');
        PutQuoted(out, entry.key);
        out.Put(' ');
        PutQuoted(out, entry.value);
        out.Put('\n');
    }
}

// The classes that hold entities, one "KEYWORD count" line each; TSET too
// unless left out.
void WriteCountsText(Output& out, const char* indent, bool with_sets) {
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        const int count = udm_class_count(entity_class);
        if (count <= 0 || (!with_sets && entity_class == UDM_CLASS_TSET)) continue;
        out.Put(indent);
        out.Put(ClassKeyword(entity_class));
        out.Put(' ');
        out.Integer(count);
        out.Put('\n');
    }
}

// "  code N NAME [UNIT]: "description" v1 v2 ..."; the description is left
// out when it is empty and the code has values.
void WriteCodeText(Output& out, const UdmTcod* tcod) {
    out.Put("  code ");
    out.Integer(tcod->code);
    if (const CodeInfo* info = FindCode(tcod->code)) {
        out.Put(' ');
        out.Put(info->name);
        if (*info->unit != '\0') {
            out.Put(" [");
            out.Put(info->unit);
            out.Put(']');
        }
    }
    out.Put(':');
    const std::string_view description = TextOf(tcod->description);
    if (!description.empty() || tcod->count == 0) {
        out.Put(' ');
        PutQuoted(out, description);
    }
    for (std::int32_t n = 0; n < tcod->count; ++n) {
        out.Put(' ');
        out.Number(tcod->values[n]);
    }
    out.Put('\n');
}

void WriteSetText(Output& out, const SetRef& set, const Selection& selection) {
    out.Put("set ");
    PutSetName(out, set.type, set.label);
    out.Put(' ');
    PutQuoted(out, TextOf(set.tset->description));
    out.Put('\n');
    for (const UdmTcod* tcod = set.tset->codes; tcod != nullptr; tcod = tcod->next) {
        if (selection.HasCode(tcod->code)) WriteCodeText(out, tcod);
    }
}

// ---- JSON ---------------------------------------------------------------------------------------

void WriteTitleJson(JsonWriter& json) {
    json.Key("title");
    json.BeginObject();
    for (const TitleSlot& slot : TitleOfCurrent()) {
        json.Key(slot.keyword);
        json.String(slot.text);
    }
    json.EndObject();
}

void WriteGlobalsJson(JsonWriter& json) {
    json.Key("globals");
    json.BeginObject();
    const std::vector<GlobalEntry> entries = GlobalsOfCurrent();
    for (std::size_t n = 0; n < entries.size(); ++n) {
        if (n == 0 || entries[n].group != entries[n - 1].group) {
            if (n > 0) json.EndObject();
            json.Key(entries[n].group);
            json.BeginObject();
        }
        json.Key(entries[n].key);
        json.String(entries[n].value);
    }
    if (!entries.empty()) json.EndObject();
    json.EndObject();
}

void WriteCountsJson(JsonWriter& json) {
    json.Key("counts");
    json.BeginObject();
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        const int count = udm_class_count(entity_class);
        if (count <= 0) continue;
        json.Key(ClassKeyword(entity_class));
        json.Integer(count);
    }
    json.EndObject();
}

void WriteCodeJson(JsonWriter& json, const UdmTcod* tcod) {
    const CodeInfo* info = FindCode(tcod->code);
    json.BeginObject();
    json.Key("code");
    json.Integer(tcod->code);
    json.Key("description");
    json.String(TextOf(tcod->description));
    json.Key("name");
    info != nullptr ? json.String(info->name) : json.Null();
    json.Key("unit");
    info != nullptr ? json.String(info->unit) : json.Null();
    json.Key("values");
    json.NumberArray(std::span<const double>(tcod->values, static_cast<std::size_t>(tcod->count)));
    json.EndObject();
}

void WriteSetJson(JsonWriter& json, const SetRef& set, const Selection& selection) {
    json.BeginObject();
    json.Key("type");
    json.Integer(set.type);
    json.Key("label");
    json.Integer(set.label);
    json.Key("description");
    json.String(TextOf(set.tset->description));
    json.Key("codes");
    json.BeginArray();
    for (const UdmTcod* tcod = set.tset->codes; tcod != nullptr; tcod = tcod->next) {
        if (selection.HasCode(tcod->code)) WriteCodeJson(json, tcod);
    }
    json.EndArray();
    json.EndObject();
}

}  // namespace

bool Selection::HasSet(std::int32_t type, std::int32_t label) const {
    return sets.empty() || std::any_of(sets.begin(), sets.end(), [&](const SetKey& key) {
               return key.type == type && key.label == label;
           });
}

bool Selection::HasCode(std::int32_t code) const {
    return codes.empty() || std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool ParseSetKey(const std::string& text, Selection::SetKey* key) {
    const char* end = text.data() + text.size();
    const auto type = std::from_chars(text.data(), end, key->type);
    if (type.ec != std::errc() || type.ptr == end || *type.ptr != '/') return false;
    const auto label = std::from_chars(type.ptr + 1, end, key->label);
    return label.ec == std::errc() && label.ptr == end;
}

std::string MissingSet(const Selection& selection) {
    for (const Selection::SetKey& key : selection.sets) {
        void* payload = nullptr;
        if (udm_entity_find(UDM_CLASS_TSET, key.type, key.label, &payload) != UDM_OK) {
            return "no set " + std::to_string(key.type) + "/" + std::to_string(key.label);
        }
    }
    return {};
}

void WriteListText(Output& out) {
    ForEachSet([&](const SetRef& set) {
        out.Put("TSET ");
        PutSetName(out, set.type, set.label);
        out.Put(' ');
        const int codes = CodeCount(set.tset);
        out.Integer(codes);
        out.Put(codes == 1 ? " code " : " codes ");
        PutQuoted(out, TextOf(set.tset->description));
        out.Put('\n');
    });
    WriteCountsText(out, "", false);
}

void WriteListJson(Output& out, int encoding) {
    JsonWriter json(out);
    json.BeginObject();
    json.Key("encoding");
    json.Integer(encoding);
    json.Key("sets");
    json.BeginArray();
    ForEachSet([&](const SetRef& set) {
        json.BeginObject();
        json.Key("type");
        json.Integer(set.type);
        json.Key("label");
        json.Integer(set.label);
        json.Key("description");
        json.String(TextOf(set.tset->description));
        json.Key("code_count");
        json.Integer(CodeCount(set.tset));
        json.EndObject();
    });
    json.EndArray();
    WriteCountsJson(json);
    json.EndObject();
    json.EndDocument();
}

void WriteShowText(Output& out, const std::string& file, int encoding, const Selection& selection) {
    out.Put("file: ");
    out.Put(file);
    out.Put("\nencoding: ");
    out.Integer(encoding);
    out.Put(" (");
    out.Put(EncodingName(encoding));
    out.Put(")\n");
    WriteTitleText(out);
    WriteGlobalsText(out);
    out.Put("counts:\n");
    WriteCountsText(out, "  ", true);
    ForEachSet([&](const SetRef& set) {
        if (selection.HasSet(set.type, set.label)) WriteSetText(out, set, selection);
    });
}

void WriteShowJson(Output& out, int encoding, const Selection& selection) {
    JsonWriter json(out);
    json.BeginObject();
    json.Key("encoding");
    json.Integer(encoding);
    WriteTitleJson(json);
    WriteGlobalsJson(json);
    WriteCountsJson(json);
    json.Key("sets");
    json.BeginArray();
    ForEachSet([&](const SetRef& set) {
        if (selection.HasSet(set.type, set.label)) WriteSetJson(json, set, selection);
    });
    json.EndArray();
    json.EndObject();
    json.EndDocument();
}

}  // namespace tarnvel::inspect
