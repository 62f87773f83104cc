#include <windows.h>
#include <winternl.h>
#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <new>
#include <vector>

#include "platform/error_codes.h"
#include "platform/existing_files.h"
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

}  // namespace

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

namespace {

// Sets `found`'s owner fields from the owner of the open `file`.
void LookAtOwner(HANDLE file, ExistingFile& found) {
    found.ownerTrusted = found.ownerAdministrative = false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return;
    }
    found.ownerAdministrative = owner != nullptr && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                                     IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    found.ownerTrusted = found.ownerAdministrative;
    std::vector<unsigned char> user;
    if (!found.ownerTrusted && owner != nullptr && CurrentUser(user)) {
        found.ownerTrusted = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) != FALSE;
    }
    LocalFree(descriptor);
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

// The thread's last error, or `fallback` where the failing call set none.
DWORD ErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

// `path` as the path it names: without the "\\?\" the system puts before a
// final path, and without a trailing separator.
std::wstring PlainForm(std::wstring path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path.erase(0, 4);
    }
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// `path` with every short (8.3) name in it written out long, as the system
// gives a final path; nothing when it cannot be.
std::optional<std::wstring> LongPathOf(const std::wstring& path) {
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

using CompareStringOrdinalFn = int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL);

// True when the two names are the same to the file system: ordinal, case
// ignored by the system's own table (Vista on), not by the C library's,
// which knows the ASCII letters only.
bool SameName(const std::wstring& a, const std::wstring& b) {
    static const auto compare = reinterpret_cast<CompareStringOrdinalFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CompareStringOrdinal")));
    if (compare == nullptr) return _wcsicmp(a.c_str(), b.c_str()) == 0;
    return compare(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

enum class Where { There, Elsewhere, Unknown };

// Whether the open `handle` leads to `expected` (a full path in plain form),
// asked of the system through the handle: a link, junction or mount point
// anywhere on the way shows as another final path (so does a Unix symbolic
// link under Wine, which shows it as what it points to).
Where LeadsTo(HANDLE handle, const std::wstring& expected) {
    const std::optional<std::wstring> final = FinalPath(handle);
    if (!final) return Where::Unknown;
    return SameName(PlainForm(*final), expected) ? Where::There : Where::Elsewhere;
}

// The native calls that open a file relative to a folder's handle or by its
// identity, delete through a file's own handle and ask a handle for its
// reparse tag; present in every NT system's ntdll.
using NtCreateFileFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using NtQueryInformationFileFn = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

struct NativeCalls {
    NtCreateFileFn createFile = nullptr;
    NtSetInformationFileFn setInformation = nullptr;
    NtQueryInformationFileFn queryInformation = nullptr;
    RtlNtStatusToDosErrorFn toDosError = nullptr;
    bool present() const {
        return createFile != nullptr && setInformation != nullptr && queryInformation != nullptr &&
               toDosError != nullptr;
    }
};

const NativeCalls& Native() {
    static const NativeCalls calls = [] {
        NativeCalls found;
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr) return found;
        found.createFile = reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
        found.setInformation = reinterpret_cast<NtSetInformationFileFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
        found.queryInformation = reinterpret_cast<NtQueryInformationFileFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationFile")));
        found.toDosError = reinterpret_cast<RtlNtStatusToDosErrorFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        return found;
    }();
    return calls;
}

// True when the entry open as `handle`, with `attributes`, is a link: a
// reparse point whose tag is a name surrogate. A placeholder of a synced
// folder, a deduplicated or compressed file is what it holds. A tag that
// cannot be read counts as a link.
bool IsLinkHandle(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    const NativeCalls& native = Native();
    if (!native.present()) return true;
    struct {
        ULONG attributes;
        ULONG reparseTag;
    } tag{};
    IO_STATUS_BLOCK io{};
    const LONG status = native.queryInformation(handle, &io, &tag, sizeof(tag),
                                                static_cast<FILE_INFORMATION_CLASS>(35));  // FileAttributeTagInformation
    return status < 0 || IsLinkTag(tag.reparseTag);
}

// True when `handle` is open on a folder that is no link: never deleted,
// empty or not, whoever put it there.
bool IsFolderNoLink(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return true;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsLinkHandle(handle, info.dwFileAttributes);
}

// What the open `file` is; `path` is the full path it was opened under.
ExistingFile LookAtHandle(HANDLE file, const std::wstring& path) {
    ExistingFile found;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        found.plainFile = false;
        found.ownerTrusted = false;
        return found;
    }
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    const Where where = LeadsTo(file, path);
    found.identityShown = where != Where::Unknown;
    found.plainFile = (info.dwFileAttributes & notPlain) == 0 && !IsLinkHandle(file, info.dwFileAttributes) &&
                      GetFileType(file) == FILE_TYPE_DISK && where == Where::There;
    found.linkCount = info.nNumberOfLinks;
    LookAtOwner(file, found);
    return found;
}

// Opens or creates, through the native call, the entry `name` relative to
// the open `root`; a link at the name is never followed. The last error
// tells why not.
HANDLE NativeOpen(HANDLE root, UNICODE_STRING& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                  ULONG options, PSECURITY_DESCRIPTOR descriptor = nullptr) {
    const NativeCalls& native = Native();
    if (!native.present()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, root, descriptor);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const LONG status = native.createFile(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io,
                                          nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                                          options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        SetLastError(native.toDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Opens or creates the entry `name` of the folder held as `folder`, by the
// folder's handle, never by the folder's path; the last error tells why not.
HANDLE OpenRelative(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                    ULONG options, PSECURITY_DESCRIPTOR descriptor = nullptr) {
    // One entry of this very folder: no separator, no "." or "..".
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos ||
        name.size() > 255) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    return NativeOpen(folder, text, access, share, disposition, options, descriptor);
}

// Opens the file whose identity is `id` on the volume of `volume` (any
// handle on it), for deleting.
HANDLE OpenByIdentity(HANDLE volume, ULONGLONG id) {
    UNICODE_STRING text;
    text.Buffer = reinterpret_cast<PWSTR>(&id);
    text.Length = text.MaximumLength = sizeof(id);
    return NativeOpen(volume, text, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                      FILE_OPEN_BY_FILE_ID | FILE_NON_DIRECTORY_FILE);
}

// Marks what `handle` is open on for deletion when the handle closes.
bool DeleteThroughHandle(HANDLE handle) {
    const NativeCalls& native = Native();
    if (!native.present()) return false;
    struct {
        BOOLEAN deleteFile;
    } disposition{TRUE};
    IO_STATUS_BLOCK io{};
    const LONG status = native.setInformation(handle, &io, &disposition, sizeof(disposition),
                                              static_cast<FILE_INFORMATION_CLASS>(13));  // FileDispositionInformation
    if (status < 0) {
        SetLastError(native.toDosError(status));
        return false;
    }
    return true;
}

// Opens the entry `name` of `folder` as itself (a link is not followed), or
// creates a file when none is there, with `descriptor` when one is given.
// `result` Opened, Created, AlreadyExists for an entry that is there but
// cannot be opened, or Failed.
HANDLE OpenOrCreateIn(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share, CreateMode mode,
                      PSECURITY_DESCRIPTOR descriptor, CreateResult& result) {
    // A few rounds, for an entry removed or made between the two calls.
    for (int round = 0; round < 4; ++round) {
        if (mode == CreateMode::ReplaceExisting) {
            HANDLE existing = OpenRelative(folder, name, access, share, FILE_OPEN, 0);
            if (existing != INVALID_HANDLE_VALUE) {
                result = CreateResult::Opened;
                return existing;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) {
                // Something is there that cannot be opened (a read-only file,
                // a link to nothing), unless the name itself is unusable.
                const bool unusable = error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
                                      error == ERROR_CALL_NOT_IMPLEMENTED;
                result = unusable ? CreateResult::Failed : CreateResult::AlreadyExists;
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
        }
        HANDLE created = OpenRelative(folder, name, access, share, FILE_CREATE, FILE_NON_DIRECTORY_FILE, descriptor);
        if (created != INVALID_HANDLE_VALUE) {
            result = CreateResult::Created;
            return created;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            result = CreateResult::Failed;
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        if (mode == CreateMode::NewOnly) break;
    }
    // Taken each time, or by something that cannot be opened as itself.
    result = CreateResult::AlreadyExists;
    return INVALID_HANDLE_VALUE;
}

// An open file; its name is kept only to ask the system where the handle
// leads. It keeps a handle of its folder, to delete the file by its identity
// once it has let go of it (a hold whose handle may not delete).
class Win32OpenFile : public OpenFile {
public:
    Win32OpenFile(HANDLE handle, std::wstring path, bool created, bool canDelete, HANDLE folder)
        : handle_(handle), path_(std::move(path)), created_(created), canDelete_(canDelete) {
        if (!DuplicateHandle(GetCurrentProcess(), folder, GetCurrentProcess(), &folder_, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            folder_ = INVALID_HANDLE_VALUE;
        }
    }
    ~Win32OpenFile() override {
        close();
        if (folder_ != INVALID_HANDLE_VALUE) CloseHandle(folder_);
    }
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

    void letGo() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(handle_, &info)) {
            identity_ = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        }
        close();
    }

    bool remove() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            // What this handle made, or the entry itself at its name: never
            // the file that a link the system did not mark as one leads to.
            if ((!created_ && LeadsTo(handle_, path_) != Where::There) || IsFolderNoLink(handle_)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return false;
            }
            if (canDelete_) {
                if (!DeleteThroughHandle(handle_)) return false;
                close();
                removed_ = true;
                return true;
            }
            letGo();  // a hold that shares no deleting lets go first
        }
        if (removed_) return true;
        if (identity_ == 0 || folder_ == INVALID_HANDLE_VALUE) {
            SetLastError(kErrorIdentityUnknown);
            return false;
        }
        const Handle entry(OpenByIdentity(folder_, identity_));
        if (!entry.valid()) return false;
        if (LeadsTo(entry.get(), path_) != Where::There) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!DeleteThroughHandle(entry.get())) return false;
        removed_ = true;
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
    HANDLE folder_ = INVALID_HANDLE_VALUE;
    ULONGLONG identity_ = 0;
    std::wstring path_;
    bool created_;
    bool canDelete_;
    bool removed_ = false;
};


using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);

// Owned by the Administrators group, or with `userSid` by that user; full
// access for SYSTEM, the Administrators group and, when given, that user;
// inherited by what is made inside, never from above.
std::wstring PrivateDescriptor(const wchar_t* userSid) {
    std::wstring sddl = userSid != nullptr ? std::wstring(L"O:") + userSid : std::wstring(L"O:BA");
    sddl += L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (userSid != nullptr) sddl += std::wstring(L"(A;OICI;FA;;;") + userSid + L")";
    return sddl;
}

// A file only SYSTEM and the Administrators group may use, owned by the
// Administrators group.
constexpr wchar_t kPrivateFileDescriptor[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The security descriptor built from the text `sddl`; none when `sddl` is
// nullptr (what is made then gets what its folder passes on). One that
// cannot be built fails the create rather than fall back to the folder's.
class Descriptor {
public:
    explicit Descriptor(const wchar_t* sddl) {
        failed_ = sddl != nullptr &&
                  !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr);
    }
    ~Descriptor() {
        if (descriptor_ != nullptr) LocalFree(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }
    // True when a descriptor was wanted and cannot be built; `result` then Failed.
    bool failed(CreateResult& result) const {
        if (failed_) result = CreateResult::Failed;
        return failed_;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    bool failed_ = false;
};

// Why a folder whose final path is not its path is refused, when no link is
// to blame: a substituted drive (135), a mapped network drive (50); else
// a link, junction or mount point on the way (4395).
std::uint32_t DriveOtherThanLink(const std::wstring& path) {
    if (path.size() < 2 || path[1] != L':') return kErrorLinkInPath;
    const std::wstring drive = path.substr(0, 2);
    wchar_t target[MAX_PATH + 1] = {};
    if (QueryDosDeviceW(drive.c_str(), target, MAX_PATH) != 0 && std::wcsncmp(target, L"\\??\\", 4) == 0) {
        return kErrorSubstitutedDrive;
    }
    if (GetDriveTypeW((drive + L"\\").c_str()) == DRIVE_REMOTE) return kErrorNotSupported;
    return kErrorLinkInPath;
}

// What a held folder's handle may do: list, add files, and (for a folder of
// our own) be removed through it. Others may read and write in the folder,
// never rename, delete or replace it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ULONG kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Win32HeldFolder : public HeldFolder {
public:
    Win32HeldFolder(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
    ~Win32HeldFolder() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Win32HeldFolder(const Win32HeldFolder&) = delete;
    Win32HeldFolder& operator=(const Win32HeldFolder&) = delete;

    // 0 when the handle is on a folder, itself no link, whose final path is
    // the path it was opened under; else why not.
    std::uint32_t check() const {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(handle_, &info)) return GetLastError() != 0 ? GetLastError() : kErrorIdentityUnknown;
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_DIRECTORY;
        if (IsLinkHandle(handle_, info.dwFileAttributes)) return kErrorLinkInPath;
        switch (LeadsTo(handle_, path_)) {
            case Where::There:
                return 0;
            case Where::Elsewhere:
                return DriveOtherThanLink(path_);
            case Where::Unknown:
                break;
        }
        return kErrorIdentityUnknown;
    }

    const std::wstring& path() const override { return path_; }

    std::unique_ptr<OpenFile> createFile(const std::wstring& name, CreateMode mode, CreateResult& result) override {
        // Shares nothing, so the handle may delete what it made.
        const Descriptor descriptor(privateFiles_ ? kPrivateFileDescriptor : nullptr);
        if (descriptor.failed(result)) return nullptr;
        HANDLE handle =
            OpenOrCreateIn(handle_, name, GENERIC_WRITE | READ_CONTROL | DELETE, 0, mode, descriptor.get(), result);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32OpenFile>(handle, child(name), result == CreateResult::Created, true, handle_);
    }

    std::unique_ptr<OpenFile> holdForReaders(const std::wstring& name, std::uint32_t& error) override {
        // The handle that wrote the file shared nothing, so nobody else had it
        // open; the hold shares reading only. On Windows the folder keeps
        // everyone else out between the two; where it cannot (a system that
        // does not enforce security descriptors), whoever got in has it open,
        // and the hold fails, or has changed it, which the comparison of the
        // held file with the package finds.
        HANDLE held = OpenRelative(handle_, name, GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, FILE_OPEN,
                                   FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SEQUENTIAL_ONLY);
        if (held == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return nullptr;
        }
        auto file = std::make_unique<Win32OpenFile>(held, child(name), false, false, handle_);
        const ExistingFile found = file->look();
        if (!found.identityShown) {
            error = kErrorIdentityUnknown;
            return nullptr;
        }
        if (!found.plainFile || found.linkCount != 1) {
            error = ERROR_FILE_CORRUPT;
            return nullptr;
        }
        return file;
    }

    std::unique_ptr<OpenFile> holdForWriter(const std::wstring& name, CreateMode mode, CreateResult& result) override {
        // Write access, so that the sharing counts, of the one kind the
        // writers of an installer log share (they are several: the client and
        // the service): no delete sharing keeps the name on this file, and
        // write sharing lets the writers in. Nothing is written through it.
        const Descriptor descriptor(privateFiles_ ? kPrivateFileDescriptor : nullptr);
        if (descriptor.failed(result)) return nullptr;
        HANDLE handle = OpenOrCreateIn(handle_, name, GENERIC_WRITE | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       mode, descriptor.get(), result);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32OpenFile>(handle, child(name), result == CreateResult::Created, false,
                                               handle_);
    }

    std::uint32_t recheck() override { return check(); }

    void makeFilesPrivate() override { privateFiles_ = true; }

    // A folder made as `name` in this one, with the descriptor it inherits;
    // 0 or why not.
    std::uint32_t createFolder(const std::wstring& name) {
        const Handle made(OpenRelative(handle_, name, kFolderAccess, kFolderSharing, FILE_CREATE, FILE_DIRECTORY_FILE));
        return made.valid() ? 0 : ErrorOr(kErrorCannotMake);
    }

    bool deleteFile(const std::wstring& name) override {
        const Handle entry(OpenRelative(handle_, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        FILE_OPEN, FILE_OPEN_REPARSE_POINT));
        if (!entry.valid()) return false;
        // Only the entry itself: where the name leads somewhere else without
        // the system marking it as a link (Wine opens the target of a Unix
        // link), nothing is deleted; nor is a folder that is no link.
        return LeadsTo(entry.get(), child(name)) == Where::There && !IsFolderNoLink(entry.get()) &&
               DeleteThroughHandle(entry.get());
    }

    std::unique_ptr<HeldFolder> createPrivateFolder(const std::wstring& name, bool withCurrentUser,
                                                    std::uint32_t& error) override {
        wchar_t* userSid = nullptr;
        if (withCurrentUser) {
            std::vector<unsigned char> user;
            if (!CurrentUser(user) ||
                !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &userSid)) {
                error = ErrorOr(kErrorCannotMake);
                return nullptr;
            }
        }
        const Descriptor descriptor(PrivateDescriptor(userSid).c_str());
        if (userSid != nullptr) LocalFree(userSid);
        if (descriptor.get() == nullptr) {
            error = ErrorOr(kErrorCannotMake);
            return nullptr;
        }
        HANDLE handle = OpenRelative(handle_, name, kFolderAccess | DELETE, kFolderSharing, FILE_CREATE,
                                     FILE_DIRECTORY_FILE, descriptor.get());
        error = handle == INVALID_HANDLE_VALUE ? ErrorOr(kErrorCannotMake) : 0;
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        auto folder = std::make_unique<Win32HeldFolder>(handle, child(name));
        error = folder->check();
        if (error != 0) {
            folder->remove();
            return nullptr;
        }
        return folder;
    }

    bool remove() override {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        if (!DeleteThroughHandle(handle_)) return false;
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return true;
    }

private:
    std::wstring child(const std::wstring& name) const { return path_ + L"\\" + name; }

    HANDLE handle_;
    std::wstring path_;
    bool privateFiles_ = false;
};

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
    // Made in its parent, held and shown free of links, relative to its handle.
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    std::uint32_t error = 0;
    const std::unique_ptr<HeldFolder> held = openFolder(parent, error);
    if (held) error = static_cast<Win32HeldFolder&>(*held).createFolder(path.substr(slash + 1));
    SetLastError(error);
    return error == 0;
}

bool Win32FileSystem::setProcessTempFolder(const std::wstring& path) {
    return SetEnvironmentVariableW(L"TMP", path.c_str()) && SetEnvironmentVariableW(L"TEMP", path.c_str());
}

std::optional<std::wstring> Win32FileSystem::userProfileFolder() {
    using GetUserProfileDirectoryFn = BOOL(WINAPI*)(HANDLE, LPWSTR, LPDWORD);
    static const auto function = [] {
        HMODULE userenv = LoadLibraryExW(L"userenv.dll", nullptr, 0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
        return userenv == nullptr ? nullptr
                                  : reinterpret_cast<GetUserProfileDirectoryFn>(reinterpret_cast<void*>(
                                        GetProcAddress(userenv, "GetUserProfileDirectoryW")));
    }();
    HANDLE raw = nullptr;
    if (function == nullptr || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::nullopt;
    const Handle token(raw);
    DWORD size = 0;
    function(token.get(), nullptr, &size);
    if (size == 0) return std::nullopt;
    std::vector<wchar_t> buffer(size + 1);
    if (!function(token.get(), buffer.data(), &size)) return std::nullopt;
    return PlainForm(buffer.data());
}

bool Win32FileSystem::onNetwork(const std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") == 0) return true;  // a UNC path, "\\?\UNC\" too
    if (path.size() < 2 || path[1] != L':') return true;
    const UINT type = GetDriveTypeW((path.substr(0, 2) + L"\\").c_str());
    return type == DRIVE_REMOTE || type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR;
}

bool Win32FileSystem::sameName(const std::wstring& a, const std::wstring& b) { return SameName(a, b); }

std::optional<std::wstring> Win32FileSystem::windowsFolder() {
    // The system's own Windows folder, also for a user who has a private one
    // on a terminal server.
    wchar_t buffer[MAX_PATH + 1];
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return std::nullopt;
    return PlainForm(std::wstring(buffer, length));
}

std::unique_ptr<HeldFolder> Win32FileSystem::openFolder(const std::wstring& path, std::uint32_t& error) {
    const std::optional<std::wstring> full = FullPathOf(path);
    if (!full) {
        error = ErrorOr(ERROR_INVALID_NAME);
        return nullptr;
    }
    // The form the system gives a final path in: long names.
    const std::wstring opened = LongPathOf(*full).value_or(*full);
    HANDLE handle = CreateFileW(opened.c_str(), kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ErrorOr(kErrorPathNotFound);
        return nullptr;
    }
    auto folder = std::make_unique<Win32HeldFolder>(handle, PlainForm(opened));
    error = folder->check();
    if (error != 0) return nullptr;
    return folder;
}

std::unique_ptr<HeldFolder> Win32FileSystem::openResolvedFolder(const std::wstring& path, std::uint32_t& error) {
    // Links on the way followed, once: the folder is what it resolves to.
    HANDLE handle = CreateFileW(path.c_str(), kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ErrorOr(kErrorPathNotFound);
        return nullptr;
    }
    const Handle opened(handle);
    const std::optional<std::wstring> resolved = FinalPath(handle);
    if (!resolved) {
        error = kErrorIdentityUnknown;
        return nullptr;
    }
    // Held as itself under the path it resolved to, and shown so again.
    return openFolder(PlainForm(*resolved), error);
}

bool Win32FileSystem::randomBytes(void* buffer, std::size_t size) {
    // RtlGenRandom, exported by advapi32 under this name since Windows XP.
    static const auto generate = reinterpret_cast<RtlGenRandomFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036")));
    return generate != nullptr && size <= 0xFFFFFFFFu && generate(buffer, static_cast<ULONG>(size));
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
