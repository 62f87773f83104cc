#pragma once
// Per-thread settings that the program reads and steers: the last-error value
// and the locale, plus the user's default interface language, the thread's id
// and the account the program runs as.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

class ThreadState {
public:
    virtual ~ThreadState() = default;
    virtual std::uint32_t lastError() = 0;
    virtual void setLastError(std::uint32_t code) = 0;
    virtual std::uint32_t threadLocale() = 0;
    virtual bool setThreadLocale(std::uint32_t lcid) = 0;
    virtual std::uint16_t userDefaultUiLanguage() = 0;
    virtual std::uint32_t threadId() = 0;
    // The account of the process's token as "DOMAIN\name" (its SID when no
    // name can be found for it); nothing when the token cannot be read.
    virtual std::optional<std::wstring> accountName() = 0;
};

// The thread's last error, for the call that just failed; `fallback` when
// that call left none.
std::uint32_t LastErrorOr(std::uint32_t fallback);

}  // namespace platform
