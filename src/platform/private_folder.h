#pragma once
// Who may use a folder that the program makes for itself.
#include <string>

namespace platform {

// The security descriptor, in the system's descriptor language, of a folder
// that only SYSTEM and the Administrators group may use, and the user with
// the SID `extraUser` as well when it is not empty: full access for each,
// handed down to what is made inside, and nothing inherited from above.
std::wstring PrivateFolderDescriptor(const std::wstring& extraUser);

}  // namespace platform
