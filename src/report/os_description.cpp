#include "report/os_description.h"

#include <cstdint>

#include "platform/os_version.h"
#include "platform/services.h"

namespace {

// The name of a Windows 10 or later server, told apart by its build.
const wchar_t* ServerName10(std::uint32_t build) {
    switch (build) {
        case 14393:
            return L"Windows Server 2016 ";
        case 17763:
            return L"Windows Server 2019 ";
        case 20348:
            return L"Windows Server 2022 ";
        case 26100:
            return L"Windows Server 2025 ";
        default:
            return L"Windows Server ";
    }
}

// The name for a reported version, or nothing when the version has no name
// of its own (the caller's text then stays). The build only chooses a name;
// it is never shown.
const wchar_t* SystemName(std::uint32_t major, std::uint32_t minor, std::uint32_t build, bool workstation,
                          bool amd64) {
    if (major == 10 && minor == 0) {
        if (workstation) return build < 22000 ? L"Windows 10 " : L"Windows 11 ";
        return ServerName10(build);
    }
    if (major == 6) {
        switch (minor) {
            case 0:
                return workstation ? L"Windows Vista " : L"Windows Server 2008 ";
            case 1:
                return workstation ? L"Windows 7 " : L"Windows Server 2008 R2 ";
            case 2:
                return workstation ? L"Windows 8 " : L"Windows Server 2012 ";
            case 3:
                return workstation ? L"Windows 8.1 " : L"Windows Server 2012 R2 ";
            default:
                return nullptr;
        }
    }
    if (major == 5) {
        switch (minor) {
            case 2:
                return workstation && amd64 ? L"Microsoft Windows XP Professional x64 Edition "
                                            : L"Microsoft Windows Server 2003";
            case 1:
                return L"Microsoft Windows XP ";
            case 0:
                return L"Microsoft Windows 2000 ";
            default:
                return nullptr;
        }
    }
    if (major <= 4) return L"Microsoft Windows NT ";
    return nullptr;
}

// The edition word of a workstation. It is appended to whatever the
// description holds, named or not.
const wchar_t* EditionText(std::uint32_t major, std::uint16_t suiteMask) {
    if (major == 4) return L"Workstation 4.0 ";
    if ((suiteMask & platform::kSuitePersonal) != 0) return L"Home Edition ";
    return L"Professional ";
}

}  // namespace

void DescribeOperatingSystem(std::wstring& description, FourPartVersion& version) {
    platform::OsVersion& os = *platform::Current().osVersion;

    // One record, zeroed once: when only the plain query succeeds, the
    // extended fields read 0.
    platform::OsVersionRecord record;
    const bool extended = os.queryVersion(platform::kExtendedVersionRecordSize, record);
    if (!extended && !os.queryVersion(platform::kPlainVersionRecordSize, record)) return;

    const std::uint16_t architecture = os.processorArchitecture();
    if (record.platformId != platform::kPlatformWin32Nt) return;

    version.set(static_cast<std::uint16_t>(record.majorVersion), static_cast<std::uint16_t>(record.minorVersion), 0,
                0);

    const bool workstation = record.productType == platform::kProductTypeWorkstation;
    const bool amd64 = architecture == platform::kProcessorArchitectureAmd64;
    if (const wchar_t* name =
            SystemName(record.majorVersion, record.minorVersion, record.buildNumber, workstation, amd64)) {
        description = name;
    }
    if (extended && workstation && !amd64) {
        // People read the words apart: never "WindowsProfessional".
        if (!description.empty() && description.back() != L' ') description += L' ';
        description += EditionText(record.majorVersion, record.suiteMask);
    }
}
