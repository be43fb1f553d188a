#include "handles.h"

#include <mutex>
#include <unordered_map>

namespace winapi_linux {
namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values grow by 4 as on Windows and are never reused within a process run,
    // so a stale handle cannot reach a newer object.
    std::uintptr_t next = 0x1000;
};

// Never destroyed: a retired event thread may still close its handles while the
// program's statics are being destroyed.
Table& table() {
    static Table* const instance = new Table;
    return *instance;
}

} // namespace

HANDLE InsertObject(std::shared_ptr<KernelObject> object) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const std::uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveObject(HANDLE handle) {
    std::shared_ptr<KernelObject> doomed; // destroyed outside the lock
    Table& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end()) return false;
    doomed = std::move(it->second);
    t.objects.erase(it);
    return true;
}

std::size_t LiveHandleCount() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.objects.size();
}

} // namespace winapi_linux
