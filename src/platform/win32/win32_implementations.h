#pragma once
// Win32 implementations of the platform interfaces.
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_boxes.h"
#include "platform/os_version.h"
#include "platform/process_arguments.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/thread_state.h"
#include "platform/window_station.h"

namespace platform {
class Installer;
}

namespace platform::win32 {

class Win32FileSystem : public FileSystem {
public:
    std::optional<std::wstring> tempFolder() override;
    std::optional<std::wstring> fullPath(const std::wstring& path) override;
    bool exists(const std::wstring& path) override;
    bool isFolder(const std::wstring& path) override;
    bool createFolder(const std::wstring& path) override;
    std::optional<std::wstring> windowsFolder() override;
    std::unique_ptr<HeldFolder> openFolder(const std::wstring& path, std::uint32_t& error) override;
    std::unique_ptr<HeldFolder> openResolvedFolder(const std::wstring& path, std::uint32_t& error) override;
    std::optional<std::wstring> userProfileFolder() override;
    bool setProcessTempFolder(const std::wstring& path) override;
    bool onNetwork(const std::wstring& path) override;
    bool sameName(const std::wstring& a, const std::wstring& b) override;
    bool randomBytes(void* buffer, std::size_t size) override;
    bool processElevated() override;
};

class Win32Resources : public Resources {
public:
    std::optional<ResourceBytes> find(ModuleHandle module, const std::wstring& type,
                                      const std::wstring& name) override;
    std::optional<std::wstring> loadString(ModuleHandle module, unsigned id) override;
    std::optional<std::wstring> loadStringInLanguage(ModuleHandle module, unsigned id,
                                                     std::uint16_t langId) override;
};

class Win32ThreadState : public ThreadState {
public:
    std::uint32_t lastError() override;
    void setLastError(std::uint32_t code) override;
    std::uint32_t threadLocale() override;
    bool setThreadLocale(std::uint32_t lcid) override;
    std::uint16_t userDefaultUiLanguage() override;
    std::uint32_t threadId() override;
    std::optional<std::wstring> accountName() override;
};

class Win32MessageBoxes : public MessageBoxes {
public:
    bool show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) override;
};

class Win32OsVersion : public OsVersion {
public:
    bool queryVersion(std::uint32_t recordSize, OsVersionRecord& record) override;
    std::uint16_t processorArchitecture() override;
};

class Win32ProcessArguments : public ProcessArguments {
public:
    bool read(std::vector<std::wstring>& arguments) override;
};

class Win32Clock : public Clock {
public:
    LocalTime localTime() override;
    std::uint32_t tickMilliseconds() override;
    void sleep(std::uint32_t milliseconds) override;
};

class Win32WindowStation : public WindowStation {
public:
    StationCheck check() override;
};

class Win32Registry : public Registry {
public:
    RegistryEntry machine(const std::wstring& key, const std::wstring& name) override;
};

// The user the process runs as: its token's TOKEN_USER, in a buffer that
// holds the SID.
bool CurrentUser(std::vector<unsigned char>& buffer);

// The Windows Installer service; msi.dll is loaded on first use.
Installer* InstallerService();

}  // namespace platform::win32
