#include "substitutes/fake_os_version.h"

namespace fake {

bool OsVersion::queryVersion(std::uint32_t recordSize, platform::OsVersionRecord& record) {
    sizesPassed.push_back(recordSize);
    if (Faults().fails("queryVersion", 87)) return false;
    if (recordSize == platform::kExtendedVersionRecordSize && extended) {
        record = *extended;
        return true;
    }
    if (recordSize == platform::kExtendedVersionRecordSize && leftByFailedExtended) {
        record = *leftByFailedExtended;
        return false;
    }
    if (recordSize == platform::kPlainVersionRecordSize && plain) {
        record.majorVersion = plain->majorVersion;
        record.minorVersion = plain->minorVersion;
        record.buildNumber = plain->buildNumber;
        record.platformId = plain->platformId;
        return true;
    }
    return false;
}

platform::OsVersionRecord NtRecord(std::uint32_t major, std::uint32_t minor, std::uint8_t productType,
                                   std::uint16_t suiteMask, std::uint32_t build) {
    platform::OsVersionRecord record;
    record.majorVersion = major;
    record.minorVersion = minor;
    record.buildNumber = build;
    record.platformId = platform::kPlatformWin32Nt;
    record.productType = productType;
    record.suiteMask = suiteMask;
    return record;
}

}  // namespace fake
