// stationrun: starts a program in a window station of its own, which no user sees (as a service or
// a deployment agent in session 0 has it), and waits for it to end.
//
//   stationrun --timeout MS -- PROGRAM [ARGS...]
//
// The station and its desktop "Default" are made fresh for the run; the program gets them through
// STARTUPINFO.lpDesktop. A message box there cannot be seen or closed: a program that shows one
// waits until the timeout, and is then ended. Prints one JSON line:
//   {"visible":false,"end":"exited","exit":3010,"ms":412}   or   {"visible":false,"end":"timeout","ms":...}
// where "visible" is whether the new station has WSF_VISIBLE. Exit code: 0 when the program ended by
// itself, 1 on the timeout, 2 when the station or the program could not be made or started.
#include <string>

#include "tool_common.h"

namespace {

using e2e::Handle;

// Window station and desktop handles, closed on the way out.
struct Station {
    HWINSTA handle = nullptr;
    ~Station() {
        if (handle) CloseWindowStation(handle);
    }
};
struct Desktop {
    HDESK handle = nullptr;
    ~Desktop() {
        if (handle) CloseDesktop(handle);
    }
};

int Fail(const wchar_t* what) {
    const DWORD error = GetLastError();
    e2e::Complain(std::wstring(L"stationrun: ") + what + L": error " + std::to_wstring(error));
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD timeoutMs = 60000;
    std::vector<std::wstring> command;
    e2e::Options options;
    options.number(L"--timeout", timeoutMs).command(command);
    if (!options.parse(e2e::Args(argc, argv)) || command.empty()) {
        e2e::Complain(L"usage: stationrun --timeout MS -- PROGRAM [ARGS...]");
        return 2;
    }

    // A name of its own for every run, so runs never share a station.
    const std::wstring name = L"E2EHidden" + std::to_wstring(GetCurrentProcessId());
    Station station;
    station.handle = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station.handle) return Fail(L"CreateWindowStationW");
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(station.handle, UOI_FLAGS, &flags, sizeof flags, &needed)) {
        return Fail(L"GetUserObjectInformationW");
    }

    // A desktop is made in the calling process's station: switch there for the call, and back.
    HWINSTA own = GetProcessWindowStation();
    if (!SetProcessWindowStation(station.handle)) return Fail(L"SetProcessWindowStation");
    Desktop desktop;
    desktop.handle = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    const DWORD desktopError = GetLastError();
    SetProcessWindowStation(own);
    if (!desktop.handle) {
        SetLastError(desktopError);
        return Fail(L"CreateDesktopW");
    }

    std::wstring cmd;
    for (const auto& a : command) cmd += (cmd.empty() ? L"" : L" ") + e2e::QuoteArg(a);
    std::wstring where = name + L"\\Default";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.lpDesktop = &where[0];
    PROCESS_INFORMATION pi{};
    const DWORD started = GetTickCount();
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return Fail(L"CreateProcessW");
    }
    CloseHandle(pi.hThread);
    Handle process(pi.hProcess);

    const bool ended = WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
    const DWORD ms = GetTickCount() - started;
    std::string line = std::string("{\"visible\":") + ((flags.dwFlags & WSF_VISIBLE) ? "true" : "false");
    if (ended) {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        line += ",\"end\":\"exited\",\"exit\":" + std::to_string(code);
    } else {
        TerminateProcess(process.get(), 259);
        WaitForSingleObject(process.get(), 5000);
        line += ",\"end\":\"timeout\"";
    }
    line += ",\"ms\":" + std::to_string(ms) + "}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return ended ? 0 : 1;
}
