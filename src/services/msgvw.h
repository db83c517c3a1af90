// The message catalogue: numbered, formatted messages kept in the text file
// "vxmesage.dat" of the product's data directory, looked up, formatted and
// printed on standard output.
#pragma once

// Looks a message up, formats it with the strings and values and shows it
// on standard output when its flags allow.
void msgPrint(int number, int string_count, const char* const* strings, int value_count,
              const float* values);
// The formatted text of a message (static buffer valid until the next call),
// or null when the number is not in the catalogue. strip removes a final
// line feed.
const char* msgFormat(int number, int value_count, const float* values, int string_count,
                      const char* const* strings, bool strip);
// The record's flags, 0 for a number not in the catalogue.
int msgGetFlags(int number);
// Locates and test-opens the message file: 1 when found, else 0.
int msgFindCatalogue(const char* base_name);
// Reads the catalogue from a path: 1 on success, else 0.
int msgLoadCatalogue(const char* path);

namespace tarnvel::services {

// For tests only: forgets the located file, the loaded catalogue and the
// message output settings, so that the next call locates and loads the
// catalogue again from the current data directory.
void MsgResetCatalogueForTesting();

}  // namespace tarnvel::services
