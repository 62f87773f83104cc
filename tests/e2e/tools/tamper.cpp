// tamper: another program of the same user, out to change what an installer
// hands to Windows Installer. It watches a folder and every folder below it,
// and each file whose name starts with "MSP" that it sees it tries, again and
// again while the file is there, to open for writing and overwrite with the
// bytes of another file.
//
//   tamper --watch DIR --with FILE --ready FILE --stop FILE --out FILE [--timeout MS]
//
// Writes --ready once it watches; ends when --stop exists (or after --timeout)
// and writes to --out one JSON line: {"seen": [names], "overwritten": [[name,
// local time "hh:mm:ss.mmm"], ...], "refused": N}, N being the opens refused.
#include <algorithm>
#include <set>

#include "tool_common.h"

namespace {

bool StartsWithMsp(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return name.size() >= 3 && _wcsnicmp(name.c_str(), L"MSP", 3) == 0;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const auto& item : items) out += (out.size() > 1 ? ", " : "") + item;
    return out + "]";
}

std::string LocalTimeNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring watch, with, ready, stop, out;
    unsigned long timeout = 60000;
    e2e::Options options;
    options.text(L"--watch", watch).text(L"--with", with).text(L"--ready", ready).text(L"--stop", stop);
    options.text(L"--out", out).number(L"--timeout", timeout);
    std::string bytes;
    if (!options.parse(e2e::Args(argc, argv)) || watch.empty() || !e2e::ReadWholeFile(with, bytes)) {
        e2e::Complain(L"usage: tamper --watch DIR --with FILE --ready FILE --stop FILE --out FILE [--timeout MS]");
        return 2;
    }
    e2e::Handle dir(CreateFileW(watch.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    e2e::Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!dir || !event) return 2;
    alignas(DWORD) static unsigned char buffer[64 * 1024];
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.get();
    const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                         FILE_NOTIFY_CHANGE_SIZE;
    auto listen = [&] {
        ResetEvent(event.get());
        return ReadDirectoryChangesW(dir.get(), buffer, sizeof(buffer), TRUE, filter, nullptr, &overlapped, nullptr);
    };
    if (!listen() || !e2e::WriteWholeFile(ready, "ready")) return 2;

    std::set<std::wstring> targets;
    std::vector<std::string> seen, overwritten;
    unsigned long refused = 0;
    const ULONGLONG end = GetTickCount64() + timeout;
    while (GetTickCount64() < end && GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD got = 0;
        if (WaitForSingleObject(event.get(), targets.empty() ? 5 : 0) == WAIT_OBJECT_0 &&
            GetOverlappedResult(dir.get(), &overlapped, &got, FALSE)) {
            for (DWORD at = 0; got != 0;) {
                const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + at);
                const std::wstring path = watch + L"\\" + std::wstring(info->FileName, info->FileNameLength / 2);
                if (info->Action != FILE_ACTION_REMOVED && StartsWithMsp(path)) targets.insert(path);
                if (info->NextEntryOffset == 0) break;
                at += info->NextEntryOffset;
            }
            listen();
        }
        // Every file seen, as often as it takes: the moment it can be opened.
        for (auto it = targets.begin(); it != targets.end();) {
            e2e::Handle file(CreateFileW(it->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
            const DWORD error = GetLastError();
            const std::string name = e2e::JsonString(*it);
            if (std::find(seen.begin(), seen.end(), name) == seen.end()) seen.push_back(name);
            if (file) {
                DWORD put = 0;
                if (SetEndOfFile(file.get()) &&
                    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr)) {
                    overwritten.push_back("[" + name + ", \"" + LocalTimeNow() + "\"]");
                }
            } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       GetFileAttributesW(it->c_str()) == INVALID_FILE_ATTRIBUTES) {
                it = targets.erase(it);
                continue;
            } else {
                ++refused;
            }
            ++it;
        }
    }
    const std::string report = "{\"seen\": " + JsonList(seen) + ", \"overwritten\": " + JsonList(overwritten) +
                               ", \"refused\": " + std::to_string(refused) + "}\n";
    return e2e::WriteWholeFile(out, report) ? 0 : 2;
}
