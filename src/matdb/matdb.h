// The material database access layer: four database slots over the RAX
// record files, walks over their suppliers and grades, finding a grade by
// name, reading a whole grade with its property items (generic links
// resolved against the Standard database) and writing a grade back.
//
// All state is process-wide and single-threaded. Failures are reported by
// the result (0, a null grade, a position whose valid flag is 0) and by a
// line printed through the console output (vt_out).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The four database slots, in table order, and the special slot values of a
// position.
enum MdSlot : int {
    MD_STANDARD = 0,
    MD_COMPANY = 1,
    MD_PROJECT = 2,
    MD_LOCAL = 3,
    // Every open database, starting with the highest slot (search order
    // Local, Project, Company, Standard).
    MD_ALL_OPEN = -1,
    // No database.
    MD_NO_SLOT = -2,
    // Every writable database, starting with the highest slot.
    MD_ALL_WRITABLE = -3,
};

// The highest slot number.
inline constexpr int kMdHighestSlot = 3;

// md_open modes and results.
enum MdOpenMode : int { MD_READ = 0, MD_WRITE = 1, MD_CREATE = 2 };
enum MdOpenResult : int {
    MD_OPEN_FAILED = 0,
    MD_OPENED_READ = 1,
    MD_OPENED_WRITE = 2,
    MD_CREATED = 3
};

// Property item formats.
enum MdFormat : int {
    MD_SINGLE_POINT = 1,
    MD_STANDARD_POINTS = 2,
    MD_COEFFICIENTS = 4,
    MD_TEXT = -13,
    MD_TEXT_QUOTED = -14,
};

// A walk position, passed and returned by value. Offsets are byte offsets
// of records in the supplier and grade files; -2 means none, and a supplier
// offset of -1 asks the grade walk to begin with the first supplier.
struct MdPosition {
    int slot = MD_NO_SLOT;
    int supplier = -2;
    int grade = -2;
    int valid = 0;
    // The slot value the walk was started with (-1, -3 or a slot), so that
    // a walk over several databases moves on to the next one.
    int scope = MD_NO_SLOT;
    // The walks over the supplier list and the grade list that reached this
    // position (0 for a position a find gave): a walk reaches every record
    // at most once, so a list whose links loop or cross ends the walk.
    int supplier_walk = 0;
    int grade_walk = 0;
};

// One 32-bit value word of a property item: a single-precision number for
// the numeric formats (a few properties store integers, e.g. the first two
// Shrinkage coefficients).
struct MdWord {
    std::uint32_t bits = 0;

    static MdWord Real(float value);
    static MdWord Integer(std::int32_t value);
    float real() const;
    std::int32_t integer() const;
    bool operator==(const MdWord&) const = default;
};

// One property item of a grade.
struct MdProperty {
    // Property number of the catalogue (1 to 109); 0 marks an item to drop.
    int property = 0;
    // One of MdFormat.
    int format = 0;
    // Model number of a viscosity coefficient list, else 0.
    int model = 0;
    // Column variables of standard points (variable numbers 1 to 13), in
    // column order.
    std::vector<int> variables;
    // The values: one for a single point; rows x (variables + 1) for
    // standard points, each row the variable values then the property value;
    // the coefficients of a coefficient list. Empty for a text item.
    std::vector<MdWord> values;
    // The text of a text item (formats -13 and -14).
    std::string text;
    // Set on an item read from an extended entry that carries the
    // Standard-build flag.
    int standard = 0;
    // Set on every item that came in through a generic link.
    int inherited = 0;
    // Set on a generic-link item once its target was merged.
    int link_followed = 0;

    bool operator==(const MdProperty&) const = default;
};

// One grade with its items.
struct MdGrade {
    // Upper case, at most 10 characters.
    std::string supplier;
    // Upper case, at most 6 characters.
    std::string code;
    // Upper case, at most 80 characters.
    std::string description;
    std::vector<MdProperty> items;
};

// A supplier record as md_read_supplier_details gives it.
struct MdSupplierDetails {
    // The 10-character name field, trailing blanks removed.
    std::string name;
    int grade_count = 0;
};

// Opening and closing. md_open gives 0 on failure, 1 read, 2 write,
// 3 created.
int md_open(int slot, int mode);
// Record-file codes: 0 Standard (read), 1 Local write, 2 Project write,
// 3 Company write, 4 to 7 the same databases created; negative codes are
// taken by their absolute value.
int md_fopen(int code);
// Record-file codes: 0 Standard, 1 Local, 2 Project, 3 Company.
void md_fclos(int code);
void md_close(int slot);
// A slot open for writing (or created) works on private copies of its
// three files; the files themselves change only when the copies are saved
// over them, all three together, so that a write cut short by a failure or
// a signal leaves the database as it was. md_close saves the changes (a
// failure is printed) and closes the slot; md_commit does the same and
// gives 1 when the changes are saved (or there were none), 0 when not;
// md_discard closes the slot throwing the changes away.
int md_commit(int slot);
void md_discard(int slot);
// The grade writes into the slot that failed since it was opened.
int md_write_failures(int slot);
// Closes Standard, Local, Project and Company, in that order (saving).
void md_close_all();
// The sum of md_open(slot, 0) for Local, Project, Company, Standard.
int md_open_all();

// The database name of a slot ("Standard", "Company", "Project", "Local"),
// or "" for any other value.
const char* md_database_name(int slot);
// The slot's open state: 0 closed, 1 read, 2 write, 3 created.
int md_open_state(int slot);
// 1 when the slot is open for writing.
int md_writable(int slot);
// The slot last opened for writing, or -2.
int md_current_write_database();

// A position at the start of a walk over slot (a slot, -1 or -3).
MdPosition md_position(int slot);

// Walks.
MdPosition md_first_supplier(MdPosition position);
MdPosition md_next_supplier(MdPosition position);
MdPosition md_first_grade(MdPosition position);
MdPosition md_next_grade(MdPosition position);
// Finds a supplier (first blank-delimited word of the record, any case)
// in the position's database(s). When none matches, the position keeps the
// last supplier record of the list (valid 0).
MdPosition md_find_supplier(MdPosition position, const char* supplier);
// Finds a grade among the position's supplier's grades (first
// blank-delimited word, any case). When none matches, the position keeps
// the last grade record of the list (valid 0).
MdPosition md_find_grade(MdPosition position, const char* grade);
// Finds supplier and grade in slot, or with -1 in every open database in
// search order; with -1 a supplier text "db.SUPPLIER" names the database.
MdPosition md_find(int slot, const char* supplier, const char* grade);

// Reading.
std::unique_ptr<MdSupplierDetails> md_read_supplier_details(MdPosition position);
std::unique_ptr<MdGrade> md_read_grade_header(MdPosition position);
std::unique_ptr<MdGrade> md_read_grade(MdPosition position);
std::unique_ptr<MdGrade> md_read_by_name(int slot, const char* supplier, const char* grade);
// Opens every database for reading on its first call. Returns 1 when the
// grade was found (see md_export_grade), 0 otherwise. The supplier text is
// taken literally.
int md_find_for_export(const char* supplier, const char* grade, const char* database);
// The grade and position found by the last successful md_find_for_export.
const MdGrade* md_export_grade();
MdPosition md_export_position();

// Writing: slot, -1 (the first writable database in search order) or -3.
void md_write_grade(int slot, const MdGrade* grade);
// The same, telling whether the grade was stored (1) or not (0).
int md_store_grade(int slot, const MdGrade* grade);

// The version text of the Standard database (the first supplier whose name
// begins with "$"), looked up on every open of Standard; empty when none.
std::optional<std::string> md_database_version();
// The same lookup in any open slot, without the cache.
std::optional<std::string> md_slot_version(int slot);

// Grade item helpers shared with the callers: the catalogue ordering with
// the duplicate rule, and the merge of B into A (A's data wins; B is
// consumed).
void md_sort_items(MdGrade& grade);
void md_merge_grade(MdGrade& into, MdGrade from);
// Merges linked grades into a grade as md_merge_grade called for each in
// turn would, after marking its items inherited, but sorting only once: the
// grade's own data wins, then the first grade given. The linked grades stay
// as they are; only the items taken are copied.
void md_merge_linked(MdGrade& into, const std::vector<const MdGrade*>& linked);

// Warnings that the user of a conversion must see even where the layer's
// messages are discarded (a generic link whose grade cannot be read): each
// is printed as the other messages are and also kept, in order, until taken
// here.
std::vector<std::string> md_take_notices();
