#include "package/held_package.h"

#include <cstring>
#include <optional>
#include <vector>

#include "package/extraction.h"
#include "package/file_names.h"
#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace {

constexpr std::size_t kRandomBytes = 16;          // 128 bits
constexpr std::size_t kCompareChunk = 1u << 16;   // bytes read back at a time
constexpr unsigned kNameAttempts = 16;            // "MSP<n>" names tried in a folder
// A file that another program (a virus scanner, say) still has open is gone
// only once that program lets go of it: so many tries, so long apart.
constexpr unsigned kRemoveAttempts = 10;
constexpr std::uint32_t kRemoveRetryMs = 50;

// Numbers the package files of the process, so that no two share a name.
unsigned g_nextPackageNumber = 1;

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

// Tries `remove` until it succeeds, a few times.
template <typename Remove>
void RemoveSoon(Remove remove) {
    platform::Clock* clock = platform::Current().clock;
    for (unsigned attempt = 1; !remove() && attempt < kRemoveAttempts && clock != nullptr; ++attempt) {
        clock->sleep(kRemoveRetryMs);
    }
}

}  // namespace

std::unique_ptr<WorkingFolder> WorkingFolder::Create(std::uint32_t& error) {
    platform::FileSystem& files = *platform::Current().files;
    const std::optional<std::wstring> temp = files.tempFolder();
    if (!temp || temp->empty()) {
        error = platform::LastErrorOr(platform::kErrorPathNotFound);
        return nullptr;
    }
    unsigned char random[kRandomBytes];
    if (!files.randomBytes(random, sizeof(random))) {
        error = platform::LastErrorOr(platform::kErrorCannotMake);
        return nullptr;
    }
    const std::wstring path = JoinPath(*temp, Base32(random, sizeof(random)));
    if (path.size() > kMaxPathChars) {
        error = platform::kErrorNameTooLong;
        return nullptr;
    }
    // Someone else's folder of that name is never used: it is not ours to trust.
    if (!files.createPrivateFolder(path, !files.processElevated())) {
        error = platform::LastErrorOr(platform::kErrorCannotMake);
        return nullptr;
    }
    return std::unique_ptr<WorkingFolder>(new WorkingFolder(path));
}

WorkingFolder::~WorkingFolder() {
    RemoveSoon([this] { return platform::Current().files->removeFolder(path_); });
}

std::unique_ptr<HeldPackage> HeldPackage::Write(const std::wstring& folder, const std::wstring& resourceName,
                                                std::uint32_t& error) {
    platform::FileSystem& files = *platform::Current().files;
    platform::ResourceBytes bytes;
    error = CarriedPackageBytes(resourceName, bytes);
    if (error != 0) return nullptr;

    std::wstring path;
    std::unique_ptr<platform::OpenFile> file;
    platform::CreateResult result = platform::CreateResult::Failed;
    for (unsigned attempt = 0; attempt < kNameAttempts && !file; ++attempt) {
        path = JoinPath(folder, L"MSP" + std::to_wstring(g_nextPackageNumber++));
        if (path.size() > kMaxPathChars) {
            error = platform::kErrorNameTooLong;
            return nullptr;
        }
        file = files.createFile(path, platform::CreateMode::NewOnly, result);
        if (!file && result != platform::CreateResult::AlreadyExists) break;
    }
    if (!file) {
        error = platform::LastErrorOr(platform::kErrorCannotMake);
        return nullptr;
    }
    if (!file->write(bytes.data, bytes.size)) {
        error = platform::LastErrorOr(platform::kErrorWriteFault);
        file.reset();
        files.deleteFile(path);
        return nullptr;
    }

    std::uint32_t holdError = 0;
    std::unique_ptr<platform::OpenFile> held = files.holdForReaders(std::move(file), path, holdError);
    if (!held) {
        error = holdError != 0 ? holdError : platform::kErrorCannotMake;
        files.deleteFile(path);
        return nullptr;
    }
    if (!ReadsBackAs(*held, bytes)) {
        error = kErrorPackageChanged;
        held.reset();
        files.deleteFile(path);
        return nullptr;
    }
    return std::unique_ptr<HeldPackage>(new HeldPackage(path, std::move(held)));
}

HeldPackage::~HeldPackage() {
    hold_.reset();  // released before the file can be deleted
    platform::FileSystem& files = *platform::Current().files;
    RemoveSoon([&] { return files.deleteFile(path_) || !files.exists(path_); });
}
