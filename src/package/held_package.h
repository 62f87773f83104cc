#pragma once
// The files a patch run hands to Windows Installer: written into a folder of
// the run's own and held, so that what the installer reads is what the
// executable carries.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"

// A folder made for one patch run inside the temporary folder, under a name
// nobody can predict (128 random bits), that only SYSTEM and the
// Administrators group may use (and the user running the process when it is
// not elevated). Removed when the object goes away; the files in it are
// removed by their holders before.
class WorkingFolder {
public:
    // Nothing when the folder cannot be made; `error` tells why.
    static std::unique_ptr<WorkingFolder> Create(std::uint32_t& error);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    explicit WorkingFolder(std::wstring path) : path_(std::move(path)) {}
    std::wstring path_;
};

// The error code of a package file whose bytes, read back through the handle
// that holds it, are not the carried package's (ERROR_FILE_CORRUPT).
constexpr std::uint32_t kErrorPackageChanged = 1392;

// A carried package written to a new file "MSP<n>" in a working folder.
// From its creation until the object goes away no other process can write,
// replace, rename or delete the file, and before the object is handed out
// the file's bytes have been compared with the carried package through the
// very handle that holds it. The file is deleted when the object goes away.
class HeldPackage {
public:
    // Nothing when the package is not carried, cannot be written or held, or
    // reads back differently; `error` tells why (kErrorPackageChanged for
    // bytes that are not the package's).
    static std::unique_ptr<HeldPackage> Write(const std::wstring& folder, const std::wstring& resourceName,
                                              std::uint32_t& error);
    ~HeldPackage();
    HeldPackage(const HeldPackage&) = delete;
    HeldPackage& operator=(const HeldPackage&) = delete;
    const std::wstring& path() const { return path_; }

private:
    HeldPackage(std::wstring path, std::unique_ptr<platform::OpenFile> hold)
        : path_(std::move(path)), hold_(std::move(hold)) {}
    std::wstring path_;
    std::unique_ptr<platform::OpenFile> hold_;
};
