#pragma once
// Move-only owner of one Windows handle (or C runtime stream), closed exactly once.

#include <windows.h>

#include <cstdio>
#include <utility>

namespace netrefit {

template <typename T, typename Traits>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    T get() const { return value_; }
    bool valid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    // Closes the current value (if any) and takes ownership of the new one.
    void reset(T value = Traits::Invalid()) {
        T old = value_;
        value_ = value;
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

    T release() {
        T old = value_;
        value_ = Traits::Invalid();
        return old;
    }

    // For out-parameters of creating calls: closes the current value first.
    T* put() {
        reset();
        return &value_;
    }

  private:
    T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // events, mutexes, threads, processes, mappings, jobs
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile results
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct LibraryTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct ViewTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { ::UnmapViewOfFile(p); }
};
struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { ::DestroyIcon(h); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
struct StreamTraits {
    static FILE* Invalid() { return nullptr; }
    static void Close(FILE* f) { ::fclose(f); }
};
struct SidTraits {  // AllocateAndInitializeSid results
    static PSID Invalid() { return nullptr; }
    static void Close(PSID s) { ::FreeSid(s); }
};

using KernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using FileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using FindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using RegKey = UniqueHandle<HKEY, RegKeyTraits>;
using Library = UniqueHandle<HMODULE, LibraryTraits>;
using MappedView = UniqueHandle<void*, ViewTraits>;
using IconHandle = UniqueHandle<HICON, IconTraits>;
using GdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;
using Stream = UniqueHandle<FILE*, StreamTraits>;
using SidHandle = UniqueHandle<PSID, SidTraits>;

}  // namespace netrefit
