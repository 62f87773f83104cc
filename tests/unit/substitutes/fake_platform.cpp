#include "substitutes/fake_platform.h"

#include <algorithm>

namespace fake {
namespace {

// A file of the substitute, opened under `path` (a link: the file it leads
// to), counted in `held` while it lives when it is a hold.
class MemoryFile : public platform::OpenFile {
public:
    MemoryFile(FileSystem& files, std::wstring path, bool hold, bool existing = false)
        : files_(files), path_(std::move(path)), hold_(hold), existing_(existing) {
        if (hold_) ++files_.held[path_];
    }
    ~MemoryFile() override {
        if (hold_ && --files_.held[path_] == 0) files_.held.erase(path_);
    }
    bool write(const void* data, std::size_t size) override {
        std::string& target = changed();
        std::size_t taken = size < files_.writeLimit ? size : files_.writeLimit;
        target.append(static_cast<const char*>(data), taken);
        return taken == size;
    }
    bool read(void* buffer, std::size_t size, std::size_t& got) override {
        const std::string& source = content();
        got = position_ < source.size() ? std::min(size, source.size() - position_) : 0;
        source.copy(static_cast<char*>(buffer), got, position_);
        position_ += got;
        return true;
    }
    platform::ExistingFile look() override {
        return files_.lookAt(path_).value_or(platform::ExistingFile{false, 1, false});
    }
    bool truncate() override {
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
    std::size_t position_ = 0;
};

// A folder of the substitute, counted in `held` while it lives; what it
// does to its entries is done by full path.
class MemoryFolder : public platform::HeldFolder {
public:
    MemoryFolder(FileSystem& files, std::wstring path) : files_(files), path_(std::move(path)) { ++files_.held[path_]; }
    ~MemoryFolder() override { release(); }
    const std::wstring& path() const override { return path_; }
    std::unique_ptr<platform::OpenFile> createFile(const std::wstring& name, platform::CreateMode mode,
                                                   platform::CreateResult& result) override {
        return files_.open(child(name), mode, result, false);
    }
    std::unique_ptr<platform::OpenFile> holdForReaders(const std::wstring& name, std::uint32_t& error) override {
        return files_.holdForReaders(child(name), error);
    }
    std::unique_ptr<platform::OpenFile> holdForWriter(const std::wstring& name, platform::CreateMode mode,
                                                      platform::CreateResult& result) override {
        return files_.open(child(name), mode, result, true);
    }
    bool deleteFile(const std::wstring& name) override { return files_.deleteFile(child(name)); }
    std::unique_ptr<platform::HeldFolder> createPrivateFolder(const std::wstring& name, bool withCurrentUser,
                                                              std::uint32_t& error) override {
        const std::wstring path = child(name);
        if (files_.failCreateFolder || files_.folders.count(path) != 0 || files_.files.count(path) != 0) {
            error = files_.failCreateFolder ? 82 : 183;  // ERROR_CANNOT_MAKE, ERROR_ALREADY_EXISTS
            return nullptr;
        }
        files_.folders.insert(path);
        files_.privateFolders[path] = withCurrentUser;
        return std::make_unique<MemoryFolder>(files_, path);
    }
    bool remove() override {
        if (!holding_) return true;
        for (const auto& file : files_.files) {
            if (file.first.rfind(path_ + L"\\", 0) == 0) return false;
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
};

}  // namespace

std::uint32_t FileSystem::folderError(const std::wstring& path) const {
    if (folders.count(path) == 0) return 3;  // ERROR_PATH_NOT_FOUND
    for (const std::wstring& linked : linkedFolders) {
        if (path == linked || path.rfind(linked + L"\\", 0) == 0) return 4395;  // a link on the way
    }
    return unresolvableFolders.count(path) != 0 ? 1921 : 0;
}

std::unique_ptr<platform::HeldFolder> FileSystem::openFolder(const std::wstring& given, std::uint32_t& error) {
    std::wstring path = given;
    while (path.size() > 2 && path.back() == L'\\') path.pop_back();
    if (path.size() == 3 && path[1] == L':') path.pop_back();
    error = folderError(path.size() == 2 && path[1] == L':' ? path + L"\\" : path);
    if (error != 0) return nullptr;
    return std::make_unique<MemoryFolder>(*this, path);
}

std::optional<std::wstring> FileSystem::fullPath(const std::wstring& path) {
    if (path.size() >= 2 && (path[1] == L':' || path[0] == L'\\')) return path;
    return L"C:\\Work\\" + path;
}

bool FileSystem::exists(const std::wstring& path) {
    if (files.count(path) != 0 || folders.count(path) != 0 || links.count(path) != 0) return true;
    if (raceOnce.count(path) != 0) {
        // Free when tested; taken by someone else right afterwards.
        raceOnce.erase(path);
        files[path] = "someone else's file";
    }
    return false;
}

bool FileSystem::createFolder(const std::wstring& path) {
    if (failCreateFolder || path.empty()) return false;
    return folders.insert(path).second;
}

std::unique_ptr<platform::OpenFile> FileSystem::open(const std::wstring& path, platform::CreateMode mode,
                                                     platform::CreateResult& result, bool hold) {
    bool existed = files.count(path) != 0 || links.count(path) != 0;
    if (failCreate) {
        result = platform::CreateResult::Failed;
        return nullptr;
    }
    if (folders.count(path) != 0 || readOnly.count(path) != 0 || (existed && mode == platform::CreateMode::NewOnly)) {
        result = platform::CreateResult::AlreadyExists;
        return nullptr;
    }
    if (existed) {
        result = platform::CreateResult::Opened;
    } else {
        files[path].clear();
        result = platform::CreateResult::Created;
    }
    return std::make_unique<MemoryFile>(*this, path, hold, existed);
}

bool FileSystem::randomBytes(void* buffer, std::size_t size) {
    if (failRandom) return false;
    for (std::size_t i = 0; i < size; ++i) static_cast<unsigned char*>(buffer)[i] = nextRandom++;
    return true;
}

std::unique_ptr<platform::OpenFile> FileSystem::holdForReaders(const std::wstring& path, std::uint32_t& error) {
    if (beforeHold && beforeHold(path)) {
        error = 32;  // ERROR_SHARING_VIOLATION: someone else has it open
        return nullptr;
    }
    if (files.count(path) == 0) {
        error = 2;  // ERROR_FILE_NOT_FOUND
        return nullptr;
    }
    // The plain file of one name that was written, where that can be shown.
    const platform::ExistingFile found = lookAt(path).value_or(platform::ExistingFile{false, 1, false});
    if (!found.identityShown || !found.plainFile || found.linkCount != 1) {
        error = found.identityShown ? 1392 : 1921;  // ERROR_FILE_CORRUPT, ERROR_CANT_RESOLVE_FILENAME
        return nullptr;
    }
    return std::make_unique<MemoryFile>(*this, path, true);
}

bool FileSystem::deleteFile(const std::wstring& path) {
    if (undeletable.count(path) != 0 || readOnly.count(path) != 0) return false;
    looks.erase(path);
    return links.erase(path) != 0 || files.erase(path) != 0;
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
    if (type != L"MSP") return std::nullopt;
    auto it = packages.find(name);
    if (it == packages.end()) return std::nullopt;
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
    auto it = strings.find({id, langId});
    if (it == strings.end() || it->second.empty()) return std::nullopt;
    return it->second;
}

}  // namespace fake
