// The UDM library: in-memory models of the UDM file format and their
// property sets, with whole-file writing and reading.
//
// A model holds a title, a global keyword store, a summary of entity counts
// and twenty typed entity collections. Most operations work on the calling
// thread's current model, chosen with udm_model_select (udm_model_open
// selects the model it opens). Every operation returns an int status (0 on
// success, otherwise a UdmStatus) or a pointer that is null on failure.
// Texts and values handed in are copied; the library owns its copies.
#pragma once

#include <cstdint>
#include <cstdio>

struct UdmModel;
struct UdmStream;
struct UdmTset;

// Status values of the UDM operations.
enum UdmStatus : int {
    UDM_OK = 0,
    // The model has no class table (it is not initialised).
    UDM_NO_CLASS_TABLE = 501,
    // Memory exhausted / missing argument in the NURBS geometry helpers.
    UDM_NURBS_NO_MEMORY = 1001,
    UDM_NURBS_MISSING_ARGUMENT = 1002,
    // Missing or invalid argument; unreadable file or unaccepted encoding.
    UDM_BAD_ARGUMENT = 1003,
    UDM_NO_MEMORY = 1012,
    UDM_PARSE_FAILED = 1020,
    UDM_CANNOT_CREATE = 1021,
    // Entity, TCOD, global group or entry not found.
    UDM_NOT_FOUND = 1026,
    // Key already in use (in the class, or an element label in another
    // element class).
    UDM_KEY_IN_USE = 1032,
    UDM_FREE_FAILED = 1033,
    // Class number outside 0..19, or a class whose entity family is absent.
    UDM_BAD_CLASS = 1034,
    UDM_ALREADY_INITIALISED = 1044,
    UDM_NOT_INITIALISED = 1045,
    UDM_NO_CURRENT_MODEL = 1046,
    UDM_NOT_IN_COLLECTION = 1048,
    // Property-file layer: missing argument or failed file step.
    UDM_TYPED_BAD_ARGUMENT = -21,
    // Property-file layer: model not initialised, or no type.
    UDM_TYPED_NO_TYPE = -22,
    // Property-file layer: write or release failure.
    UDM_TYPED_WRITE_FAILED = -34,
};

// Entity classes. The number fixes the collection, the file keyword, the
// summary counter and the order of writing.
enum UdmClass : int {
    UDM_CLASS_COLR = 0,
    UDM_CLASS_LYER = 1,
    UDM_CLASS_TSET = 2,
    UDM_CLASS_VIEW = 3,
    UDM_CLASS_NODE = 4,
    UDM_CLASS_TEXT = 5,
    UDM_CLASS_1DET = 6,
    UDM_CLASS_TRI3 = 7,
    UDM_CLASS_CURV = 8,
    UDM_CLASS_SURF = 9,
    UDM_CLASS_REGN = 10,
    UDM_CLASS_NDBC = 11,
    UDM_CLASS_SUBC = 12,
    UDM_CLASS_CTPL = 13,
    UDM_CLASS_LOCS = 14,
    UDM_CLASS_TET4 = 15,
    UDM_CLASS_STLR = 16,
    UDM_CLASS_BLOB = 17,
    UDM_CLASS_WEDG = 18,
    UDM_CLASS_INTE = 19,
    // Pseudo-class for lookups over the five element classes.
    UDM_CLASS_ANY_ELEMENT = 21,
};

// Number of entity classes.
inline constexpr int UDM_CLASS_COUNT = 20;
// The key2 of entities keyed by label alone (the largest signed 32-bit value).
inline constexpr std::int32_t UDM_KEY_NONE = 2147483647;

// Read and write modes.
enum UdmMode : int {
    UDM_MODE_TEXT = 0,
    UDM_MODE_PACKED = 1,
    // Read: text or packed. Write: the encoding the model was loaded in.
    UDM_MODE_AS_LOADED = 2,
};

// Slots of the title record that hold text.
enum UdmTitleSlot : int {
    UDM_TITLE_NAME = 0,
    UDM_TITLE_VRSN = 1,
    UDM_TITLE_KEYW = 2,
    UDM_TITLE_DATE = 3,
    UDM_TITLE_TIME = 4,
};

// One property code entry of a property set: an integer code, a text and a
// vector of doubles. Read it through the udm_tcod_* functions.
struct UdmTcod {
    std::int32_t code;
    // Number of values.
    std::int32_t count;
    // Allocated values; equal to count after every assignment.
    std::int32_t capacity;
    // Which of values and description live in the entry's own block (bits
    // of the library's, 0 when both were allocated apart).
    std::int32_t in_block;
    // Owned text, may be null; textual property values live here.
    char* description;
    // Owned array of count doubles, null when count is 0.
    double* values;
    // The set the entry belongs to, null while detached.
    UdmTset* owner;
    // The next entry in ascending code order.
    UdmTcod* next;
};

// The payload of a property set (class TSET); its type and label are the
// keys of its entity header.
struct UdmTset {
    // Owned text, may be null.
    char* description;
    // The entries in ascending code order; codes are unique.
    UdmTcod* codes;
    // A second list that this program never fills (released with the set).
    UdmTcod* extra;
};

// ---- Model lifecycle -------------------------------------------------------

// Allocates an uninitialised model (flags 0, active layer -1).
int udm_model_alloc(UdmModel** out);
// Initialises the current model: collections, title defaults, global store.
int udm_model_init();
// Allocates, initialises and selects a new model; with a path, loads the
// file (read mode as in udm_model_read). On a load failure the model is
// destroyed, *out becomes null and the previous model is selected again.
int udm_model_open(const char* path, int read_mode, UdmModel** out);
// Makes the model current on this thread (null clears the selection).
void udm_model_select(UdmModel* model);
UdmModel* udm_model_current();
// Frees every entity, title text and global of the current model and clears
// its initialised flag.
int udm_model_clear();
// Frees a model record (clearing it first when it is still initialised).
void udm_model_free(UdmModel* model);
// Clears and frees *model, sets it to null and selects the model that was
// current before (none when that was this one).
int udm_model_destroy(UdmModel** model);
// Reads a file into the current model: read mode 0 text, 1 packed, 2 both.
int udm_model_read(const char* path, int read_mode);
int udm_model_load(const char* path);
// Reads from an open file into the current model.
int udm_model_read_file(std::FILE* file, const char* path, int read_mode);
// What the last read on this thread dropped while recovering from errors in
// its input: the number of constructs dropped, and the first message with
// its line ("Line 12: parse error ..."; empty when nothing was dropped).
// Counted whether or not the reader prints its messages.
int udm_read_dropped_count();
const char* udm_read_first_message();
// The encoding the last read on this thread detected (0 when the file
// could not be opened as UDM), so a caller need not open the file again.
int udm_read_encoding();
// Writes the current model: write mode 0 text, 1 packed, 2 as loaded.
// Nothing happens (0) without a path or a current model; 1021 when the file
// cannot be created or written; 1003 when a text mode was asked for and the
// model holds a text whose quoted form (escapes included) is longer than the
// 4095 bytes a text file carries; the packed encoding carries any text. The
// file at path stays as it was on every failure.
int udm_model_write(const char* path, int write_mode);
int udm_model_write_packed(const char* path);
int udm_model_save(const char* path);
// Writes the current model to an open file.
int udm_model_write_file(std::FILE* file, const char* path, int write_mode);

// Title stamps. Every write fills KEYW, DATE and TIME of the title: from
// the clock (local time, KEYW pseudo-random), or, when the environment
// variable SOURCE_DATE_EPOCH holds a count of seconds since 1970, from that
// moment in UTC with a KEYW that depends on it alone, so that the same model
// gives the same bytes. With keep set (per thread) writes leave the three
// slots as they stand; the previous setting is returned.
int udm_write_keep_stamps(int keep);
// SOURCE_DATE_EPOCH: 1 and *seconds when it holds decimal digits only (up
// to the last second of the year 9999), 0 when unset or empty, -1 for any
// other text (writes then stamp from the clock).
int udm_source_date_epoch(std::int64_t* seconds);

// ---- Title and globals ------------------------------------------------------

// Replaces each given slot (NAME, KEYW, DATE, TIME, VRSN); null leaves it.
int udm_title_set(const char* name, const char* keyword, const char* date, const char* time,
                  const char* version);
const char* udm_title_name();
int udm_title_set_name(const char* text);
// Any text slot of the title record, or null.
const char* udm_title_text(int slot);
// The UDM version number of the current model; 4 without a current model.
int udm_file_version();
// Parses "UDM V" and a decimal number (prefix without regard to case).
int udm_set_file_version(const char* text);
// Creates or replaces a global entry (keyword stored as its first 5
// characters; a null value is stored as an empty text).
int udm_global_set(const char* keyword, const char* key, const char* value);
// *value receives the stored text (owned by the model).
int udm_global_get(const char* keyword, const char* key, const char** value);
// Calls visit for every global entry, groups in keyword order and entries
// in key order (byte order); an empty group is not visited.
int udm_global_visit(void (*visit)(const char* keyword, const char* key, const char* value,
                                   void* context),
                     void* context);
int udm_active_layer();
int udm_set_active_layer(int layer);

// ---- Entities -----------------------------------------------------------------

// Creates an entity with the given keys (zero-filled payload, no
// initialiser); *payload (may be null) receives its payload. Entities keyed
// by label alone always get UDM_KEY_NONE as key2.
int udm_entity_create(int entity_class, std::int32_t key1, std::int32_t key2, void** payload);
// Creates and initialises an entity: TSET (type, label or 0 for the next
// label), BLOB (type, always label 1), other classes (label or 0).
void* udm_entity_new(int entity_class, std::int32_t key1, std::int32_t key2);
// Finds an entity by key; class 21 searches the element classes.
int udm_entity_find(int entity_class, std::int32_t key1, std::int32_t key2, void** payload);
// The first entity of a class (of one type for TSET and BLOB when type is
// not 0); for 21 the smallest label over the element classes.
void* udm_entity_first(int entity_class, std::int32_t type);
// The entity after the given key in collection order.
void* udm_entity_next(int entity_class, std::int32_t key1, std::int32_t key2);
// key1 of the entity: the type of TSET and BLOB, the label otherwise.
std::int32_t udm_entity_type(const void* payload);
// The label of the entity: key2 of TSET and BLOB, key1 otherwise.
std::int32_t udm_entity_label(const void* payload);
// The class number of the entity, -1 for null.
int udm_entity_class(const void* payload);
int udm_entity_delete(void* payload);
int udm_class_clear(int entity_class);
// The next free label of a class (of one type for TSET).
std::int32_t udm_next_label(int entity_class, std::int32_t type);
// The number of entities in a class (21: all element classes).
int udm_class_count(int entity_class);

// Header fields. Colour and layer exist for classes 4 to 19 except CTPL and
// BLOB; the setters give 1003 for a missing entity or a class without the
// field.
int udm_entity_colour(const void* payload);
int udm_entity_set_colour(void* payload, int colour);
int udm_entity_layer(const void* payload);
int udm_entity_set_layer(void* payload, int layer);
// The 8-bit per-class value (the display code of drawable classes).
int udm_entity_display(const void* payload);
int udm_entity_set_display(void* payload, int value);
// The per-class flags: bit 6 or bit 7 of the class byte.
int udm_entity_flag(const void* payload, int bit);
int udm_entity_set_flag(void* payload, int bit, int on);

// ---- Property sets --------------------------------------------------------------

const char* udm_tset_description(const UdmTset* tset);
int udm_tset_set_description(UdmTset* tset, const char* text);
// Frees the set's codes and adopts the list (kept sorted, codes unique).
int udm_tset_set_codes(UdmTset* tset, UdmTcod* list);
// Inserts the entry in code order, replacing an entry with the same code.
int udm_tset_put_code(UdmTcod* tcod, UdmTset* tset);
// The entry with that code; when absent and create is non-zero, a new empty
// entry.
UdmTcod* udm_tset_code(UdmTset* tset, std::int32_t code, int create);
int udm_tset_remove_code(UdmTset* tset, std::int32_t code);
// Creates a set in the current model (label 0: next free label of the type)
// and adopts the codes. On failure the codes stay the caller's.
int udm_tset_create(std::int32_t type, std::int32_t label, const char* description, UdmTcod* codes,
                    UdmTset** out);
// Replaces the target's description and codes with deep copies of the
// source's.
int udm_tset_copy(UdmTset* target, const UdmTset* source);

// ---- Property code entries ----------------------------------------------------------

// A detached entry with copies of the description and values.
int udm_tcod_new(std::int32_t code, const char* description, std::int32_t count,
                 const double* values, UdmTcod* next, UdmTcod** out);
int udm_tcod_set_values(UdmTcod* tcod, std::int32_t count, const double* values);
void udm_tcod_clear_values(UdmTcod* tcod);
// Frees the entry (unlinking it from its set first when it has one).
void udm_tcod_free(UdmTcod* tcod);
int udm_tcod_set_description(UdmTcod* tcod, const char* text);
std::int32_t udm_tcod_code(const UdmTcod* tcod);
std::int32_t udm_tcod_count(const UdmTcod* tcod);
const double* udm_tcod_values(const UdmTcod* tcod);
const char* udm_tcod_text(const UdmTcod* tcod);
// 0.0 when the entry is missing, has no values or the index is not below
// count.
double udm_tcod_value(const UdmTcod* tcod, std::int32_t index);

// ---- Model merge ------------------------------------------------------------------------

// Copies every entity of source into target, relabelling on clashes.
// Always 0.
int udm_model_merge(UdmModel* target, UdmModel* source);

// ---- Property files (models of property sets of one type) -------------------------

UdmModel* udm_typed_open(const char* path, int read_mode);
int udm_typed_type(UdmModel* model);
int udm_typed_count(UdmModel* model);
int udm_typed_set_type(UdmModel* model, int type);
int udm_typed_save(UdmModel* model, const char* path, int write_mode);
// Clears and frees the model and selects the previous model again (none
// when that was this one). -34 when the model cannot be cleared (it is not
// initialised): it stays the caller's.
int udm_typed_close(UdmModel* model);
