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
    // False when the system could not tell where the handle leads (no final
    // path to ask for): then it is not a plain file either, for want of
    // proof, not because it was found to be something else.
    bool identityShown = true;
    // Owned by SYSTEM or the Administrators group: made by a program running
    // elevated or as SYSTEM, as no program of the user's can give a file
    // such an owner.
    bool ownerAdministrative = false;
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
    // Closes the handle, keeping what remove() needs: the file's identity.
    virtual void letGo() = 0;
    // Deletes the file through this very handle, never by its name again:
    // what the handle made, or the entry itself that it opened (a link, not
    // what it leads to). A handle that may not delete (a hold, which shares
    // no deleting with anyone) lets go of the file and deletes it by its
    // identity. The handle is closed afterwards; false (to be tried again)
    // while another program still has the file open.
    virtual bool remove() = 0;
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

// A folder this process holds open from the moment it has it until the
// object goes away: nobody else can rename, delete or replace it meanwhile.
// Before it is handed out it has been shown, through its handle, to be the
// folder its path names: no link, junction or mount point anywhere in the
// path. Its files are created, opened and deleted relative to that handle,
// never by a second lookup of the folder's path.
class HeldFolder {
public:
    virtual ~HeldFolder() = default;

    // The folder's full path, without a trailing separator: the path the
    // folder was shown to have.
    virtual const std::wstring& path() const = 0;

    // Opens the entry `name` of the folder for writing according to `mode`
    // (a link is never followed). `result` tells what was opened, or why
    // nothing was.
    virtual std::unique_ptr<OpenFile> createFile(const std::wstring& name, CreateMode mode,
                                                 CreateResult& result) = 0;

    // Holds the file `name` this process has just written and closed, for
    // readers: until the returned object goes away no other process can open
    // it for writing, rename, replace or delete it, while it can still be
    // read. Nothing when the file cannot be held so, or is not the plain file
    // of one name that was written; `error` then tells why (32 while another
    // program still has it open; 1921 when the system cannot tell where the
    // handle leads).
    virtual std::unique_ptr<OpenFile> holdForReaders(const std::wstring& name, std::uint32_t& error) = 0;

    // Opens the entry `name` as itself, or creates a file there when no entry
    // exists (`mode` NewOnly: only creates), and holds it for another writer:
    // until the returned object goes away the file can be read and written by
    // others but not renamed, replaced or deleted.
    virtual std::unique_ptr<OpenFile> holdForWriter(const std::wstring& name, CreateMode mode,
                                                    CreateResult& result) = 0;

    // Deletes the entry `name` that someone else put there, through a handle
    // opened on it relative to the folder: a link itself, never what it
    // points to. Only where an administrator named the file (a /log file, an
    // /e target); what this process made or opened goes by OpenFile::remove.
    virtual bool deleteFile(const std::wstring& name) = 0;

    // Shows again, through the handle, that the folder is the one its path
    // names (see FileSystem::openFolder): 0, or why not.
    virtual std::uint32_t recheck() = 0;

    // From now on, files this folder creates get a security descriptor that
    // lets only SYSTEM and the Administrators group in (owned by the
    // Administrators group), whatever the folder would pass on to them.
    virtual void makeFilesPrivate() = 0;

    // A new folder `name` inside this one, held from its creation, that only
    // SYSTEM and the Administrators group may use (and with `withCurrentUser`
    // the user the process runs as, else the Administrators group owns it):
    // its security descriptor, owner included, is given at creation and
    // inherits nothing from this folder. Nothing when an entry of that name
    // exists or the folder cannot be made and shown so; `error` tells why.
    virtual std::unique_ptr<HeldFolder> createPrivateFolder(const std::wstring& name, bool withCurrentUser,
                                                            std::uint32_t& error) = 0;

    // Removes this folder, when it is empty, through its own handle; false
    // (the folder still held) when it cannot be removed now.
    virtual bool remove() = 0;
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

    // Creates the folder `path` in its held parent, relative to the parent's
    // handle (a link at its name is not followed).
    virtual bool createFolder(const std::wstring& path) = 0;

    // Makes `path` the temporary folder of this process (TMP and TEMP), for
    // what the process runs in it (Windows Installer's client writes its own
    // files there).
    virtual bool setProcessTempFolder(const std::wstring& path) = 0;

    // The profile folder the system records for the user the process runs
    // as (never USERPROFILE or another variable of the environment).
    virtual std::optional<std::wstring> userProfileFolder() = 0;

    // True when `path` lies on a network (a UNC path or a mapped drive),
    // where a server follows links that the final path does not show; also
    // when the system cannot tell.
    virtual bool onNetwork(const std::wstring& path) = 0;

    // True when the two names are the same to the file system: compared
    // ordinally, ignoring case by the system's own case table (not ASCII only).
    virtual bool sameName(const std::wstring& a, const std::wstring& b) = 0;

    // The Windows folder as the system reports it for the whole system
    // (never taken from the environment), without a trailing separator.
    virtual std::optional<std::wstring> windowsFolder() = 0;

    // Opens the existing folder at `path` and holds it (see HeldFolder).
    // Nothing when it cannot be opened, or cannot be shown to be the folder
    // the path names; `error` then tells why: 4395 for a link, junction or
    // mount point in the path, 135 for a substituted drive, 50 for a mapped
    // network drive, 1921 when the system cannot tell where the handle leads.
    virtual std::unique_ptr<HeldFolder> openFolder(const std::wstring& path, std::uint32_t& error) = 0;

    // Opens the existing system folder at `path`, following the links that
    // only administrators can place on its way (a Windows\Temp moved to
    // another drive), once, and holds it: its path is then the one it
    // resolved to, and everything below it is checked against that.
    virtual std::unique_ptr<HeldFolder> openResolvedFolder(const std::wstring& path, std::uint32_t& error) = 0;

    // Fills `buffer` from the system's random number generator.
    virtual bool randomBytes(void* buffer, std::size_t size) = 0;

    // True when the process runs with administrator rights in force (also
    // when the system cannot tell).
    virtual bool processElevated() = 0;
};

}  // namespace platform
