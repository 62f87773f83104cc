#pragma once
// A scriptable Windows Installer: packages with summary properties, products
// with states and properties, and a record of every call.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/installer.h"
#include "substitutes/fake_platform.h"

namespace fake {

struct SummaryProperty {
    std::wstring text;
    std::uint32_t result = 0;                     // forced result of every read, when not 0
    std::optional<std::uint32_t> secondResult;    // forced result of the read after a 234
    bool unterminated = false;                    // fills the buffer without a terminator
};

struct Package {
    std::uint32_t openResult = 0;
    std::map<std::uint32_t, SummaryProperty> properties;  // missing: empty text
};

struct Product {
    int state = platform::kInstallStateDefault;
    std::map<std::wstring, std::wstring> properties;
    std::map<std::wstring, std::uint32_t> failing;  // property -> result code
    std::map<std::wstring, std::map<std::wstring, std::wstring>> patchInfo;  // patch code -> property -> value, per machine
};

struct PropertyRead {
    std::uint32_t propertyId;
    std::uint32_t countPassed;
};

class Installer : public platform::Installer {
public:
    std::map<std::wstring, Package> packages;  // by full path
    // Packages found by the bytes of the file at the path opened, read from
    // `files` (for files the program writes itself, under names it chooses).
    fake::FileSystem* files = nullptr;
    std::map<std::string, Package> packagesByContent;
    std::map<std::wstring, Product> products;  // by product code, as passed
    std::uint32_t configureResult = 0;
    std::map<std::wstring, std::uint32_t> configureResults;  // per product code
    std::vector<std::uint32_t> busyCalls;  // results of the next configure calls, before the ones above

    // What was asked.
    std::vector<std::wstring> openedPaths;
    int unheldOpens = 0;  // packages opened that the program did not hold
    int opened = 0;
    std::vector<platform::InstallerHandle> closed;
    // Handles given out and not closed yet.
    std::size_t openHandles() const;
    std::vector<PropertyRead> reads;
    std::vector<std::wstring> stateQueries;
    std::vector<std::pair<std::wstring, std::wstring>> infoQueries;  // code, property
    std::vector<std::uint32_t> infoCounts;
    std::vector<std::wstring> logs;  // the path of every MsiEnableLogW call, empty: logging off
    struct LogCall {
        std::uint32_t mode;
        std::wstring path;
        std::uint32_t attributes;
    };
    std::vector<LogCall> logCalls;
    std::vector<int> uiLevels;
    int uiLevel = 1;
    struct Configure {
        std::wstring productCode;
        int level, state;
        std::wstring commandLine;
        int uiLevel;
        std::map<std::wstring, int> held;  // the files the program held during the call
    };
    std::vector<Configure> configures;
    // A successful configure call registers `appliedPatch` on its product as applied (State 1).
    std::wstring appliedPatch;
    std::vector<std::uint32_t> patchContexts;  // of every MsiGetPatchInfoExW call

    std::uint32_t getSummaryInformation(const std::wstring& packagePath, platform::InstallerHandle& handle) override;
    std::uint32_t summaryInfoGetProperty(platform::InstallerHandle handle, std::uint32_t propertyId, wchar_t* buffer,
                                         std::uint32_t& count) override;
    void closeHandle(platform::InstallerHandle handle) override {
        closed.push_back(handle);
        handles_.erase(handle);
    }
    int queryProductState(const std::wstring& productCode) override;
    std::uint32_t getProductInfo(const std::wstring& productCode, const std::wstring& property, wchar_t* buffer,
                                 std::uint32_t& count) override;
    std::uint32_t enableLog(std::uint32_t mode, const std::wstring& logPath, std::uint32_t attributes) override;
    int setInternalUI(int level) override;
    std::uint32_t configureProductEx(const std::wstring& productCode, int installLevel, int installState,
                                     const std::wstring& commandLine) override;
    std::uint32_t getPatchInfoEx(const std::wstring& patchCode, const std::wstring& productCode,
                                 std::uint32_t context, const std::wstring& property, wchar_t* buffer,
                                 std::uint32_t& count) override;

private:
    std::map<platform::InstallerHandle, std::wstring> handles_;
    platform::InstallerHandle nextHandle_ = 100;
    std::map<platform::InstallerHandle, int> readsOnHandle_;
};

}  // namespace fake
