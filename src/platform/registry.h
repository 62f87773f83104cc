#pragma once
// Reads of the machine's registry: the few values the own log tells of.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class RegistryPresence {
    Absent,      // the key or value is not there
    Present,     // it is there (and, for a value, was read)
    Unreadable,  // it may be there, but cannot be read: the system's error says why
};

struct RegistryEntry {
    RegistryPresence presence = RegistryPresence::Absent;
    std::uint32_t error = 0;             // the system's error code when Unreadable
    std::vector<std::wstring> strings;   // a string value's strings, in order, the empty ones included
};

class Registry {
public:
    virtual ~Registry() = default;
    // Key `key` of HKEY_LOCAL_MACHINE, or its value `name` when one is given,
    // in the system's own view (a 32-bit program on 64-bit Windows sees the
    // 64-bit keys, not its redirected copies).
    virtual RegistryEntry machine(const std::wstring& key, const std::wstring& name) = 0;
};

}  // namespace platform
