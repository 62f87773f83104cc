#include "package/held_package.h"

#include <cstring>
#include <optional>
#include <vector>

#include "package/extraction.h"
#include "package/file_names.h"
#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/existing_files.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace {

constexpr std::size_t kRandomBytes = 16;          // 128 bits
constexpr std::size_t kCompareChunk = 1u << 16;   // bytes read back at a time
constexpr unsigned kNameAttempts = 16;            // "MSP<n>" names tried in a folder of the run's own
constexpr unsigned kSharedNameAttempts = 100000;  // and in a shared one, where others may have taken many
// The same program may still have a package file open that was just written:
// its hold is tried so many times, so long apart.
constexpr unsigned kHoldAttempts = 5;
constexpr std::uint32_t kHoldRetryMs = 100;

// 26 characters of the lower-case base-32 alphabet for 16 bytes.
std::wstring Base32(const unsigned char* bytes, std::size_t size) {
    static const wchar_t kAlphabet[] = L"abcdefghijklmnopqrstuvwxyz234567";
    std::wstring text;
    unsigned buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        buffer = (buffer << 8) | bytes[i];
        bits += 8;
        while (bits >= 5) {
            text += kAlphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    if (bits > 0) text += kAlphabet[(buffer << (5 - bits)) & 31];
    return text;
}

// True when the held file holds exactly `bytes`, read through its handle.
bool ReadsBackAs(platform::OpenFile& held, const platform::ResourceBytes& bytes) {
    std::vector<unsigned char> buffer(kCompareChunk);
    std::size_t at = 0;
    for (;;) {
        std::size_t got = 0;
        if (!held.read(buffer.data(), buffer.size(), got)) return false;
        if (got == 0) return at == bytes.size;
        if (got > bytes.size - at || std::memcmp(buffer.data(), bytes.data + at, got) != 0) return false;
        at += got;
    }
}

}  // namespace

std::unique_ptr<WorkingFolder> WorkingFolder::Create(std::uint32_t& error) {
    platform::FileSystem& files = *platform::Current().files;
    const bool elevated = files.processElevated();
    // Elevated, never where the user's environment points: a folder the
    // user owns, or a link there, would decide what the installer applies.
    error = platform::kErrorPathNotFound;
    std::vector<std::wstring> places = platform::SystemTempFolders();
    if (!elevated) {
        const std::optional<std::wstring> temp = files.tempFolder();
        if (!temp) error = platform::LastErrorOr(platform::kErrorPathNotFound);
        places.assign(1, temp ? *temp : std::wstring());
    } else if (places.empty()) {
        error = platform::LastErrorOr(platform::kErrorPathNotFound);
    }
    for (const std::wstring& place : places) {
        if (place.empty()) continue;
        // The system's folder as an administrator may have moved it, resolved once.
        std::unique_ptr<platform::HeldFolder> parent =
            elevated ? files.openResolvedFolder(place, error) : files.openFolder(place, error);
        if (!parent) continue;
        unsigned char random[kRandomBytes];
        if (!files.randomBytes(random, sizeof(random))) {
            error = platform::LastErrorOr(platform::kErrorCannotMake);
            return nullptr;
        }
        const std::wstring name = Base32(random, sizeof(random));
        if (parent->path().size() + 1 + name.size() > kMaxPathChars) {
            error = platform::kErrorNameTooLong;
            continue;
        }
        // Someone else's folder of that name is never used: it is not ours to trust.
        std::unique_ptr<platform::HeldFolder> folder = parent->createPrivateFolder(name, !elevated, error);
        if (folder) return std::unique_ptr<WorkingFolder>(new WorkingFolder(std::move(folder)));
    }
    if (error == 0) error = platform::kErrorCannotMake;
    return nullptr;
}

WorkingFolder::~WorkingFolder() {
    platform::RetrySoon([this] { return folder_->remove(); });
}

std::unique_ptr<HeldPackage> HeldPackage::Write(platform::HeldFolder& folder, const std::wstring& resourceName,
                                                std::uint32_t& error, bool keep) {
    platform::ResourceBytes bytes;
    error = CarriedPackageBytes(resourceName, bytes);
    if (error != 0) return nullptr;

    std::wstring name;
    std::unique_ptr<platform::OpenFile> file;
    platform::CreateResult result = platform::CreateResult::Failed;
    for (unsigned attempt = 0; attempt < (keep ? kSharedNameAttempts : kNameAttempts) && !file; ++attempt) {
        name = L"MSP" + std::to_wstring(NextPackageNumber());
        if (folder.path().size() + 1 + name.size() > kMaxPathChars) {
            error = platform::kErrorNameTooLong;
            return nullptr;
        }
        file = folder.createFile(name, platform::CreateMode::NewOnly, result);
        if (!file && result != platform::CreateResult::AlreadyExists) break;
    }
    if (!file) {
        error = platform::LastErrorOr(platform::kErrorCannotMake);
        return nullptr;
    }
    if (!file->write(bytes.data, bytes.size)) {
        error = platform::LastErrorOr(platform::kErrorWriteFault);
        platform::RetrySoon([&] { return file->remove(); });
        return nullptr;
    }
    file->letGo();  // closed before it is held; removed through it when the hold fails

    std::uint32_t holdError = 0;
    std::unique_ptr<platform::OpenFile> held = folder.holdForReaders(name, holdError);
    platform::Clock* clock = platform::Current().clock;
    for (unsigned attempt = 1; !held && holdError == platform::kErrorSharingViolation && attempt < kHoldAttempts &&
                               clock != nullptr;
         ++attempt) {
        clock->sleep(kHoldRetryMs);
        held = folder.holdForReaders(name, holdError);
    }
    if (!held) {
        error = holdError != 0 ? holdError : platform::kErrorCannotMake;
        platform::RetrySoon([&] { return file->remove(); });
        return nullptr;
    }
    if (!ReadsBackAs(*held, bytes)) {
        error = kErrorPackageChanged;
        platform::RetrySoon([&] { return held->remove(); });
        return nullptr;
    }
    return std::unique_ptr<HeldPackage>(new HeldPackage(folder, name, std::move(held), keep));
}

HeldPackage::~HeldPackage() {
    if (!keep_) platform::RetrySoon([this] { return hold_->remove(); });
}

std::unique_ptr<ReportCopy> ReportCopy::Write(const std::wstring& resourceName) {
    std::unique_ptr<ReportCopy> copy(new ReportCopy());
    std::uint32_t error = 0;
    copy->folder_ = platform::HoldTempFolderForCopies(error);
    if (!copy->folder_) return nullptr;
    copy->package_ = HeldPackage::Write(*copy->folder_, resourceName, error, true);
    if (!copy->package_) return nullptr;
    return copy;
}
