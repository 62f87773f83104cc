#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

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

std::optional<std::wstring> FullPathOf(const std::wstring& path) {
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
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
// A look that cannot be completed counts as leading elsewhere.
bool ResolvesToItself(HANDLE file, const std::wstring& given) {
    const std::optional<std::wstring> path = FullPathOf(given);
    if (!path) return false;
    const std::size_t separator = path->find_last_of(L"\\/");
    if (separator == std::wstring::npos) return false;
    const std::optional<std::wstring> fileFinal = FinalPath(file);
    if (!fileFinal) return false;
    const Handle folder(CreateFileW(path->substr(0, separator + 1).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder.valid()) return false;
    std::optional<std::wstring> expected = FinalPath(folder.get());
    if (!expected) return false;
    if (expected->empty() || expected->back() != L'\\') *expected += L'\\';
    *expected += path->substr(separator + 1);
    return _wcsicmp(fileFinal->c_str(), expected->c_str()) == 0;
}

// What the open `file` is; `path` is the name it was opened under.
ExistingFile LookAtHandle(HANDLE file, const std::wstring& path) {
    ExistingFile found;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        found.plainFile = false;
        found.ownerTrusted = false;
        return found;
    }
    const DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    found.plainFile = (info.dwFileAttributes & notPlain) == 0 && GetFileType(file) == FILE_TYPE_DISK &&
                      ResolvesToItself(file, path);
    found.linkCount = info.nNumberOfLinks;
    found.ownerTrusted = OwnerTrusted(file);
    return found;
}

// True when an entry of that name is there, also one that cannot be opened
// (a link whose target is missing).
bool EntryThere(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    FindClose(search);
    return true;
}

// Opens the entry at `path` as itself (a link is not followed), or creates a
// file when none is there. `result` Opened, Created, AlreadyExists for an
// entry that is there but cannot be opened, or Failed.
HANDLE OpenOrCreate(const std::wstring& path, DWORD access, DWORD share, CreateMode mode, CreateResult& result) {
    // A few rounds, for an entry removed or made between the two calls.
    for (int round = 0; round < 4; ++round) {
        if (mode == CreateMode::ReplaceExisting) {
            HANDLE existing = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (existing != INVALID_HANDLE_VALUE) {
                result = CreateResult::Opened;
                return existing;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_PATH_NOT_FOUND) break;
            const bool there = EntryThere(path);
            if (error != ERROR_FILE_NOT_FOUND || there) {
                result = there ? CreateResult::AlreadyExists : CreateResult::Failed;
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
        }
        HANDLE created = CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            result = CreateResult::Created;
            return created;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        if (mode == CreateMode::NewOnly) {
            result = CreateResult::AlreadyExists;
            return INVALID_HANDLE_VALUE;
        }
    }
    result = CreateResult::Failed;
    return INVALID_HANDLE_VALUE;
}

// An open file; its name is kept only to ask the system where the handle leads.
class Win32OpenFile : public OpenFile {
public:
    Win32OpenFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
    ~Win32OpenFile() override { close(); }
    Win32OpenFile(const Win32OpenFile&) = delete;
    Win32OpenFile& operator=(const Win32OpenFile&) = delete;

    HANDLE handle() const { return handle_; }
    void close() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

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

    bool read(void* buffer, std::size_t size, std::size_t& got) override {
        DWORD read = 0;
        const bool ok = ReadFile(handle_, buffer, size < kChunk ? static_cast<DWORD>(size) : kChunk, &read,
                                 nullptr) != FALSE;
        got = read;
        return ok;
    }

    ExistingFile look() override { return LookAtHandle(handle_, path_); }

    bool truncate() override {
        LARGE_INTEGER start{};
        return SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
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
    std::wstring path_;
};

using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);

// "D:P" with full access for SYSTEM, the Administrators group and, when
// given, one more user; inherited by what is made inside, never from above.
std::wstring PrivateDescriptor(const wchar_t* extraUserSid) {
    std::wstring sddl = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (extraUserSid != nullptr) sddl += std::wstring(L"(A;OICI;FA;;;") + extraUserSid + L")";
    return sddl;
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

std::optional<std::wstring> Win32FileSystem::fullPath(const std::wstring& path) { return FullPathOf(path); }

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

bool Win32FileSystem::createPrivateFolder(const std::wstring& path, bool withCurrentUser) {
    wchar_t* userSid = nullptr;
    if (withCurrentUser) {
        std::vector<unsigned char> user;
        if (!CurrentUser(user) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &userSid)) {
            return false;
        }
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool described = ConvertStringSecurityDescriptorToSecurityDescriptorW(
                               PrivateDescriptor(userSid).c_str(), SDDL_REVISION_1, &descriptor, nullptr) != FALSE;
    if (userSid != nullptr) LocalFree(userSid);
    if (!described) return false;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    const bool created = CreateDirectoryW(path.c_str(), &attributes) != FALSE;
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return created;
}

bool Win32FileSystem::removeFolder(const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != FALSE; }

bool Win32FileSystem::randomBytes(void* buffer, std::size_t size) {
    // RtlGenRandom, exported by advapi32 under this name since Windows XP.
    static const auto generate = reinterpret_cast<RtlGenRandomFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036")));
    return generate != nullptr && size <= 0xFFFFFFFFu && generate(buffer, static_cast<ULONG>(size));
}

std::unique_ptr<OpenFile> Win32FileSystem::createFile(const std::wstring& path, CreateMode mode,
                                                      CreateResult& result) {
    HANDLE handle = OpenOrCreate(path, GENERIC_WRITE | READ_CONTROL, 0, mode, result);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32OpenFile>(handle, path);
}

std::unique_ptr<OpenFile> Win32FileSystem::holdForReaders(std::unique_ptr<OpenFile> written, const std::wstring& path,
                                                          std::uint32_t& error) {
    // The handle that wrote the file shares nothing, so nobody else has it
    // open; the hold shares reading only. On Windows the folder the patch run
    // writes in keeps everyone else out between the two; where it cannot (a
    // system that does not enforce security descriptors), whoever got in has
    // it open, and the hold fails, or has changed it, which the comparison of
    // the held file with the package finds.
    static_cast<Win32OpenFile*>(written.get())->close();
    written.reset();
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    auto file = std::make_unique<Win32OpenFile>(held, path);
    const ExistingFile found = file->look();
    if (!found.plainFile || found.linkCount != 1) {
        error = ERROR_FILE_CORRUPT;
        return nullptr;
    }
    return file;
}

std::unique_ptr<OpenFile> Win32FileSystem::holdForWriter(const std::wstring& path, CreateMode mode,
                                                         CreateResult& result) {
    // Write access, so that the sharing counts, of the one kind the writers
    // of an installer log share (they are several: the client and the
    // service): no delete sharing keeps the name on this file, and write
    // sharing lets the writers in. Nothing is written through it.
    HANDLE handle = OpenOrCreate(path, GENERIC_WRITE | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, mode, result);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32OpenFile>(handle, path);
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
