#pragma once
// Resources of a loaded module: embedded files and string tables.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Opaque handle of a loaded module (the running executable).
using ModuleHandle = void*;

struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

class Resources {
public:
    virtual ~Resources() = default;

    // The bytes of the resource `name` of type `type`; nothing when the
    // resource is missing (the last error 1813, 1814 or 1815) or cannot be
    // loaded (another last error). The bytes live as long as the module.
    virtual std::optional<ResourceBytes> find(ModuleHandle module, const std::wstring& type,
                                              const std::wstring& name) = 0;

    // String `id` as the system's loader picks it for the calling thread;
    // nothing when the string is missing or empty.
    virtual std::optional<std::wstring> loadString(ModuleHandle module, unsigned id) = 0;

    // String `id` from the table of exactly `langId`; nothing when that
    // language has no such string.
    virtual std::optional<std::wstring> loadStringInLanguage(ModuleHandle module, unsigned id,
                                                             std::uint16_t langId) = 0;
};

}  // namespace platform

// The running executable, recorded by the entry point before any action runs;
// every string and embedded package is read through it.
extern platform::ModuleHandle ModuleInstance;
