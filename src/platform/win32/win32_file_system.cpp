#include <windows.h>

#include <vector>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {
namespace {

// Bytes handed to one WriteFile call. Wine touches every page of a buffer
// before it writes it, and a package is written straight from the mapped
// image: a megabyte at a time keeps that walk and the kernel's write in step
// (a single call for a 256 MB package took twice the system time).
constexpr DWORD kChunk = 1u << 20;

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}
    ~Win32OutputFile() override { CloseHandle(handle_); }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    bool write(const void* data, std::size_t size) override {
        const unsigned char* next = static_cast<const unsigned char*>(data);
        while (size > 0) {
            const DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
            DWORD written = 0;
            if (!WriteFile(handle_, next, chunk, &written, nullptr) || written != chunk) return false;
            next += chunk;
            size -= chunk;
        }
        return true;
    }

private:
    HANDLE handle_;
};

}  // namespace

std::optional<std::wstring> Win32FileSystem::tempFolder() {
    DWORD needed = GetTempPathW(0, nullptr);
    if (needed == 0) return std::nullopt;
    std::vector<wchar_t> buffer(needed + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
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

bool Win32FileSystem::deleteFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

}  // namespace platform::win32
