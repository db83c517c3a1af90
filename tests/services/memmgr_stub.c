/* A stand-in external memory manager, built as libmemmgr.so for the memory
 * manager's selection tests. It names itself after MEMMGR_STUB_TYPE, counts
 * the calls of each entry point and serves them from the C runtime. Built
 * with MEMMGR_STUB_PARTIAL it lacks mmFree. */
#include <stdlib.h>
#include <wchar.h>

/* Calls of mmMalloc, mmCalloc, mmRealloc and mmFree, in that order. */
long mmStubCalls[4];

static wchar_t stub_type[64];

const wchar_t* mmGetMemoryManagerType(void) {
    const char* type = getenv("MEMMGR_STUB_TYPE");
    if (type == NULL || mbstowcs(stub_type, type, 63) == (size_t)-1) return NULL;
    return stub_type;
}

void* mmMalloc(size_t size) {
    ++mmStubCalls[0];
    return malloc(size);
}

void* mmCalloc(size_t count, size_t size) {
    ++mmStubCalls[1];
    return calloc(count, size);
}

void* mmRealloc(void* block, size_t size) {
    ++mmStubCalls[2];
    return realloc(block, size);
}

#ifndef MEMMGR_STUB_PARTIAL
void mmFree(void* block) {
    ++mmStubCalls[3];
    free(block);
}
#endif
