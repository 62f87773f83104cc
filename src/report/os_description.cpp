#include "report/os_description.h"

#include <cstdint>

#include "platform/os_version.h"
#include "platform/services.h"

namespace {

// The name for a reported version, or nothing when the version has no name
// of its own (the caller's text then stays).
const wchar_t* SystemName(std::uint32_t major, std::uint32_t minor, bool workstation, bool amd64) {
    if (major == 6) return workstation ? L"Windows Vista " : L"Windows Server \"Longhorn\" ";
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
// description holds, named or not, so it may follow it without a space.
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
    if (const wchar_t* name = SystemName(record.majorVersion, record.minorVersion, workstation, amd64)) {
        description = name;
    }
    if (extended && workstation && !amd64) {
        description += EditionText(record.majorVersion, record.suiteMask);
    }
}
