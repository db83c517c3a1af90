// Property sets (class TSET) and their property code entries, and the TSET
// entity family: initialiser, release, copy and writer.
#include <cstring>

#include "services/sypmem.h"
#include "udm/udm_classes.h"
#include "udm/udm_model.h"
#include "udm/udm_writer.h"

using namespace tarnvel::udm;

namespace {

// Values of a TCOD are written five to a line.
constexpr int kValuesPerLine = 5;

// A new entry is one block: the entry, then its values, then its text.
// Arrays and texts assigned later are allocated apart; in_block says which
// parts must not be freed on their own.
constexpr std::int32_t kValuesInBlock = 1;
constexpr std::int32_t kTextInBlock = 2;
static_assert(sizeof(UdmTcod) % alignof(double) == 0);

void FreeValues(UdmTcod* tcod) {
    if ((tcod->in_block & kValuesInBlock) == 0) sypFree(tcod->values);
    tcod->in_block &= ~kValuesInBlock;
}

void FreeDescription(UdmTcod* tcod) {
    if ((tcod->in_block & kTextInBlock) == 0) sypFree(tcod->description);
    tcod->in_block &= ~kTextInBlock;
}

void FreeTcod(UdmTcod* tcod) {
    FreeDescription(tcod);
    FreeValues(tcod);
    sypFree(tcod);
}

void FreeTcodList(UdmTcod* list) {
    while (list != nullptr) {
        UdmTcod* next = list->next;
        FreeTcod(list);
        list = next;
    }
}

// The link that points at the first entry whose code is >= code.
UdmTcod** FindLink(UdmTset* tset, std::int32_t code) {
    UdmTcod** link = &tset->codes;
    while (*link != nullptr && (*link)->code < code) link = &(*link)->next;
    return link;
}

// Takes an entry out of its set's list (it stays allocated).
void Unlink(UdmTcod* tcod) {
    UdmTset* owner = tcod->owner;
    if (owner == nullptr) return;
    for (UdmTcod** link = &owner->codes; *link != nullptr; link = &(*link)->next) {
        if (*link == tcod) {
            *link = tcod->next;
            break;
        }
    }
    tcod->owner = nullptr;
    tcod->next = nullptr;
}

// Puts a detached entry into the set in code order; an entry with the same
// code is freed and replaced.
void Insert(UdmTset* tset, UdmTcod* tcod) {
    UdmTcod** link = FindLink(tset, tcod->code);
    if (*link != nullptr && (*link)->code == tcod->code) {
        UdmTcod* replaced = *link;
        tcod->next = replaced->next;
        FreeTcod(replaced);
    } else {
        tcod->next = *link;
    }
    *link = tcod;
    tcod->owner = tset;
}

bool IsStrictlyAscending(const UdmTcod* list) {
    for (; list != nullptr && list->next != nullptr; list = list->next) {
        if (list->code >= list->next->code) return false;
    }
    return true;
}

// A deep copy of a list; null with *ok false when memory runs out.
UdmTcod* CopyTcodList(const UdmTcod* source, bool* ok) {
    UdmTcod* head = nullptr;
    UdmTcod** tail = &head;
    for (; source != nullptr; source = source->next) {
        UdmTcod* copy = nullptr;
        if (udm_tcod_new(source->code, source->description, source->count, source->values, nullptr,
                         &copy) != UDM_OK) {
            FreeTcodList(head);
            *ok = false;
            return nullptr;
        }
        *tail = copy;
        tail = &copy->next;
    }
    *ok = true;
    return head;
}

void AdoptCodes(UdmTset* tset, UdmTcod* list) {
    if (IsStrictlyAscending(list)) {
        tset->codes = list;
        for (UdmTcod* tcod = list; tcod != nullptr; tcod = tcod->next) tcod->owner = tset;
        return;
    }
    // Out of order or with repeated codes: sort by insertion, a later entry
    // replacing an earlier one with the same code.
    while (list != nullptr) {
        UdmTcod* next = list->next;
        list->owner = nullptr;
        Insert(tset, list);
        list = next;
    }
}

// ---- The TSET family --------------------------------------------------------------

void TsetInit(void* payload) {
    *static_cast<UdmTset*>(payload) = UdmTset{};
}

void TsetRelease(void* payload) {
    auto* tset = static_cast<UdmTset*>(payload);
    sypFree(tset->description);
    FreeTcodList(tset->codes);
    FreeTcodList(tset->extra);
    *tset = UdmTset{};
}

int TsetCopy(void* target, const void* source) {
    return udm_tset_copy(static_cast<UdmTset*>(target), static_cast<const UdmTset*>(source));
}

void WriteTcod(UdmStream* stream, const UdmTcod* tcod) {
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, 2);
    udm_put_keyword(stream, "TCOD");
    udm_put_open(stream);
    udm_put_int(stream, tcod->code);
    udm_put_blanks(stream, 1);
    udm_put_string(stream, tcod->description);
    for (std::int32_t i = 0; i < tcod->count; ++i) {
        if (i % kValuesPerLine == 0) {
            udm_put_newlines(stream, 1);
            udm_put_blanks(stream, 4);
        } else {
            udm_put_blanks(stream, 1);
        }
        udm_put_double(stream, tcod->values[i]);
    }
    udm_put_close(stream);
}

void TsetWrite(UdmStream* stream, const void* payload) {
    const auto* tset = static_cast<const UdmTset*>(payload);
    const EntityHeader* header = HeaderOf(payload);
    udm_put_newlines(stream, 1);
    udm_put_keyword(stream, "TSET");
    udm_put_open(stream);
    udm_put_int(stream, header->key1);
    udm_put_blanks(stream, 1);
    udm_put_int(stream, header->key2);
    udm_put_blanks(stream, 1);
    udm_put_string(stream, tset->description);
    for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
        WriteTcod(stream, tcod);
    }
    udm_put_close(stream);
}

}  // namespace

namespace tarnvel::udm {

const UdmFamily kTsetFamily = {
    sizeof(UdmTset),
    "\n//  Beginning of tset data set.\n//  TSET{TYPE LABEL DESCRIPTION TCOD{TYPE DESCRIPTION "
    "VALUES}}",
    TsetInit,
    TsetRelease,
    TsetCopy,
    nullptr,
    TsetWrite,
    // The reader builds sets itself, code entry by code entry.
    nullptr,
};

}  // namespace tarnvel::udm

// ---- Property sets ------------------------------------------------------------------

const char* udm_tset_description(const UdmTset* tset) {
    return tset == nullptr ? nullptr : tset->description;
}

int udm_tset_set_description(UdmTset* tset, const char* text) {
    if (tset == nullptr) return UDM_BAD_ARGUMENT;
    return ReplaceText(&tset->description, text) ? UDM_OK : UDM_NO_MEMORY;
}

int udm_tset_set_codes(UdmTset* tset, UdmTcod* list) {
    if (tset == nullptr) return UDM_BAD_ARGUMENT;
    if (list != tset->codes) {
        FreeTcodList(tset->codes);
    }
    tset->codes = nullptr;
    AdoptCodes(tset, list);
    return UDM_OK;
}

int udm_tset_put_code(UdmTcod* tcod, UdmTset* tset) {
    if (tcod == nullptr || tset == nullptr) return UDM_BAD_ARGUMENT;
    Unlink(tcod);
    Insert(tset, tcod);
    return UDM_OK;
}

UdmTcod* udm_tset_code(UdmTset* tset, std::int32_t code, int create) {
    if (tset == nullptr) return nullptr;
    UdmTcod** link = FindLink(tset, code);
    if (*link != nullptr && (*link)->code == code) return *link;
    if (!create) return nullptr;
    UdmTcod* tcod = nullptr;
    if (udm_tcod_new(code, nullptr, 0, nullptr, *link, &tcod) != UDM_OK) return nullptr;
    tcod->owner = tset;
    *link = tcod;
    return tcod;
}

int udm_tset_remove_code(UdmTset* tset, std::int32_t code) {
    if (tset == nullptr) return UDM_BAD_ARGUMENT;
    UdmTcod** link = FindLink(tset, code);
    if (*link == nullptr || (*link)->code != code) return UDM_NOT_FOUND;
    UdmTcod* removed = *link;
    *link = removed->next;
    FreeTcod(removed);
    return UDM_OK;
}

int udm_tset_create(std::int32_t type, std::int32_t label, const char* description, UdmTcod* codes,
                    UdmTset** out) {
    if (out != nullptr) *out = nullptr;
    if (type == 0) return UDM_BAD_ARGUMENT;
    if (label == 0) label = udm_next_label(UDM_CLASS_TSET, type);
    void* payload = nullptr;
    if (int status = udm_entity_create(UDM_CLASS_TSET, type, label, &payload); status != UDM_OK) {
        return status;
    }
    auto* tset = static_cast<UdmTset*>(payload);
    TsetInit(tset);
    if (!CopyText(description, &tset->description)) {
        udm_entity_delete(payload);
        return UDM_NO_MEMORY;
    }
    AdoptCodes(tset, codes);
    if (out != nullptr) *out = tset;
    return UDM_OK;
}

int udm_tset_copy(UdmTset* target, const UdmTset* source) {
    if (target == nullptr || source == nullptr) return UDM_BAD_ARGUMENT;
    if (target == source) return UDM_OK;
    bool ok = false;
    UdmTcod* codes = CopyTcodList(source->codes, &ok);
    if (!ok) return UDM_NO_MEMORY;
    if (!ReplaceText(&target->description, source->description)) {
        FreeTcodList(codes);
        return UDM_NO_MEMORY;
    }
    FreeTcodList(target->codes);
    target->codes = nullptr;
    AdoptCodes(target, codes);
    return UDM_OK;
}

// ---- Property code entries ---------------------------------------------------------------

namespace tarnvel::udm {

UdmTcod* NewTcodWithRoom(std::int32_t code, const char* description, std::size_t length,
                         std::int32_t count) {
    if (count < 0) count = 0;
    const std::size_t value_bytes = sizeof(double) * static_cast<std::size_t>(count);
    const std::size_t text_bytes = description != nullptr ? length + 1 : 0;
    auto* tcod = static_cast<UdmTcod*>(sypMalloc(sizeof(UdmTcod) + value_bytes + text_bytes));
    if (tcod == nullptr) return nullptr;
    *tcod = UdmTcod{};
    tcod->code = code;
    if (count > 0) {
        tcod->values = reinterpret_cast<double*>(tcod + 1);
        tcod->in_block |= kValuesInBlock;
        tcod->count = count;
        tcod->capacity = count;
    }
    if (description != nullptr) {
        tcod->description = reinterpret_cast<char*>(tcod + 1) + value_bytes;
        tcod->in_block |= kTextInBlock;
        std::memcpy(tcod->description, description, length);
        tcod->description[length] = '\0';
    }
    return tcod;
}

UdmTcod* NewTcod(std::int32_t code, const char* description, std::size_t length, std::int32_t count,
                 const double* values) {
    if (values == nullptr) return NewTcodWithRoom(code, description, length, 0);
    UdmTcod* tcod = NewTcodWithRoom(code, description, length, count);
    if (tcod != nullptr && tcod->count > 0) {
        std::memcpy(tcod->values, values, sizeof(double) * static_cast<std::size_t>(tcod->count));
    }
    return tcod;
}

}  // namespace tarnvel::udm

int udm_tcod_new(std::int32_t code, const char* description, std::int32_t count,
                 const double* values, UdmTcod* next, UdmTcod** out) {
    if (out == nullptr) return UDM_BAD_ARGUMENT;
    *out = nullptr;
    const std::size_t length = description != nullptr ? std::strlen(description) : 0;
    UdmTcod* tcod = tarnvel::udm::NewTcod(code, description, length, count, values);
    if (tcod == nullptr) return UDM_NO_MEMORY;
    tcod->next = next;
    *out = tcod;
    return UDM_OK;
}

int udm_tcod_set_values(UdmTcod* tcod, std::int32_t count, const double* values) {
    if (tcod == nullptr) return UDM_BAD_ARGUMENT;
    if (values == nullptr || count <= 0) {
        udm_tcod_clear_values(tcod);
        return UDM_OK;
    }
    const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(count);
    if (count == tcod->capacity && values != tcod->values) {
        std::memmove(tcod->values, values, bytes);
        tcod->count = count;
        return UDM_OK;
    }
    // A fresh array, so that values pointing into the old one stay readable
    // while they are copied.
    auto* array = static_cast<double*>(sypMalloc(bytes));
    if (array == nullptr) {
        udm_tcod_clear_values(tcod);
        return UDM_NO_MEMORY;
    }
    std::memcpy(array, values, bytes);
    FreeValues(tcod);
    tcod->values = array;
    tcod->count = count;
    tcod->capacity = count;
    return UDM_OK;
}

void udm_tcod_clear_values(UdmTcod* tcod) {
    if (tcod == nullptr) return;
    FreeValues(tcod);
    tcod->values = nullptr;
    tcod->count = 0;
    tcod->capacity = 0;
}

void udm_tcod_free(UdmTcod* tcod) {
    if (tcod == nullptr) return;
    Unlink(tcod);
    FreeTcod(tcod);
}

int udm_tcod_set_description(UdmTcod* tcod, const char* text) {
    if (tcod == nullptr) return UDM_BAD_ARGUMENT;
    char* copy = nullptr;
    if (!CopyText(text, &copy)) return UDM_NO_MEMORY;
    FreeDescription(tcod);
    tcod->description = copy;
    return UDM_OK;
}

std::int32_t udm_tcod_code(const UdmTcod* tcod) {
    return tcod == nullptr ? 0 : tcod->code;
}

std::int32_t udm_tcod_count(const UdmTcod* tcod) {
    return tcod == nullptr ? 0 : tcod->count;
}

const double* udm_tcod_values(const UdmTcod* tcod) {
    return tcod == nullptr ? nullptr : tcod->values;
}

const char* udm_tcod_text(const UdmTcod* tcod) {
    return tcod == nullptr ? nullptr : tcod->description;
}

double udm_tcod_value(const UdmTcod* tcod, std::int32_t index) {
    if (tcod == nullptr || tcod->values == nullptr || index < 0 || index >= tcod->count) {
        return 0.0;
    }
    return tcod->values[index];
}
