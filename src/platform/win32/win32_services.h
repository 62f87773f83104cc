#pragma once
// The real platform services of the executable.
namespace platform::win32 {

// Keeps DLL loading to the system folder, so that a DLL planted beside the
// executable (a downloads folder, say) is never loaded into this elevated
// process. Called before anything else.
void RestrictDllSearchToSystemFolder();

// Installs the Win32 services as the current ones.
void InstallServices();

}  // namespace platform::win32
