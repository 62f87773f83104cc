#include "app/product_logs.h"

#include <map>

#include "package/file_names.h"
#include "platform/existing_files.h"
#include "platform/file_system.h"
#include "platform/installer.h"
#include "platform/services.h"

namespace {

// Numbered names tried when a placed file cannot be removed.
constexpr unsigned kMaxLogNumber = 100;

// Log paths used in this process: the path formed for a product, compared
// without regard to ASCII case as the file system does, and the file logged to.
std::map<std::wstring, std::wstring>& UsedLogs() {
    static std::map<std::wstring, std::wstring> used;
    return used;
}

std::wstring FoldCase(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
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
        if (held) return {candidate, std::move(held)};
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

ProductLog EnableProductLog(platform::HeldFolder* logFolder, const std::wstring& productName) {
    platform::Installer& installer = *platform::Current().installer;
    const std::wstring formed = logFolder != nullptr ? LogFilePath(logFolder->path(), productName) : std::wstring();
    if (formed.empty()) {
        installer.enableLog(0, std::wstring(), 0);  // off: not the previous product's log
        return {};
    }

    const std::wstring key = FoldCase(formed);
    auto used = UsedLogs().find(key);
    ProductLog log;
    log.path = used != UsedLogs().end() ? used->second : formed;
    platform::CreateResult result = platform::CreateResult::Failed;
    log.held = platform::OpenTrustedOrNew(*logFolder, NameIn(*logFolder, log.path), &platform::HeldFolder::holdForWriter,
                                          result);
    // Ours from an earlier product of this run: added to; a file of an earlier
    // run is replaced, and a file made new is empty either way.
    bool append = used != UsedLogs().end() && result == platform::CreateResult::Opened;
    if (!log.held) {
        log = NextFreeLogFile(*logFolder, productName);
        if (!log.held) {
            installer.enableLog(0, std::wstring(), 0);
            return {};
        }
        append = true;  // the new, empty file is ours: keep it, never open another
    }
    UsedLogs()[key] = log.path;
    installer.enableLog(platform::kLogModeVerbose, log.path, append ? platform::kLogAttributesAppend : 0);
    return log;
}

void ForgetProductLogs() { UsedLogs().clear(); }
