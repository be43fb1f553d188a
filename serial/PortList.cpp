// The machine's serial ports, as the registry's serial device map lists them.
#include "BCPort.h"

#include <memory>

namespace {

constexpr DWORD BufferSize = 256;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

} // namespace

void ListSerialPorts(TStrings* Ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        static_cast<LSTATUS>(ERROR_SUCCESS))
        RaiseComPort(15);
    std::unique_ptr<HKEY__, KeyCloser> keyGuard(key);

    auto names = std::make_unique<TStringList>();
    for (DWORD index = 0;; ++index) {
        char name[BufferSize];
        BYTE data[BufferSize];
        DWORD nameLength = BufferSize;
        DWORD dataLength = BufferSize;
        DWORD type = 0;
        const LSTATUS result =
            RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (result == static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)) break;
        if (result != static_cast<LSTATUS>(ERROR_SUCCESS)) RaiseComPort(15);
        // The data is a text; it ends at its terminating null, if it has one.
        std::string port(reinterpret_cast<const char*>(data), dataLength);
        if (auto end = port.find('\0'); end != std::string::npos) port.resize(end);
        names->Add(port);
    }
    names->Sort();
    Ports->Assign(names.get());
}
