// Setting and clearing process environment variables, for the tools that
// point the database locations (VTPATH and the like) at a folder.
#pragma once

// Sets name to value (replacing an earlier value): 1 or 0.
int sypSetEnvironment(const char* name, const char* value);
// Removes name from the environment: 1 or 0.
int sypUnsetEnvironment(const char* name);
