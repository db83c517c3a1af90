// Reading a UDM file into the current model. The parser of the format
// replaces this file; until it is part of the library every read is refused
// as an unaccepted file, so that no caller takes an empty model for a
// loaded one.
#include "udm/udm.h"

int udm_model_read_file(std::FILE* file, const char* /*path*/, int /*read_mode*/) {
    (void)file;
    return UDM_BAD_ARGUMENT;
}
