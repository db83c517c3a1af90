// The product environment: product variables resolved through the process
// environment, the two registry hives (ini files), the ini file beside the
// executable and a default table; the product configuration; the build
// information and the version banner.
#pragma once

// Copies at most 255 characters of the release text used in the registry key.
void envSetRelease(const char* release);
// Makes a product current and resolves its directories; false when one of
// them cannot be found (reported when report is set).
bool envSelectProduct(int product_index, bool report);
// Value of a product variable by generic name, or of a plain name.
const char* envGetValue(const char* name);
// The current product's lookup name for a generic name; the argument itself
// when it is no generic name.
const char* envGetVariableName(const char* name);
// Cached value of a variable, resolving it on first use.
const char* envGetValueByIndex(int index);
// The default directory or file of a variable.
const char* envDefaultValue(int index);
// Name of the current product (static buffer).
const char* envGetProductName();
// The product's registry key (static buffer).
const char* envGetRegistryKey();
// The lookup chain for one name (static buffer), or null.
const char* envLookup(const char* name);
// The home directory (static buffer), or null.
const char* envHomeDirectory();
// Handles -ver, -verdbg (banner, exit 0) and -product NAME.
void envHandleVersionOptions(int first_year, int argc, char** argv);

const char* buildGetRelease(char* buffer);
const char* buildGetCode(char* buffer);
const char* buildGetNumber(char* buffer);
void buildSelectByCode(const char* code);
int buildCurrentIndex();

// For tests only: forgets every table, cached value, the chosen product and
// the release text of the product environment, and the build table, so that
// the next call starts as in a fresh process. Texts handed out before become
// invalid.
void envResetForTesting();
