#pragma once
// The files a patch run hands to Windows Installer: written into a folder of
// the run's own and held, so that what the installer reads is what the
// executable carries.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_system.h"

// A folder made for one patch run, under a name nobody can predict (128
// random bits), that only SYSTEM and the Administrators group may use (and
// the user running the process when it is not elevated). Elevated, it is made
// in the system's own temporary folder ("<Windows>\SystemTemp" where it can
// be, else "<Windows>\Temp"), never in one the user's environment names; not
// elevated, in the temporary folder. Held from its creation until the object
// goes away, then removed through its handle; the files in it are removed by
// their holders before.
class WorkingFolder {
public:
    // Nothing when the folder cannot be made and shown free of links; `error`
    // tells why (of the last place tried).
    static std::unique_ptr<WorkingFolder> Create(std::uint32_t& error);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    const std::wstring& path() const { return folder_->path(); }
    platform::HeldFolder& folder() const { return *folder_; }

private:
    explicit WorkingFolder(std::unique_ptr<platform::HeldFolder> folder) : folder_(std::move(folder)) {}
    std::unique_ptr<platform::HeldFolder> folder_;
};

// The error code of a package file whose bytes, read back through the handle
// that holds it, are not the carried package's (ERROR_FILE_CORRUPT).
constexpr std::uint32_t kErrorPackageChanged = 1392;

// A carried package written to a new file "MSP<n>" in a held folder, made,
// held and deleted relative to the folder's handle. From its creation until
// the object goes away no other process can write, replace, rename or delete
// the file, and before the object is handed out the file's bytes have been
// compared with the carried package through the very handle that holds it.
// The file is deleted through its hold when the object goes away, unless it
// is a copy to keep (the report's, in the temporary folder).
class HeldPackage {
public:
    // Nothing when the package is not carried, cannot be written or held, or
    // reads back differently; `error` tells why (kErrorPackageChanged for
    // bytes that are not the package's, 1921 for a file whose place the
    // system cannot tell). While another program (a virus scanner) still has
    // the new file open, the hold is tried again a few times, briefly. With
    // `keep` the file stays when the object goes away (only the hold ends),
    // and names others took in a shared folder are passed over.
    // `folder` must outlive the object.
    static std::unique_ptr<HeldPackage> Write(platform::HeldFolder& folder, const std::wstring& resourceName,
                                              std::uint32_t& error, bool keep = false);
    ~HeldPackage();
    HeldPackage(const HeldPackage&) = delete;
    HeldPackage& operator=(const HeldPackage&) = delete;
    const std::wstring& path() const { return path_; }

private:
    HeldPackage(platform::HeldFolder& folder, const std::wstring& name, std::unique_ptr<platform::OpenFile> hold,
                bool keep)
        : path_(folder.path() + L"\\" + name), hold_(std::move(hold)), keep_(keep) {}
    std::wstring path_;
    std::unique_ptr<platform::OpenFile> hold_;
    bool keep_;
};

// A copy of a carried package for the report to read, in the temporary
// folder (see platform::HoldTempFolderForCopies) under a new name "MSP<n>":
// held for readers from its creation until the object goes away, so that
// what is read is the package compared with the carried one, and left there
// afterwards.
class ReportCopy {
public:
    // Nothing when the package is not carried or the copy cannot be made,
    // held or shown to be the package.
    static std::unique_ptr<ReportCopy> Write(const std::wstring& resourceName);
    const std::wstring& path() const { return package_->path(); }

private:
    ReportCopy() = default;
    std::unique_ptr<platform::HeldFolder> folder_;  // outlives the package's hold
    std::unique_ptr<HeldPackage> package_;
};
