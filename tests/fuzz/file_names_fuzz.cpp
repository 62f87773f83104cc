// The name an extracted package gets from the user's "/e" pattern. The first
// input line is the pattern; a second line, when there is one, the suffix.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "package/file_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::wstring> lines = fuzz::Lines(data, size);
    const std::wstring& pattern = lines[0];
    const std::wstring suffix = lines.size() > 1 ? lines[1] : L"_glob";

    std::wstring path = pattern;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    const std::wstring folder = FolderOf(path);
    const std::wstring extension = ExtensionOf(path);
    const std::wstring base = BaseNameOf(path);
    FUZZ_CHECK(path.compare(0, folder.size(), folder) == 0);
    FUZZ_CHECK(extension.empty() || extension[0] == L'.');
    FUZZ_CHECK(base.size() + extension.size() <= path.size() - folder.size());
    FUZZ_CHECK(path.compare(path.size() - extension.size(), extension.size(), extension) == 0);

    const std::optional<std::wstring> name = SuffixedPackageName(pattern, suffix);

    // Within the limits a name is always formed.
    const std::size_t longest = JoinPath(folder, base + suffix).size() + extension.size();
    const bool fits = path.size() <= kMaxPathChars && base.size() + suffix.size() <= kMaxComponentChars &&
                      extension.size() <= kMaxComponentChars && longest <= kMaxPathChars;
    if (fits) FUZZ_CHECK(name.has_value());
    if (!name) return 0;

    FUZZ_CHECK(name->size() <= kMaxPathChars);
    // The folder stays; the name is the base name, the suffix, then the
    // pattern's extension unless that name already has one.
    const std::wstring stem = JoinPath(folder, base + suffix);
    FUZZ_CHECK(name->compare(0, stem.size(), stem) == 0);
    const std::wstring tail = name->substr(stem.size());
    FUZZ_CHECK(tail.empty() || tail == extension);
    if (suffix.find_first_of(L"/\\") == std::wstring::npos) {
        FUZZ_CHECK(name->find(L'/') == std::wstring::npos);
    }
    return 0;
}
