#pragma once
// In-memory substitutes of the platform services, for the unit tests (which
// install them through the fixtures of fixtures.h) and the fuzz targets.
// Free of any test framework.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_boxes.h"
#include "platform/process_arguments.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "platform/window_station.h"
#include "substitutes/fault_plan.h"

namespace fake {

// Files as a map from path to contents; folders as a set of paths. Files are
// made, opened and deleted only through a held folder, as on Windows; as on
// Windows, nothing is made in a folder that is not there (a drive root is
// always there), and a directory search finds no drive root and no path
// ending in a separator. Every call can be made to fail through Faults().
class FileSystem : public platform::FileSystem {
public:
    std::optional<std::wstring> temp = std::wstring(L"C:\\Temp\\");
    std::optional<std::wstring> windows = std::wstring(L"C:\\Windows");
    // The profile folder the system records for the user; paths on a
    // network (UNC, mapped drives): the path and everything below it.
    std::optional<std::wstring> profile = std::wstring(L"C:\\Users\\u");
    std::set<std::wstring> networkFolders;
    // System folders moved by an administrator's link: path -> where it leads.
    std::map<std::wstring, std::wstring> resolvedFolders;
    // Folders on a substituted drive (refused with 135), and files made with
    // the descriptor for administrators only.
    std::set<std::wstring> substitutedFolders;
    std::set<std::wstring> privateFiles;
    std::map<std::wstring, std::string> files;
    std::set<std::wstring> folders{L"C:\\Temp", L"C:\\Windows\\Temp"};
    // Folders whose path goes through a link (someone else's junction or
    // symbolic link): opening them or anything below them is refused (4395);
    // and folders whose place the system cannot tell (1921).
    std::set<std::wstring> linkedFolders;
    std::set<std::wstring> unresolvableFolders;
    // Files that cannot be opened for writing, nor deleted: as on Windows,
    // an entry that is there but cannot be opened.
    std::set<std::wstring> readOnly;
    std::size_t writeLimit = static_cast<std::size_t>(-1);  // bytes a write takes at most
    // Paths that appear (as if another process made them) right after they
    // were tested and found free.
    std::set<std::wstring> raceOnce;
    std::vector<std::wstring> openedExisting;  // files written through although they existed
    // Links placed by someone else: path -> the file they lead to. Opening a
    // link to replace it writes through it; deleting it removes the link only.
    std::map<std::wstring, std::wstring> links;
    // What a look at an existing file finds, when not a plain file of one
    // name owned by a trusted user.
    std::map<std::wstring, platform::ExistingFile> looks;
    std::set<std::wstring> undeletable;
    // What someone else does right after the program deleted a file.
    std::function<void(const std::wstring& path)> afterDelete;
    bool elevated = false;
    // Private folders made, with whether the current user was let in.
    std::map<std::wstring, bool> privateFolders;
    unsigned char nextRandom = 0;
    // Files and folders held open by the program now: path -> how many holds.
    std::map<std::wstring, int> held;
    // What another process does to a package file between its writing and
    // its hold; true from the hook makes the hold fail as if it held the file.
    std::function<bool(const std::wstring& path)> beforeHold;
    // What someone else does right after the program made a file.
    std::function<void(const std::wstring& path)> afterCreate;
    // Files open now, holds included: path -> how many handles. None of them
    // shares deleting.
    std::map<std::wstring, int> openNow;

    std::optional<std::wstring> tempFolder() override;
    std::optional<std::wstring> windowsFolder() override;
    std::unique_ptr<platform::HeldFolder> openFolder(const std::wstring& path, std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFolder> openResolvedFolder(const std::wstring& path, std::uint32_t& error) override;
    std::optional<std::wstring> userProfileFolder() override;
    bool setProcessTempFolder(const std::wstring& path) override {
        if (Faults().fails("setProcessTempFolder", 8)) return false;  // ERROR_NOT_ENOUGH_MEMORY
        temp = path + L"\\";
        return true;
    }
    bool onNetwork(const std::wstring& path) override;
    // Ordinal, case ignored for the letters of ASCII, Latin-1 and Cyrillic.
    bool sameName(const std::wstring& a, const std::wstring& b) override;
    bool randomBytes(void* buffer, std::size_t size) override;
    // What a look at the file under `path` finds; nothing when none is there.
    std::optional<platform::ExistingFile> lookAt(const std::wstring& path);
    std::optional<std::wstring> fullPath(const std::wstring& path) override;
    bool exists(const std::wstring& path) override;
    bool isFolder(const std::wstring& path) override;
    bool createFolder(const std::wstring& path) override;

    // True when something is under `path`, asked without a call of the program.
    bool there(const std::wstring& path) const;
    // True when the folder `path` is to be made in is there.
    bool parentThere(const std::wstring& path) const;

    // What the held folders do, by full path; `call` names the call for Faults().
    std::unique_ptr<platform::OpenFile> open(const char* call, const std::wstring& path, platform::CreateMode mode,
                                             platform::CreateResult& result, bool hold, bool privateFile);
    std::unique_ptr<platform::OpenFile> holdForReaders(const std::wstring& path, std::uint32_t& error);
    bool deleteFile(const std::wstring& path);
    // Deletes what is under `path`, uncounted: false with the last error set
    // where the system would refuse.
    bool erase(const std::wstring& path);
    // 0 when the folder at `path` can be held and shown free of links.
    std::uint32_t folderError(const std::wstring& path) const;

private:
    bool processElevated() override { return Faults().fails("processElevated") || elevated; }
};

// Resources and string tables keyed by language; `threadLanguage` is the
// table the platform's own loader would pick.
class Resources : public platform::Resources {
public:
    std::map<std::wstring, std::string> packages;  // "MSP" resources by name
    std::map<std::pair<unsigned, std::uint16_t>, std::wstring> strings;
    std::uint16_t threadLanguage = 1033;
    int stringLoads = 0;

    void addString(std::uint16_t lang, unsigned id, const std::wstring& text) { strings[{id, lang}] = text; }

    std::optional<platform::ResourceBytes> find(platform::ModuleHandle, const std::wstring& type,
                                                const std::wstring& name) override;
    std::optional<std::wstring> loadString(platform::ModuleHandle, unsigned id) override;
    std::optional<std::wstring> loadStringInLanguage(platform::ModuleHandle, unsigned id,
                                                     std::uint16_t langId) override;
};

// The last error is the fault plan's, so that a failing call of any
// substitute sets it and a succeeding one may clear it.
class ThreadState : public platform::ThreadState {
public:
    std::uint32_t& error = Faults().lastError;
    std::uint32_t locale = 1033;
    std::uint16_t userUiLanguage = 1033;
    std::vector<std::uint32_t> localesSet;

    std::uint32_t lastError() override { return error; }
    void setLastError(std::uint32_t code) override { error = code; }
    std::uint32_t threadLocale() override { return locale; }
    bool setThreadLocale(std::uint32_t lcid) override {
        localesSet.push_back(lcid);
        if (Faults().fails("setThreadLocale", 87)) return false;
        // The system refuses a locale it does not know, 0 among them.
        if (lcid == 0) {
            error = 87;  // ERROR_INVALID_PARAMETER
            return false;
        }
        locale = lcid;
        return true;
    }
    std::uint16_t userDefaultUiLanguage() override { return userUiLanguage; }
    std::uint32_t threadId() override { return 4242; }
    std::optional<std::wstring> accountName() override {
        if (Faults().fails("accountName")) return std::nullopt;
        return std::wstring(L"CONTOSO\\admin");
    }
};

struct ShownBox {
    std::wstring text;
    std::wstring caption;
    std::uint32_t style;
};

class MessageBoxes : public platform::MessageBoxes {
public:
    std::vector<ShownBox> shown;
    // A box that cannot be shown (no desktop to show it on) is not in `shown`;
    // it fails as the system's does without a display (1400).
    bool show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) override {
        if (Faults().fails("showBox", 1400)) return false;
        shown.push_back({text, caption, style});
        return true;
    }
};

class ProcessArguments : public platform::ProcessArguments {
public:
    std::vector<std::wstring> arguments{L"update.exe"};
    bool read(std::vector<std::wstring>& out) override {
        if (Faults().fails("readArguments", 8)) return false;
        // Copied the way the system's array is.
        std::vector<const wchar_t*> list;
        for (const auto& argument : arguments) list.push_back(argument.c_str());
        platform::CopyArguments(list.data(), static_cast<int>(list.size()), out);
        return true;
    }
};

// The process's window station: visible unless a test says otherwise.
class WindowStation : public platform::WindowStation {
public:
    platform::StationCheck state{platform::StationVisibility::Visible, L"WinSta0", 0};
    platform::StationCheck check() override {
        if (Faults().fails("checkWindowStation")) {
            return {platform::StationVisibility::Unknown, L"", Faults().lastError};
        }
        return state;
    }
};

// The machine's registry: keys and values by (key, value name; empty for
// the key itself); anything else is not there.
class Registry : public platform::Registry {
public:
    std::map<std::pair<std::wstring, std::wstring>, platform::RegistryEntry> entries;
    platform::RegistryEntry machine(const std::wstring& key, const std::wstring& name) override {
        if (Faults().fails("readRegistry")) return {platform::RegistryPresence::Unreadable, Faults().lastError, {}};
        const auto found = entries.find({key, name});
        return found != entries.end() ? found->second : platform::RegistryEntry();
    }
};

// A clock that stands still until the program sleeps.
class Clock : public platform::Clock {
public:
    platform::LocalTime now{2026, 12, 8, 21, 46, 9, 7};
    std::uint32_t ticks = 1000;
    std::vector<std::uint32_t> sleeps;
    platform::LocalTime localTime() override { return now; }
    std::uint32_t tickMilliseconds() override { return ticks; }
    void sleep(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        ticks += milliseconds;
    }
};

}  // namespace fake
