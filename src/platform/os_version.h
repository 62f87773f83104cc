#pragma once
// What the system reports about its own version and processor.
#include <cstdint>

namespace platform {

// The fields of the system's extended version record that the program uses.
// The record passed to a query is the one filled in: fields the system does
// not write keep what they held.
struct OsVersionRecord {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::uint16_t suiteMask = 0;
    std::uint8_t productType = 0;
};

// Sizes of the two version records, as the query is told them.
constexpr std::uint32_t kExtendedVersionRecordSize = 284;  // OSVERSIONINFOEXW
constexpr std::uint32_t kPlainVersionRecordSize = 276;     // OSVERSIONINFOW

constexpr std::uint32_t kPlatformWin32Nt = 2;              // VER_PLATFORM_WIN32_NT
constexpr std::uint8_t kProductTypeWorkstation = 1;        // VER_NT_WORKSTATION
constexpr std::uint16_t kSuitePersonal = 0x0200;           // VER_SUITE_PERSONAL
constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;   // PROCESSOR_ARCHITECTURE_AMD64

class OsVersion {
public:
    virtual ~OsVersion() = default;

    // GetVersionExW with `recordSize` as the record's declared size. With the
    // plain size only the fields before `suiteMask` can be written.
    virtual bool queryVersion(std::uint32_t recordSize, OsVersionRecord& record) = 0;

    // The processor architecture of the machine: GetNativeSystemInfo when the
    // system has it (looked up at run time), else GetSystemInfo.
    virtual std::uint16_t processorArchitecture() = 0;
};

}  // namespace platform
