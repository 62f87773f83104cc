#pragma once
// Composition of the names that extracted packages are written under.
#include <cstddef>
#include <optional>
#include <string>

// Longest path, base name and extension that a name pattern may have, in
// characters without the terminator.
constexpr std::size_t kMaxPathChars = 259;
constexpr std::size_t kMaxComponentChars = 255;

// The folder part of `path` without the separator after it; a drive or UNC
// root keeps its separator ("C:\x" -> "C:\", "\x" -> "\"); "" for a bare name.
std::wstring FolderOf(const std::wstring& path);

// The extension of the last component of `path`, from its last "." with the
// dot; "" when there is none. A space after the dot ends it, as the shell does.
std::wstring ExtensionOf(const std::wstring& path);

// The last component of `path` without its extension.
std::wstring BaseNameOf(const std::wstring& path);

// The last component of `path`, extension included.
std::wstring FileNameOf(const std::wstring& path);

// `folder` joined with `name` by one separator (none for an empty folder).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The file name an extracted package gets from the user's pattern: the base
// name followed by `suffix`, then the pattern's extension unless the name so
// formed already has one. "/" is read as "\". Nothing when a part of the name
// is longer than the limits above.
std::optional<std::wstring> SuffixedPackageName(const std::wstring& pattern, const std::wstring& suffix);
