#pragma once
// Files and folders, as the rest of the program needs them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A file open for writing raw bytes; closed when the object goes away.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all `size` bytes in one call; false when fewer were written.
    virtual bool write(const void* data, std::size_t size) = 0;
};

enum class CreateMode {
    ReplaceExisting,  // create, or truncate a file of that name
    NewOnly,          // create only when no file of that name exists
};

enum class CreateResult {
    Created,
    AlreadyExists,
    Failed,
    Refused,  // something not to write through is there, and could not be removed
};

// What is found under a path, looked at without following a link.
struct ExistingFile {
    // A plain file: not a link, junction or other reparse point, nor a folder
    // or device. Something that cannot be looked at is not one.
    bool plainFile = true;
    std::uint32_t linkCount = 1;  // names (hard links) the file has
    // Owned by SYSTEM, the Administrators group or the current user.
    bool ownerTrusted = true;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The user's temporary folder as the system reports it (normally ending
    // in a separator); nothing when the system gives none.
    virtual std::optional<std::wstring> tempFolder() = 0;

    // The absolute form of `path`; nothing when it cannot be formed.
    virtual std::optional<std::wstring> fullPath(const std::wstring& path) = 0;

    // True when something (file or folder) exists under `path`.
    virtual bool exists(const std::wstring& path) = 0;

    // True when a directory search for exactly `path` finds a folder.
    virtual bool isFolder(const std::wstring& path) = 0;

    virtual bool createFolder(const std::wstring& path) = 0;

    // Opens `path` for writing according to `mode`. `result` tells why
    // nothing was returned.
    virtual std::unique_ptr<OutputFile> createFile(const std::wstring& path, CreateMode mode,
                                                   CreateResult& result) = 0;

    // Deletes a file, or a link itself (never what it points to).
    virtual bool deleteFile(const std::wstring& path) = 0;

    // What is under `path`, without following a link; nothing when no entry
    // of that name exists.
    virtual std::optional<ExistingFile> lookAt(const std::wstring& path) = 0;

    // True when the process runs with administrator rights in force (also
    // when the system cannot tell).
    virtual bool processElevated() = 0;
};

}  // namespace platform
