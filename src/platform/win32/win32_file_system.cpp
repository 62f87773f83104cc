#include <windows.h>
#include <aclapi.h>

#include <cwchar>
#include <new>
#include <vector>

#include "platform/win32/win32_image_bytes.h"
#include "platform/win32/win32_implementations.h"

namespace platform::win32 {
namespace {

// Bytes handed to one WriteFile call. Wine touches every page of a buffer
// before it writes it: a megabyte at a time keeps that walk and the kernel's
// write in step (a single call for a 256 MB package took twice the system time).
constexpr DWORD kChunk = 1u << 20;
// Bytes of a loaded image from this many on are read from the image's file.
// Written from the mapping, each page of it is brought in on its first touch,
// which under Wine costs far more than reading the same bytes from the file (a
// 256 MB package took more than twice as long as a plain copy of it).
constexpr std::size_t kFromImageFileAtLeast = 4096;

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
    ~Win32OutputFile() override { CloseHandle(handle_); }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    bool write(const void* data, std::size_t size) override {
        const unsigned char* next = static_cast<const unsigned char*>(data);
        if (size >= kFromImageFileAtLeast && !writeFromImageFile(next, size)) return false;
        while (size > 0) {
            const DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
            if (!writeChunk(next, chunk)) return false;
            next += chunk;
            size -= chunk;
        }
        return true;
    }

private:
    bool writeChunk(const void* data, DWORD size) {
        DWORD written = 0;
        return WriteFile(handle_, data, size, &written, nullptr) && written == size;
    }

    // Writes what it can of the bytes at `next` from the file of the image
    // they belong to, moving `next` and `size` on past what it wrote; the rest
    // (all of it for bytes of no image) is left to be written from memory.
    // False only when writing failed.
    bool writeFromImageFile(const unsigned char*& next, std::size_t& size) {
        ImageBytesReader image(next, size);
        if (!image.ready()) return true;
        const std::size_t capacity = size < kChunk ? size : kChunk;
        std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[capacity]);
        if (!buffer) return true;
        while (size > 0) {
            const DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
            if (!image.read(buffer.get(), chunk)) return true;
            if (!writeChunk(buffer.get(), chunk)) return false;
            next += chunk;
            size -= chunk;
        }
        return true;
    }

    HANDLE handle_;
};

using GetTempPathFn = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W where the system has it: for SYSTEM the protected
// C:\Windows\SystemTemp, for everyone else what GetTempPathW gives.
GetTempPathFn TempPathFunction() {
    static GetTempPathFn function = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto found = kernel == nullptr ? nullptr
                                       : reinterpret_cast<GetTempPathFn>(
                                             reinterpret_cast<void*>(GetProcAddress(kernel, "GetTempPath2W")));
        return found != nullptr ? found : &GetTempPathW;
    }();
    return function;
}

// The handle of an entry opened for a look, closed on every path.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The user the process runs as, in a buffer that holds the SID.
bool CurrentUser(std::vector<unsigned char>& buffer) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const Handle token(raw);
    DWORD needed = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    if (needed == 0) return false;
    buffer.assign(needed, 0);
    return GetTokenInformation(token.get(), TokenUser, buffer.data(), needed, &needed) != FALSE;
}

bool OwnerTrusted(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool trusted = owner != nullptr && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                        IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    std::vector<unsigned char> user;
    if (!trusted && owner != nullptr && CurrentUser(user)) {
        trusted = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) != FALSE;
    }
    LocalFree(descriptor);
    return trusted;
}

using GetFinalPathNameByHandleFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// The path the system resolves an open handle to; nothing where it cannot
// tell (before Vista, or on failure).
std::optional<std::wstring> FinalPath(HANDLE handle) {
    static const auto function = reinterpret_cast<GetFinalPathNameByHandleFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (function == nullptr) return std::nullopt;
    DWORD needed = function(handle, nullptr, 0, 0);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = function(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length == 0 || length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

// False when the file open as `file` is not the entry `path` names in its
// folder: a link that the system does not mark as one leads elsewhere (Wine
// shows a Unix symbolic link as the file it points to). The folder is
// resolved the same way, so short names and linked folders above the file
// make no difference.
bool ResolvesToItself(HANDLE file, const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return true;
    const std::optional<std::wstring> fileFinal = FinalPath(file);
    if (!fileFinal) return true;
    const Handle folder(CreateFileW(path.substr(0, separator + 1).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) return true;
    std::optional<std::wstring> expected = FinalPath(folder.get());
    if (!expected) return true;
    if (expected->empty() || expected->back() != L'\\') *expected += L'\\';
    *expected += path.substr(separator + 1);
    return _wcsicmp(fileFinal->c_str(), expected->c_str()) == 0;
}

}  // namespace

std::optional<std::wstring> Win32FileSystem::tempFolder() {
    const GetTempPathFn getTempPath = TempPathFunction();
    DWORD needed = getTempPath(0, nullptr);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = getTempPath(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

std::optional<std::wstring> Win32FileSystem::fullPath(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

bool Win32FileSystem::exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::isFolder(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32FileSystem::createFolder(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

std::unique_ptr<OutputFile> Win32FileSystem::createFile(const std::wstring& path, CreateMode mode,
                                                        CreateResult& result) {
    DWORD disposition = mode == CreateMode::NewOnly ? CREATE_NEW : CREATE_ALWAYS;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        result = (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? CreateResult::AlreadyExists
                                                                                : CreateResult::Failed;
        return nullptr;
    }
    result = CreateResult::Created;
    return std::make_unique<Win32OutputFile>(handle);
}

bool Win32FileSystem::deleteFile(const std::wstring& path) {
    // Only the entry itself: where the name leads somewhere else without the
    // system marking it as a link (Wine deletes the target of a Unix link),
    // nothing is deleted.
    {
        const Handle entry(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (entry.valid() && !ResolvesToItself(entry.get(), path)) return false;
    }
    if (DeleteFileW(path.c_str())) return true;
    // A link to a folder is removed as a folder; the folder it names stays.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & folderLink) == folderLink &&
           RemoveDirectoryW(path.c_str());
}

std::optional<ExistingFile> Win32FileSystem::lookAt(const std::wstring& path) {
    // Opened for its attributes only, the link itself rather than its target.
    const Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ExistingFile found;
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            // A link whose target is missing may not open, yet it is there.
            WIN32_FIND_DATAW data;
            HANDLE search = FindFirstFileW(path.c_str(), &data);
            if (search == INVALID_HANDLE_VALUE) return std::nullopt;
            FindClose(search);
        }
        // There, but not to be looked at: nothing to write through.
        found.plainFile = false;
        found.ownerTrusted = false;
        return found;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) {
        found.plainFile = false;
        found.ownerTrusted = false;
        return found;
    }
    const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    found.plainFile = (info.dwFileAttributes & notPlain) == 0 && ResolvesToItself(file.get(), path);
    found.linkCount = info.nNumberOfLinks;
    found.ownerTrusted = OwnerTrusted(file.get());
    return found;
}

bool Win32FileSystem::processElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return true;
    const Handle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Systems without the query (before Vista) run every administrator elevated.
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return true;
    return elevation.TokenIsElevated != 0;
}

}  // namespace platform::win32
