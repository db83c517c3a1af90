#include "services/sypenv.h"

#include <cstdlib>

int sypSetEnvironment(const char* name, const char* value) {
    if (!name || !*name || !value) return 0;
    return setenv(name, value, 1) == 0 ? 1 : 0;
}

int sypUnsetEnvironment(const char* name) {
    if (!name || !*name) return 0;
    return unsetenv(name) == 0 ? 1 : 0;
}
