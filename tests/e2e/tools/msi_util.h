// Windows Installer helpers for the end-to-end test tools.
#pragma once

#include "tool_common.h"

#include <msi.h>
#include <msiquery.h>

#include <string>
#include <utility>

namespace e2e {

// Owns an MSIHANDLE.
class MsiHandle {
public:
    MsiHandle() = default;
    explicit MsiHandle(MSIHANDLE h) : h_(h) {}
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    MsiHandle(MsiHandle&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
    MsiHandle& operator=(MsiHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, 0);
        }
        return *this;
    }
    ~MsiHandle() { reset(); }
    void reset() {
        if (h_) MsiCloseHandle(h_);
        h_ = 0;
    }
    MSIHANDLE get() const { return h_; }
    MSIHANDLE* out() {
        reset();
        return &h_;
    }
    explicit operator bool() const { return h_ != 0; }

private:
    MSIHANDLE h_ = 0;
};

inline std::wstring RecordString(MSIHANDLE rec, UINT field) {
    DWORD n = 0;
    wchar_t empty[1] = {L'\0'};
    UINT r = MsiRecordGetStringW(rec, field, empty, &n);
    if (r != ERROR_MORE_DATA && r != ERROR_SUCCESS) return {};
    std::wstring s(n + 1, L'\0');
    n = static_cast<DWORD>(s.size());
    if (MsiRecordGetStringW(rec, field, &s[0], &n) != ERROR_SUCCESS) return {};
    s.resize(n);
    return s;
}

// Runs a query that yields at most one row and returns its first field; empty when none.
inline std::wstring QueryOne(MSIHANDLE db, const std::wstring& sql) {
    MsiHandle view, rec;
    if (MsiDatabaseOpenViewW(db, sql.c_str(), view.out()) != ERROR_SUCCESS) return {};
    if (MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) return {};
    if (MsiViewFetch(view.get(), rec.out()) != ERROR_SUCCESS) return {};
    return RecordString(rec.get(), 1);
}

inline std::wstring PropertyOf(MSIHANDLE db, const std::wstring& name) {
    return QueryOne(db, L"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + L"'");
}

}  // namespace e2e
