#pragma once
// A system that reports whatever version and processor a test gives it.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/os_version.h"
#include "substitutes/fake_installer.h"

namespace fake {

class OsVersion : public platform::OsVersion {
public:
    // The answer to the query with the extended record; nothing: it fails.
    std::optional<platform::OsVersionRecord> extended;
    // The answer to the query with the plain record; nothing: it fails. Only
    // the plain fields are written, as the system does.
    std::optional<platform::OsVersionRecord> plain;
    // What a failing extended query leaves in the record anyway, if anything.
    std::optional<platform::OsVersionRecord> leftByFailedExtended;
    std::uint16_t architecture = 0;

    std::vector<std::uint32_t> sizesPassed;
    int architectureQueries = 0;

    // Both queries answer with this system.
    void report(const platform::OsVersionRecord& record, std::uint16_t processorArchitecture) {
        extended = record;
        plain = record;
        architecture = processorArchitecture;
    }

    bool queryVersion(std::uint32_t recordSize, platform::OsVersionRecord& record) override;
    std::uint16_t processorArchitecture() override {
        ++architectureQueries;
        return architecture;
    }
};

// A workstation or server record with the given numbers, platform Windows NT.
platform::OsVersionRecord NtRecord(std::uint32_t major, std::uint32_t minor, std::uint8_t productType,
                                   std::uint16_t suiteMask = 0, std::uint32_t build = 0);

}  // namespace fake
