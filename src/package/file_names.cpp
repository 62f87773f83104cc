#include "package/file_names.h"

namespace {

std::size_t StartOfLastComponent(const std::wstring& path) {
    std::size_t pos = path.find_last_of(L"\\:");
    return pos == std::wstring::npos ? 0 : pos + 1;
}

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
    // Where the last component starts, and whether a separator before it
    // belongs to a root that must stay.
    std::size_t cut = 0;
    std::size_t i = 0;
    if (i < path.size() && path[i] == L'\\') cut = ++i;
    if (i < path.size() && path[i] == L'\\') cut = ++i;
    for (; i < path.size(); ++i) {
        if (path[i] == L'\\') {
            cut = i;
        } else if (path[i] == L':') {
            cut = i + 1;
            if (i + 1 < path.size() && path[i + 1] == L'\\') {
                cut = i + 2;
                ++i;
            }
        }
    }
    return path.substr(0, cut);
}

std::wstring ExtensionOf(const std::wstring& path) {
    std::size_t dot = std::wstring::npos;
    for (std::size_t i = StartOfLastComponent(path); i < path.size(); ++i) {
        if (path[i] == L' ') {
            dot = std::wstring::npos;
        } else if (path[i] == L'.') {
            dot = i;
        }
    }
    return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

std::wstring FileNameOf(const std::wstring& path) { return path.substr(StartOfLastComponent(path)); }

std::wstring BaseNameOf(const std::wstring& path) {
    std::wstring name = path.substr(StartOfLastComponent(path));
    return name.substr(0, name.size() - ExtensionOf(name).size());
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    if (folder.back() == L'\\') return folder + name;
    return folder + L'\\' + name;
}

std::optional<std::wstring> SuffixedPackageName(const std::wstring& pattern, const std::wstring& suffix) {
    std::wstring path = pattern;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.size() > kMaxPathChars) return std::nullopt;

    const std::wstring extension = ExtensionOf(path);
    const std::wstring baseName = BaseNameOf(path) + suffix;
    if (baseName.size() > kMaxComponentChars || extension.size() > kMaxComponentChars) return std::nullopt;

    std::wstring result = JoinPath(FolderOf(path), baseName);
    if (ExtensionOf(result).empty()) result += extension;
    if (result.size() > kMaxPathChars) return std::nullopt;
    return result;
}
