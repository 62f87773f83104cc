#pragma once
// Files that someone else may have put where this program writes: the
// temporary folder is shared, and the program may run elevated or as SYSTEM.
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace platform {

enum class ExistingFileState {
    None,       // nothing under the path
    Trusted,    // a plain file with one name, owned by someone to trust
    Removed,    // something not to write through was there, and is deleted
    Untrusted,  // something not to write through is there, and stays
};

// Looks at `path` without following a link. A link or junction, a folder, a
// file with more than one name, or (when elevated) a file owned by anyone
// but SYSTEM, the Administrators group or the current user is deleted first.
// Writing to `path` is safe after None, Trusted and Removed; after Removed or
// None create it exclusively, so that nothing placed in between is opened.
ExistingFileState ClearUntrustedFile(const std::wstring& path);

// Creates `path` for writing after ClearUntrustedFile: a trusted file is
// replaced when `mode` allows it, and a new file is always made exclusively.
// Nothing when what is there stays (`result` Refused), the name was taken in
// between (AlreadyExists) or the system refused (Failed).
std::unique_ptr<OutputFile> CreateFileSafely(const std::wstring& path, CreateMode mode, CreateResult& result);

}  // namespace platform
