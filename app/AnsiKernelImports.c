/* Windows 95, 98 and Me implement few Unicode kernel functions; there most of the W entry points
 * only fail with ERROR_CALL_NOT_IMPLEMENTED. The compiler's runtime (libgcc and the C++ library)
 * calls three of them: for its mutexes (unnamed semaphores) and to look for the shared libgcc.
 * These definitions of their import slots, linked into the program ahead of the import library,
 * route those calls to the ANSI functions, which every Windows has. */
#if defined(_WIN32) && !defined(_WIN64)

#include <windows.h>

/* A module name in the ANSI code page; false when it does not fit or does not convert. */
static BOOL NarrowName(LPCWSTR name, char* buffer, int size) {
    return WideCharToMultiByte(CP_ACP, 0, name, -1, buffer, size, NULL, NULL) > 0;
}

static HANDLE WINAPI AnsiCreateSemaphore(LPSECURITY_ATTRIBUTES attributes,
                                         LONG initial,
                                         LONG maximum,
                                         LPCWSTR name) {
    char narrow[MAX_PATH];
    if (name != NULL && !NarrowName(name, narrow, sizeof(narrow))) {
        SetLastError(ERROR_INVALID_NAME);
        return NULL;
    }
    return CreateSemaphoreA(attributes, initial, maximum, name != NULL ? narrow : NULL);
}

static HMODULE WINAPI AnsiGetModuleHandle(LPCWSTR name) {
    char narrow[MAX_PATH];
    if (name == NULL) {
        return GetModuleHandleA(NULL);
    }
    if (!NarrowName(name, narrow, sizeof(narrow))) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return GetModuleHandleA(narrow);
}

static HMODULE WINAPI AnsiLoadLibrary(LPCWSTR name) {
    char narrow[MAX_PATH];
    if (name == NULL || !NarrowName(name, narrow, sizeof(narrow))) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryA(narrow);
}

/* The import slots themselves, under the names the import library would give them. */
__attribute__((used)) void* const ansiCreateSemaphoreSlot __asm__("__imp__CreateSemaphoreW@16") =
    (void*)&AnsiCreateSemaphore;
__attribute__((used)) void* const ansiGetModuleHandleSlot __asm__("__imp__GetModuleHandleW@4") =
    (void*)&AnsiGetModuleHandle;
__attribute__((used)) void* const ansiLoadLibrarySlot __asm__("__imp__LoadLibraryW@4") =
    (void*)&AnsiLoadLibrary;

#endif
