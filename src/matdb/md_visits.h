// The records that walks over on-disk links have reached, per database slot
// and file. A list or chain whose links lead back to a record it already
// passed, or into a record of another list, is damaged: without this log a
// walk would go round the loop until the file's record count, and lists
// that share their records would be walked once for every list.
//
// Every record is noted with its owner (the list it belongs to: 0 for the
// supplier list, the supplier record for a grade list, the grade record for
// its data chains) and the walk that last reached it. A record reached
// again by the same walk, or by a walk of another owner, is damage. The log
// is kept while the slot stays open, so that the grade lists of different
// suppliers, or the chains of different grades, cannot share records
// unnoticed; it costs one entry per record reached.
#pragma once

#include "matdb/rax_records.h"

namespace tarnvel::matdb {

// A new walk (never 0).
int NewWalk();

// Notes that walk reached record number of the kind of file in slot, as a
// record of owner's list. False when the record was reached before by the
// same walk or belongs to another owner: the links are damaged.
bool Visit(int slot, RaxFileKind kind, int owner, int walk, int number);

// Forgets the records of one file of a slot (a walk over the whole list
// starts), or of all three files (the slot was closed).
void ForgetVisits(int slot, RaxFileKind kind);
void ForgetAllVisits(int slot);

}  // namespace tarnvel::matdb
