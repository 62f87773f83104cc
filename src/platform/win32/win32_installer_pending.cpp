#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

// The Windows Installer service is not wired in yet.
Installer* InstallerService() { return nullptr; }

}  // namespace platform::win32
