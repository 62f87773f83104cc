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

}  // namespace

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

std::unique_ptr<platform::OpenFile> FileSystem::createFile(const std::wstring& path, platform::CreateMode mode,
                                                           platform::CreateResult& result) {
    return open(path, mode, result, false);
}

std::unique_ptr<platform::OpenFile> FileSystem::open(const std::wstring& path, platform::CreateMode mode,
                                                     platform::CreateResult& result, bool hold) {
    bool existed = files.count(path) != 0 || links.count(path) != 0;
    if (failCreate || readOnly.count(path) != 0) {
        result = platform::CreateResult::Failed;
        return nullptr;
    }
    if (folders.count(path) != 0 || (existed && mode == platform::CreateMode::NewOnly)) {
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

bool FileSystem::createPrivateFolder(const std::wstring& path, bool withCurrentUser) {
    if (failCreateFolder || folders.count(path) != 0) return false;
    folders.insert(path);
    privateFolders[path] = withCurrentUser;
    return true;
}

bool FileSystem::removeFolder(const std::wstring& path) {
    for (const auto& file : files) {
        if (file.first.rfind(path + L"\\", 0) == 0) return false;
    }
    return folders.erase(path) != 0;
}

bool FileSystem::randomBytes(void* buffer, std::size_t size) {
    if (failRandom) return false;
    for (std::size_t i = 0; i < size; ++i) static_cast<unsigned char*>(buffer)[i] = nextRandom++;
    return true;
}

std::unique_ptr<platform::OpenFile> FileSystem::holdForReaders(std::unique_ptr<platform::OpenFile> written,
                                                               const std::wstring& path, std::uint32_t& error) {
    written.reset();
    if (beforeHold && beforeHold(path)) {
        error = 32;  // ERROR_SHARING_VIOLATION: someone else has it open
        return nullptr;
    }
    if (files.count(path) == 0) {
        error = 2;  // ERROR_FILE_NOT_FOUND
        return nullptr;
    }
    return std::make_unique<MemoryFile>(*this, path, true);
}

std::unique_ptr<platform::OpenFile> FileSystem::holdForWriter(const std::wstring& path, platform::CreateMode mode,
                                                              platform::CreateResult& result) {
    return open(path, mode, result, true);
}

bool FileSystem::deleteFile(const std::wstring& path) {
    if (undeletable.count(path) != 0) return false;
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
