// Test hooks of the Linux registry stand-in (registry.cpp). Only the serial device map
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM exists; its values are found under
// <sysfs root>/class/tty when RegOpenKeyExA opens the key (a snapshot per open key).
//
// Tests point the scan at a fixture tree, or replace it with a fixed list of values.
// The settings are process-wide; call ResetRegistryForTesting() (or hold a
// ScopedRegistryReset) so that later tests see the machine again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winapi_linux {

// The directory that stands for /sys: the scan reads <root>/class/tty. A root without
// class/tty makes the key missing. Also drops a fixed list set below.
void SetSysfsRootForTesting(std::string root);

// The directory that stands for /dev, used when a legacy UART slot must be probed with
// TIOCGSERIAL because its sysfs "type" attribute cannot be read.
void SetDevRootForTesting(std::string root);

// Replaces the scan: the key lists exactly these (value name, data) pairs in this order,
// whatever they contain (empty, duplicate or over-long names and data are kept as they
// are). std::nullopt makes the key missing (RegOpenKeyExA fails with ERROR_FILE_NOT_FOUND).
using SerialDeviceList = std::vector<std::pair<std::string, std::string>>;
void SetSerialDeviceListForTesting(std::optional<SerialDeviceList> values);

// Back to the machine's own /sys and /dev, no fixed list.
void ResetRegistryForTesting();

struct ScopedRegistryReset {
    ScopedRegistryReset() = default;
    ScopedRegistryReset(const ScopedRegistryReset&) = delete;
    ScopedRegistryReset& operator=(const ScopedRegistryReset&) = delete;
    ~ScopedRegistryReset() { ResetRegistryForTesting(); }
};

// Number of keys opened and not yet closed (tests use it to find leaked keys).
std::size_t OpenRegistryKeyCount();

} // namespace winapi_linux
