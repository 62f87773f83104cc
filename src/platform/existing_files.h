#pragma once
// Files that someone else may have put where this program writes: the
// temporary folder is shared, and the program may run elevated or as SYSTEM.
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace platform {

// True when the file looked at may be written through: a plain file of one
// name, and (when elevated) owned by SYSTEM, the Administrators group or the
// current user.
bool WritableThrough(const ExistingFile& found);

// FileSystem::createFile or FileSystem::holdForWriter.
using FileOpener = std::unique_ptr<OpenFile> (FileSystem::*)(const std::wstring&, CreateMode, CreateResult&);

// Opens the entry at `path` through `open` as itself, a link not followed,
// and looks at it through that handle: a trusted file stays open as it is
// (`result` Opened); anything else (a link or junction, a folder, a file with
// more than one name, a foreign owner when elevated, or something that
// cannot be opened or looked at completely) is deleted and a new file made
// exclusively (Created, as when nothing was there). Nothing when what is
// there stays (Refused), the name was taken in between (AlreadyExists) or
// the system refused (Failed).
std::unique_ptr<OpenFile> OpenTrustedOrNew(const std::wstring& path, FileOpener open, CreateResult& result);

// Opens `path` for writing. A file already there is looked at through the
// handle that was opened on it, without following a link: a trusted one is
// truncated and written through that very handle when `mode` allows it;
// anything else (a link or junction, a folder, a file with more than one
// name, a foreign owner when elevated, or something that cannot be opened)
// is deleted and a new file made exclusively, so that nothing placed in
// between is opened. Nothing when what is there stays (`result` Refused), the
// name was taken in between (AlreadyExists) or the system refused (Failed).
std::unique_ptr<OpenFile> CreateFileSafely(const std::wstring& path, CreateMode mode, CreateResult& result);

}  // namespace platform
