#include "substitutes/fake_platform.h"

#include <algorithm>

#include "platform/error_codes.h"

namespace fake {
namespace {

// A file of the substitute, opened under `path` (a link: the file it leads
// to), counted in `held` while it lives when it is a hold.
class MemoryFile : public platform::OpenFile {
public:
    MemoryFile(FileSystem& files, std::wstring path, bool hold, bool existing = false)
        : files_(files), path_(std::move(path)), hold_(hold), existing_(existing) {
        if (hold_) ++files_.held[path_];
        ++files_.openNow[path_];
    }
    ~MemoryFile() override { letGo(); }
    void letGo() override {
        if (!open_) return;
        open_ = false;
        if (hold_ && --files_.held[path_] == 0) files_.held.erase(path_);
        if (--files_.openNow[path_] == 0) files_.openNow.erase(path_);
    }
    // Through the handle, or, for a hold that may not delete, by the file's
    // identity once it has let go: the entry itself (a link, not its target).
    bool remove() override {
        if (Faults().fails("deleteFile")) return false;
        letGo();
        return files_.erase(path_);
    }
    bool write(const void* data, std::size_t size) override {
        if (Faults().fails("write", 112)) return false;  // ERROR_DISK_FULL
        std::string& target = changed();
        std::size_t taken = size < files_.writeLimit ? size : files_.writeLimit;
        target.append(static_cast<const char*>(data), taken);
        return taken == size;
    }
    bool read(void* buffer, std::size_t size, std::size_t& got) override {
        got = 0;
        if (Faults().fails("read", 23)) return false;  // ERROR_CRC
        const std::string& source = content();
        got = position_ < source.size() ? std::min(size, source.size() - position_) : 0;
        source.copy(static_cast<char*>(buffer), got, position_);
        position_ += got;
        return true;
    }
    platform::ExistingFile look() override {
        // A look that cannot be completed, as when the system gives no final
        // path for the handle: no plain file of a trusted owner, for want of proof.
        if (Faults().fails("look", 1921)) return platform::ExistingFile{false, 1, false, false};
        return files_.lookAt(path_).value_or(platform::ExistingFile{false, 1, false});
    }
    bool truncate() override {
        if (Faults().fails("truncate")) return false;
        changed().clear();
        return true;
    }

private:
    // The content, about to change: a file that was there is written through.
    std::string& changed() {
        if (existing_) files_.openedExisting.push_back(path_);
        existing_ = false;
        return content();
    }
    std::string& content() {
        auto link = files_.links.find(path_);
        return files_.files[link != files_.links.end() ? link->second : path_];
    }
    FileSystem& files_;
    std::wstring path_;
    bool hold_;
    bool existing_;
    bool open_ = true;
    std::size_t position_ = 0;
};

// The last error of a call that the system refuses by its nature.
bool Refused(std::uint32_t error) {
    Faults().lastError = error;
    return false;
}

constexpr std::uint32_t kFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kPathNotFound = 3;      // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kAlreadyExists = 183;   // ERROR_ALREADY_EXISTS
constexpr std::uint32_t kFileExists = 80;       // ERROR_FILE_EXISTS

bool IsDriveRoot(const std::wstring& path) {
    return (path.size() == 2 || (path.size() == 3 && path[2] == L'\\')) && path[1] == L':';
}

// A folder of the substitute, counted in `held` while it lives; what it
// does to its entries is done by full path.
class MemoryFolder : public platform::HeldFolder {
public:
    MemoryFolder(FileSystem& files, std::wstring path) : files_(files), path_(std::move(path)) { ++files_.held[path_]; }
    ~MemoryFolder() override { release(); }
    const std::wstring& path() const override { return path_; }
    std::unique_ptr<platform::OpenFile> createFile(const std::wstring& name, platform::CreateMode mode,
                                                   platform::CreateResult& result) override {
        return files_.open("createFile", child(name), mode, result, false, privateFiles_);
    }
    std::unique_ptr<platform::OpenFile> holdForReaders(const std::wstring& name, std::uint32_t& error) override {
        return files_.holdForReaders(child(name), error);
    }
    std::unique_ptr<platform::OpenFile> holdForWriter(const std::wstring& name, platform::CreateMode mode,
                                                      platform::CreateResult& result) override {
        return files_.open("holdForWriter", child(name), mode, result, true, privateFiles_);
    }
    bool deleteFile(const std::wstring& name) override { return files_.deleteFile(child(name)); }
    std::uint32_t recheck() override {
        if (Faults().fails("recheckFolder")) return Faults().lastError;
        return files_.folderError(path_);
    }
    void makeFilesPrivate() override { privateFiles_ = true; }
    std::unique_ptr<platform::HeldFolder> createPrivateFolder(const std::wstring& name, bool withCurrentUser,
                                                              std::uint32_t& error) override {
        const std::wstring path = child(name);
        if (Faults().fails("createPrivateFolder")) {
            error = Faults().lastError;
            return nullptr;
        }
        if (files_.there(path)) {
            error = 183;  // ERROR_ALREADY_EXISTS
            Faults().lastError = error;
            return nullptr;
        }
        files_.folders.insert(path);
        files_.privateFolders[path] = withCurrentUser;
        return std::make_unique<MemoryFolder>(files_, path);
    }
    bool remove() override {
        if (!holding_) return true;
        if (Faults().fails("removeFolder", 32)) return false;  // ERROR_SHARING_VIOLATION: a scanner looks in
        const std::wstring inside = path_ + L"\\";
        for (const auto& file : files_.files) {
            if (file.first.rfind(inside, 0) == 0) return Refused(145);  // ERROR_DIR_NOT_EMPTY
        }
        for (const auto& folder : files_.folders) {
            if (folder.rfind(inside, 0) == 0) return Refused(145);
        }
        files_.folders.erase(path_);
        release();
        return true;
    }

private:
    std::wstring child(const std::wstring& name) const { return path_ + L"\\" + name; }
    void release() {
        if (holding_ && --files_.held[path_] == 0) files_.held.erase(path_);
        holding_ = false;
    }
    FileSystem& files_;
    std::wstring path_;
    bool holding_ = true;
    bool privateFiles_ = false;
};

}  // namespace

std::uint32_t FileSystem::folderError(const std::wstring& path) const {
    if (folders.count(path) == 0 && !IsDriveRoot(path)) return kPathNotFound;
    for (const std::wstring& linked : linkedFolders) {
        if (path == linked || path.rfind(linked + L"\\", 0) == 0) return 4395;  // a link on the way
    }
    if (substitutedFolders.count(path) != 0) return 135;  // ERROR_IS_SUBSTED
    return unresolvableFolders.count(path) != 0 ? 1921 : 0;
}

std::unique_ptr<platform::HeldFolder> FileSystem::openFolder(const std::wstring& given, std::uint32_t& error) {
    // A folder opened whose final path the system cannot give: it cannot be
    // shown free of links (1921, ERROR_CANT_RESOLVE_FILENAME).
    if (Faults().fails("openFolder", 1921)) {
        error = Faults().lastError;
        return nullptr;
    }
    std::wstring path = given;
    while (path.size() > 2 && path.back() == L'\\') path.pop_back();
    if (path.size() == 3 && path[1] == L':') path.pop_back();
    error = folderError(path.size() == 2 && path[1] == L':' ? path + L"\\" : path);
    if (error != 0) {
        Faults().lastError = error;
        return nullptr;
    }
    return std::make_unique<MemoryFolder>(*this, path);
}

std::unique_ptr<platform::HeldFolder> FileSystem::openResolvedFolder(const std::wstring& path, std::uint32_t& error) {
    auto resolved = resolvedFolders.find(path);
    return openFolder(resolved != resolvedFolders.end() ? resolved->second : path, error);
}

std::optional<std::wstring> FileSystem::userProfileFolder() {
    if (Faults().fails("userProfileFolder", 2)) return std::nullopt;  // ERROR_FILE_NOT_FOUND
    return profile;
}

bool FileSystem::onNetwork(const std::wstring& path) {
    if (Faults().fails("onNetwork")) return true;  // a drive of no known kind counts as remote
    for (const std::wstring& remote : networkFolders) {
        if (path == remote || path.rfind(remote + L"\\", 0) == 0) return true;
    }
    return path.rfind(L"\\\\", 0) == 0;
}

bool FileSystem::sameName(const std::wstring& a, const std::wstring& b) {
    const auto upper = [](wchar_t c) -> wchar_t {
        if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F)) {
            return static_cast<wchar_t>(c - 0x20);
        }
        return c >= 0x450 && c <= 0x45F ? static_cast<wchar_t>(c - 0x50) : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

std::optional<std::wstring> FileSystem::windowsFolder() {
    if (Faults().fails("windowsFolder")) return std::nullopt;
    return windows;
}

std::optional<std::wstring> FileSystem::tempFolder() {
    if (Faults().fails("tempFolder")) return std::nullopt;
    return temp;
}

bool FileSystem::parentThere(const std::wstring& path) const {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return true;
    const std::wstring parent = path.substr(0, slash);
    return parent.empty() || IsDriveRoot(parent) || IsDriveRoot(parent + L"\\") || folders.count(parent) != 0;
}

bool FileSystem::isFolder(const std::wstring& path) {
    if (Faults().fails("isFolder", kFileNotFound)) return false;
    // FindFirstFileW finds no entry for a drive root or a name ending in a separator.
    if (path.empty() || path.back() == L'\\' || path.back() == L'/' || IsDriveRoot(path)) {
        return Refused(kFileNotFound);
    }
    return folders.count(path) != 0 || Refused(kFileNotFound);
}

std::optional<std::wstring> FileSystem::fullPath(const std::wstring& path) {
    if (Faults().fails("fullPath")) return std::nullopt;
    if (path.size() >= 2 && (path[1] == L':' || path[0] == L'\\')) return path;
    return L"C:\\Work\\" + path;
}

bool FileSystem::there(const std::wstring& path) const {
    if (IsDriveRoot(path)) {
        // A drive is there when anything is on it.
        for (const auto& folder : folders) {
            if (folder.compare(0, 2, path, 0, 2) == 0) return true;
        }
        for (const auto& file : files) {
            if (file.first.compare(0, 2, path, 0, 2) == 0) return true;
        }
        return false;
    }
    return files.count(path) != 0 || folders.count(path) != 0 || links.count(path) != 0;
}

bool FileSystem::exists(const std::wstring& path) {
    if (Faults().fails("exists", kPathNotFound)) return false;
    if (there(path)) return true;
    if (raceOnce.count(path) != 0) {
        // Free when tested; taken by someone else right afterwards.
        raceOnce.erase(path);
        files[path] = "someone else's file";
    }
    return false;
}

bool FileSystem::createFolder(const std::wstring& path) {
    if (Faults().fails("createFolder")) return false;
    // A drive root, or anything else there, cannot be made anew.
    if (path.empty() || IsDriveRoot(path) || there(path)) return Refused(kAlreadyExists);
    if (!parentThere(path)) return Refused(kPathNotFound);
    return folders.insert(path).second;
}

std::unique_ptr<platform::OpenFile> FileSystem::open(const char* call, const std::wstring& path,
                                                     platform::CreateMode mode, platform::CreateResult& result,
                                                     bool hold, bool privateFile) {
    bool existed = files.count(path) != 0 || links.count(path) != 0;
    result = platform::CreateResult::Failed;
    if (Faults().fails(call)) return nullptr;
    if (readOnly.count(path) != 0) {
        // There, but not to be opened for writing.
        Refused(platform::kErrorAccessDenied);
        result = platform::CreateResult::AlreadyExists;
        return nullptr;
    }
    if (!parentThere(path)) {
        Refused(kPathNotFound);
        return nullptr;
    }
    // A file written through createFile shares nothing, and is shared with nothing.
    const int open = openNow.count(path) != 0 ? openNow[path] : 0;
    const int holds = held.count(path) != 0 ? held[path] : 0;
    if (open > holds || (!hold && open > 0)) {
        Refused(32);  // ERROR_SHARING_VIOLATION
        result = platform::CreateResult::AlreadyExists;
        return nullptr;
    }
    if (folders.count(path) != 0 || (existed && mode == platform::CreateMode::NewOnly)) {
        Refused(folders.count(path) != 0 ? platform::kErrorAccessDenied : kFileExists);
        result = platform::CreateResult::AlreadyExists;
        return nullptr;
    }
    if (existed) {
        result = platform::CreateResult::Opened;
    } else {
        files[path].clear();
        if (privateFile) privateFiles.insert(path);
        result = platform::CreateResult::Created;
    }
    auto file = std::make_unique<MemoryFile>(*this, path, hold, existed);
    if (!existed && afterCreate) afterCreate(path);
    return file;
}

bool FileSystem::randomBytes(void* buffer, std::size_t size) {
    if (Faults().fails("randomBytes")) return false;
    for (std::size_t i = 0; i < size; ++i) static_cast<unsigned char*>(buffer)[i] = nextRandom++;
    return true;
}

std::unique_ptr<platform::OpenFile> FileSystem::holdForReaders(const std::wstring& path, std::uint32_t& error) {
    if (Faults().fails("holdForReaders", 32)) {
        error = Faults().lastError;
        return nullptr;
    }
    if (beforeHold && beforeHold(path)) {
        error = 32;  // ERROR_SHARING_VIOLATION: someone else has it open
        return nullptr;
    }
    if (files.count(path) == 0 && links.count(path) == 0) {
        error = kFileNotFound;
        return nullptr;
    }
    // Held only when it is the plain file of one name that was written, where that can be shown.
    auto held = std::make_unique<MemoryFile>(*this, path, true);
    const platform::ExistingFile found = held->look();
    if (!found.identityShown || !found.plainFile || found.linkCount != 1) {
        error = found.identityShown ? 1392 : 1921;  // ERROR_FILE_CORRUPT, ERROR_CANT_RESOLVE_FILENAME
        return nullptr;
    }
    return held;
}

bool FileSystem::deleteFile(const std::wstring& path) { return !Faults().fails("deleteFile") && erase(path); }

bool FileSystem::erase(const std::wstring& path) {
    if (undeletable.count(path) != 0 || readOnly.count(path) != 0) return Refused(platform::kErrorAccessDenied);
    if (openNow.count(path) != 0) return Refused(32);  // ERROR_SHARING_VIOLATION: no handle shares deleting
    looks.erase(path);
    privateFiles.erase(path);
    if (links.erase(path) == 0 && files.erase(path) == 0) return Refused(kFileNotFound);
    if (afterDelete) afterDelete(path);
    return true;
}

std::optional<platform::ExistingFile> FileSystem::lookAt(const std::wstring& path) {
    platform::ExistingFile found;
    auto look = looks.find(path);
    if (look != looks.end()) found = look->second;
    if (links.count(path) != 0 || folders.count(path) != 0) {
        found.plainFile = false;
        return found;
    }
    if (files.count(path) == 0) return std::nullopt;
    return found;
}

std::optional<platform::ResourceBytes> Resources::find(platform::ModuleHandle, const std::wstring& type,
                                                       const std::wstring& name) {
    // A resource that is there cannot be found when memory runs out.
    if (Faults().fails("findResource", platform::kErrorNotEnoughMemory)) return std::nullopt;
    if (type != L"MSP" || packages.empty()) {
        Refused(1813);  // ERROR_RESOURCE_TYPE_NOT_FOUND
        return std::nullopt;
    }
    auto it = packages.find(name);
    if (it == packages.end()) {
        Refused(platform::kErrorResourceNameNotFound);
        return std::nullopt;
    }
    platform::ResourceBytes bytes;
    bytes.data = reinterpret_cast<const unsigned char*>(it->second.data());
    bytes.size = it->second.size();
    return bytes;
}

std::optional<std::wstring> Resources::loadString(platform::ModuleHandle module, unsigned id) {
    return loadStringInLanguage(module, id, threadLanguage);
}

std::optional<std::wstring> Resources::loadStringInLanguage(platform::ModuleHandle, unsigned id,
                                                            std::uint16_t langId) {
    ++stringLoads;
    if (Faults().fails("loadString", platform::kErrorResourceNameNotFound)) return std::nullopt;
    auto it = strings.find({id, langId});
    if (it == strings.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

}  // namespace fake
