// Handle-level calls shared by every kind of kernel object, and the per-thread last error.
#include "handles.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

BOOL CloseHandle(HANDLE hObject) {
    auto object = winapi_linux::LookupObject(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->Closing();
    // Another thread may have closed the same handle meanwhile: only one close succeeds.
    if (!winapi_linux::RemoveObject(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
