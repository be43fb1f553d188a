// Kernel objects behind HANDLE values on Linux: events and serial devices live in one
// table so that CloseHandle, the waits and the comm functions can tell them apart and
// so that a stale or foreign handle fails cleanly instead of being dereferenced.
#pragma once

#include "winapi.h"

#include <memory>

namespace winapi_linux {

struct KernelObject {
    virtual ~KernelObject() = default;
    // Called by CloseHandle before the handle leaves the table.
    virtual void Closing() {}
};

// Registers an object and returns its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE InsertObject(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null. The shared pointer keeps it alive while a call
// uses it, even when another thread closes the handle meanwhile.
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);

template <class T> std::shared_ptr<T> Lookup(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupObject(handle));
}

// Drops the table's reference; false when the handle was not in the table.
bool RemoveObject(HANDLE handle);

// Number of live handles (tests use it to find leaks).
std::size_t LiveHandleCount();

} // namespace winapi_linux
