#include "app/product_logs.h"

#include <utility>
#include <vector>

#include "app/run_log.h"
#include "package/extraction.h"
#include "package/file_names.h"
#include "platform/error_codes.h"
#include "platform/existing_files.h"
#include "platform/file_system.h"
#include "platform/installer.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace {

// Numbered names tried when a placed file cannot be removed.
constexpr unsigned kMaxLogNumber = 100;

// The longest log folder the installer is given, terminator included.
constexpr std::size_t kLogFolderCapacity = 260;

// Log paths used in this process: the path formed for a product and the file
// logged to.
std::vector<std::pair<std::wstring, std::wstring>>& UsedLogs() {
    static std::vector<std::pair<std::wstring, std::wstring>> used;
    return used;
}

// The file logged to for the path `formed`, compared as the file system
// compares names; nothing when this process has not logged there.
const std::wstring* UsedLog(const std::wstring& formed) {
    platform::FileSystem& files = *platform::Current().files;
    for (const auto& [path, file] : UsedLogs()) {
        if (files.sameName(path, formed)) return &file;
    }
    return nullptr;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The name of the file at `path` (a path LogFilePath formed) in `folder`.
std::wstring NameIn(const platform::HeldFolder& folder, const std::wstring& path) {
    return path.substr(folder.path().size() + 1);
}

// A new, empty numbered log file for `productName`, created exclusively and
// held; nothing when no free name is found.
ProductLog NextFreeLogFile(platform::HeldFolder& logFolder, const std::wstring& productName) {
    for (unsigned number = 2; number <= kMaxLogNumber; ++number) {
        const std::wstring candidate = LogFilePath(logFolder.path(), productName, number);
        if (candidate.empty()) break;
        const std::wstring name = NameIn(logFolder, candidate);
        platform::CreateResult result = platform::CreateResult::Failed;
        auto held = platform::CreateNewOwnFile(logFolder, name, &platform::HeldFolder::holdForWriter, result);
        if (held) return {candidate, std::move(held), true};
        if (result != platform::CreateResult::AlreadyExists && result != platform::CreateResult::Refused) break;
    }
    return {};
}

}  // namespace

std::wstring LogFilePath(const std::wstring& logFolder, const std::wstring& productName, unsigned number) {
    // Characters that a file name cannot hold would cost the product its log,
    // the only record of an unattended run.
    std::wstring name = productName;
    for (wchar_t& c : name) {
        if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) c = L'_';
    }
    const std::wstring head = logFolder + L"\\";
    const std::wstring ending = number <= 1 ? L" R2.log" : L" R2 (" + std::to_wstring(number) + L").log";
    if (head.size() + ending.size() > kMaxPathChars) return std::wstring();
    const std::size_t room = kMaxPathChars - head.size() - ending.size();
    if (name.size() > room) {
        if (room == 0) return std::wstring();
        std::size_t keep = room;
        if (IsHighSurrogate(name[keep - 1])) --keep;  // its other half is cut off
        if (keep == 0) return std::wstring();
        name.resize(keep);
    }
    return head + name + ending;
}

namespace {

// The log file for `path` in `logFolder`, held. Elevated, the file this run
// made there before (`ours`) is opened, and so is a log of an earlier run,
// which an elevated program made (see ExistingFile::ownerAdministrative);
// anything else there is left as it is, neither written through nor
// deleted, and a file is made only where nothing is. Not elevated, see
// platform::OpenTrustedOrNew.
std::unique_ptr<platform::OpenFile> OpenLogFile(platform::HeldFolder& logFolder, const std::wstring& path, bool ours,
                                                platform::CreateResult& result) {
    const std::wstring name = NameIn(logFolder, path);
    if (!platform::Current().files->processElevated()) {
        return platform::OpenTrustedOrNew(logFolder, name, &platform::HeldFolder::holdForWriter, result);
    }
    auto file = logFolder.holdForWriter(name, platform::CreateMode::ReplaceExisting, result);
    if (!file) return nullptr;
    const platform::ExistingFile found = file->look();
    const bool made = result == platform::CreateResult::Created;
    if (platform::WritableThrough(found) && (ours || made || found.ownerAdministrative)) return file;
    if (made) file->remove();  // made through something: not ours
    result = platform::CreateResult::Refused;
    return nullptr;
}

}  // namespace

std::unique_ptr<platform::HeldFolder> HoldProductLogFolder(std::wstring& note) {
    std::wstring path = ProductLogFolder();
    platform::FileSystem& files = *platform::Current().files;
    if (path.empty() && files.processElevated()) {
        std::unique_ptr<platform::HeldFolder> folder = platform::HoldUserTempFolder(note);
        // Windows Installer's client writes its own files to the process's
        // temporary folder: the same as the logs', not one the user named.
        if (folder && !note.empty() && !files.setProcessTempFolder(folder->path())) {
            note += L"; the process's temporary folder stays the user's (error " +
                    std::to_wstring(platform::LastErrorOr(platform::kErrorNotEnoughMemory)) + L")";
        }
        return folder;
    }
    if (path.empty()) path = PrepareTempFolder(kLogFolderCapacity);
    if (path.back() == L':') path += L'\\';  // "c:" is the drive's root
    return platform::HoldFolderOrSystemTemp(path, note);
}

ProductLog EnableProductLog(platform::HeldFolder* logFolder, const std::wstring& productName) {
    platform::Installer& installer = *platform::Current().installer;
    const std::wstring formed = logFolder != nullptr ? LogFilePath(logFolder->path(), productName) : std::wstring();
    if (formed.empty()) {
        installer.enableLog(0, std::wstring(), 0);  // off: not the previous product's log
        return {};
    }

    const std::wstring* used = UsedLog(formed);
    ProductLog log;
    log.path = used != nullptr ? *used : formed;
    platform::CreateResult result = platform::CreateResult::Failed;
    log.held = OpenLogFile(*logFolder, log.path, used != nullptr, result);
    log.made = result == platform::CreateResult::Created;
    // Ours from an earlier product of this run: added to; a file of an earlier
    // run (not elevated) is replaced, and a file made new is empty either way.
    bool append = used != nullptr && result == platform::CreateResult::Opened;
    if (!log.held) {
        log = NextFreeLogFile(*logFolder, productName);
        append = true;  // the new, empty file is ours: keep it, never open another
    }
    // Windows Installer opens the log by its path: the folder must still be
    // the one shown free of links, now that it holds the file.
    const std::uint32_t moved = log.held ? logFolder->recheck() : 0;
    if (moved != 0) {
        LogLine(L"Windows Installer log " + log.path + L": its folder is no longer the one shown free of links (error " +
                std::to_wstring(moved) + L"): no log for this call",
                LogSeverity::Warning);
        if (log.made) log.held->remove();
        log = ProductLog();
    }
    if (!log.held) {
        installer.enableLog(0, std::wstring(), 0);
        return {};
    }
    if (used == nullptr) UsedLogs().emplace_back(formed, log.path);
    installer.enableLog(platform::kLogModeVerbose, log.path, append ? platform::kLogAttributesAppend : 0);
    return log;
}

void ForgetProductLogs() { UsedLogs().clear(); }
