#pragma once
// The report that "/i" shows: for each embedded package, the products it
// names, the versions it applies to and brings a product to, and the running
// Windows.
#include <cstdint>
#include <string>

// The report box: caption, and one OK button, the warning icon, brought to
// the foreground and kept on top (MB_OK | MB_ICONWARNING | MB_SETFOREGROUND |
// MB_TOPMOST).
extern const wchar_t* const kReportCaption;  // "Info"
constexpr std::uint32_t kReportBoxStyle = 0x50030;

// The section of the package held in the "MSP" resource `resourceName`.
// The package is extracted to a new temporary file, which is left in place.
// Whatever cannot be read leaves its lines empty; nothing is reported.
std::wstring DescribePackage(const std::wstring& resourceName);

// Shows the report box describing the embedded packages. False when the box
// could not be shown: the thread's last error says why.
bool ShowPackageInformation();
