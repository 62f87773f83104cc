#pragma once
// Files and folders, as the rest of the program needs them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// What is found under a path, looked at without following a link.
struct ExistingFile {
    // A plain file: not a link, junction or other reparse point, nor a folder
    // or device, and the very entry its path names. Something that cannot be
    // looked at, or whose look cannot be completed, is not one.
    bool plainFile = true;
    std::uint32_t linkCount = 1;  // names (hard links) the file has
    // Owned by SYSTEM, the Administrators group or the current user.
    bool ownerTrusted = true;
};

// A file this process holds open; closed when the object goes away. What it
// is, and what is written to it, go through the handle, never through its
// name again.
class OpenFile {
public:
    virtual ~OpenFile() = default;
    // Writes all `size` bytes in one call; false when fewer were written.
    virtual bool write(const void* data, std::size_t size) = 0;
    // Reads the next bytes, up to `size`; `got` 0 at the end of the file.
    virtual bool read(void* buffer, std::size_t size, std::size_t& got) = 0;
    // What the open file is, asked of the handle.
    virtual ExistingFile look() = 0;
    // Empties the file, to write it anew.
    virtual bool truncate() = 0;
};

enum class CreateMode {
    // Create, or open the entry already there as itself (a link is not
    // followed) without changing it: the caller looks at it and truncates.
    ReplaceExisting,
    NewOnly,  // create only when no entry of that name exists
};

enum class CreateResult {
    Created,
    Opened,         // an existing entry, opened as itself
    AlreadyExists,  // an entry is there (with ReplaceExisting: one that cannot be opened)
    Failed,
    Refused,  // something not to write through is there, and could not be removed
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

    // A new folder that only SYSTEM and the Administrators group may use,
    // and with `withCurrentUser` the user the process runs as: its security
    // descriptor is given at creation and inherits nothing from the folder
    // above. False when `path` exists or the folder cannot be made so.
    virtual bool createPrivateFolder(const std::wstring& path, bool withCurrentUser) = 0;

    // Removes an empty folder.
    virtual bool removeFolder(const std::wstring& path) = 0;

    // Fills `buffer` from the system's random number generator.
    virtual bool randomBytes(void* buffer, std::size_t size) = 0;

    // Opens `path` for writing according to `mode`. `result` tells what was
    // opened, or why nothing was.
    virtual std::unique_ptr<OpenFile> createFile(const std::wstring& path, CreateMode mode,
                                                 CreateResult& result) = 0;

    // Closes `written`, the file this process has just written at `path`,
    // and holds that file for readers: from before the close until the
    // returned object goes away no other process can open it for writing,
    // rename, replace or delete it, while it can still be read. Nothing when
    // the file cannot be held so, or is not the plain file of one name that
    // was written; `error` then tells why.
    virtual std::unique_ptr<OpenFile> holdForReaders(std::unique_ptr<OpenFile> written, const std::wstring& path,
                                                     std::uint32_t& error) = 0;

    // Opens the entry at `path` as itself, or creates a file there when no
    // entry exists (`mode` NewOnly: only creates), and holds it for another
    // writer: until the returned object goes away the file can be read and
    // written by others but not renamed, replaced or deleted.
    virtual std::unique_ptr<OpenFile> holdForWriter(const std::wstring& path, CreateMode mode,
                                                    CreateResult& result) = 0;

    // Deletes a file, or a link itself (never what it points to).
    virtual bool deleteFile(const std::wstring& path) = 0;

    // True when the process runs with administrator rights in force (also
    // when the system cannot tell).
    virtual bool processElevated() = 0;
};

}  // namespace platform
