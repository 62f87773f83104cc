#include "substitutes/fake_platform.h"

namespace fake {
namespace {

class MemoryFile : public platform::OutputFile {
public:
    MemoryFile(std::string& target, std::size_t limit) : target_(target), limit_(limit) {}
    bool write(const void* data, std::size_t size) override {
        std::size_t taken = size < limit_ ? size : limit_;
        target_.append(static_cast<const char*>(data), taken);
        return taken == size;
    }

private:
    std::string& target_;
    std::size_t limit_;
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

std::unique_ptr<platform::OutputFile> FileSystem::createFile(const std::wstring& path, platform::CreateMode mode,
                                                             platform::CreateResult& result) {
    bool existed = files.count(path) != 0 || links.count(path) != 0;
    if (failCreate || folders.count(path) != 0 || readOnly.count(path) != 0) {
        result = platform::CreateResult::Failed;
        return nullptr;
    }
    if (existed && mode == platform::CreateMode::NewOnly) {
        result = platform::CreateResult::AlreadyExists;
        return nullptr;
    }
    auto link = links.find(path);
    if (link != links.end()) {
        openedExisting.push_back(path);
        result = platform::CreateResult::Created;
        files[link->second].clear();
        return std::make_unique<MemoryFile>(files[link->second], writeLimit);
    }
    if (existed) openedExisting.push_back(path);
    result = platform::CreateResult::Created;
    files[path].clear();
    return std::make_unique<MemoryFile>(files[path], writeLimit);
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
