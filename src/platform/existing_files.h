#pragma once
// Files that someone else may have put where this program writes: the
// temporary folder is shared, and the program may run elevated or as SYSTEM.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace platform {

// True when a reparse point with `tag` is a link: a name surrogate
// (junction, symbolic link, mount point). A placeholder of a synced folder,
// a deduplicated or compressed file is no link: it is what it holds.
bool IsLinkTag(std::uint32_t tag);

// True when the file looked at may be written through: a plain file of one
// name, and (when elevated) owned by SYSTEM, the Administrators group or the
// current user.
bool WritableThrough(const ExistingFile& found);

// HeldFolder::createFile or HeldFolder::holdForWriter.
using FileOpener = std::unique_ptr<OpenFile> (HeldFolder::*)(const std::wstring&, CreateMode, CreateResult&);

// Creates the entry `name` of `folder` through `open`, only where nothing is
// there, and looks at it through that handle: a file made through something
// (a link placed in the moment) is not one of its own, so it is deleted again
// through that handle and nothing is returned (`result` Refused; the last
// error 1921 where the look could not tell what the file is, else 5). Else as
// `open` with NewOnly. What is there already is never opened or deleted.
std::unique_ptr<OpenFile> CreateNewOwnFile(HeldFolder& folder, const std::wstring& name, FileOpener open,
                                           CreateResult& result);

// Opens the entry `name` of `folder` through `open` as itself, a link not
// followed, and looks at it through that handle, a file just created as much
// as one that was there: a trusted file stays open as it is (`result` Opened
// or Created); anything else (a link or junction, a folder, a file with more
// than one name, a foreign owner when elevated, or something that cannot be
// opened or looked at completely) is deleted (through the handle that opened
// it) and a new file made exclusively and looked at again. Only for a file
// an administrator named, or when not elevated. Nothing when what is there
// stays (Refused, the last error 5), the name was taken in between
// (AlreadyExists) or the system refused (Failed).
std::unique_ptr<OpenFile> OpenTrustedOrNew(HeldFolder& folder, const std::wstring& name, FileOpener open,
                                           CreateResult& result);

// Opens the entry `name` of `folder` for writing as OpenTrustedOrNew does;
// a trusted file that was there is truncated and written through that very
// handle when `mode` allows it (NewOnly: AlreadyExists).
std::unique_ptr<OpenFile> CreateFileSafely(HeldFolder& folder, const std::wstring& name, CreateMode mode,
                                           CreateResult& result);

// Calls `attempt` until it succeeds, a few times a little apart: a file or
// folder that another program (a virus scanner, say) still has open goes only
// once that program lets go of it. True when it succeeded.
bool RetrySoon(const std::function<bool()>& attempt);

// Deletes the entry `name` of `folder` so (what someone else put where an
// administrator named a file); true once it is gone, also when it was gone
// already.
bool DeleteSoon(HeldFolder& folder, const std::wstring& name);

// The folders of the system's own temporary files, in the order to try them:
// "<Windows>\SystemTemp", then "<Windows>\Temp", of the Windows folder the
// system reports; never a folder the environment names.
std::vector<std::wstring> SystemTempFolders();

// Holds the folder at `path` (see FileSystem::openFolder); where that folder
// cannot be held and shown free of links, the first of SystemTempFolders()
// that can be (resolved once, see FileSystem::openResolvedFolder), and
// `note` then says so in a line for the own log. Nothing when no folder can
// be held (`note` says that too). Elevated, the files a log makes there are
// private (HeldFolder::makeFilesPrivate) when they are not in the user's own
// temporary folder.
std::unique_ptr<HeldFolder> HoldFolderOrSystemTemp(const std::wstring& path, std::wstring& note);

// The user's temporary folder for what an elevated run writes there (the
// product logs, the default own log, the copies of /e without a path and of
// /i): used only where it lies inside the profile folder the system records
// for the process's user, not on a network, and is held and shown free of
// links; never created. Else as HoldFolderOrSystemTemp's fallback: the
// system's temporary folder, and `note` says why.
std::unique_ptr<HeldFolder> HoldUserTempFolder(std::wstring& note);

// The user's temporary folder for the copies of /e and /i: elevated, only
// where HoldUserTempFolder would use it (no other place: nothing, and
// `error` says why: 4395 for a link, 50 for a network, 5 outside the
// profile, 3 missing); not elevated, held as the system names it.
std::unique_ptr<HeldFolder> HoldTempFolderForCopies(std::uint32_t& error);

}  // namespace platform
