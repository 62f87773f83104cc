// boxwatch: records the message boxes that other processes show, and closes them.
//
//   boxwatch --out FILE [--timeout MS] [--press ID] [--shots DIR] -- PROGRAM [ARGS...]
//       Starts PROGRAM and watches until it ends. The last line tells how it ended.
//   boxwatch --out FILE [--timeout MS] [--press ID] [--shots DIR] --count N
//       Watches the boxes of any other process until N were seen.
//
// Each box becomes one UTF-8 JSON line in FILE, written as soon as it is read:
//   {"caption":"...","text":"...","icon":"error","buttons":["OK"],"ms":123,"rect":[x,y,w,h]}
// icon is one of error, information, warning, question, none. The box is then closed by
// pressing OK (or the button given with --press, or Cancel / the first button when it has no OK).
// The last line is {"end":"exited","exit":N}, {"end":"count"} or {"end":"timeout"}.
// With PROGRAM, each top-level window of PROGRAM's process is also traced when first seen, box
// or not, visible or not: {"window":"CLASS","title":"...","visible":false,"ms":12}, so that a box
// that was never read can be told from one that was never made.
// Exit code: 0 when the watch ended normally, 3 on timeout (the program is then terminated),
// 2 on bad usage or when the program cannot be started.
//
// With --shots DIR, after reading box N it creates DIR\box-N.ready holding "x y w h" (screen
// coordinates of the box) and waits up to 10 s for DIR\box-N.done before closing the box, so a
// screenshot can be taken from outside.
#include "tool_common.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

namespace {

using e2e::Handle;

struct Options {
    std::wstring out;
    DWORD timeoutMs = 60000;
    int count = 0;
    int press = 0;
    std::wstring shotDir;
    std::vector<std::wstring> command;
};

class Output {
public:
    bool open(const std::wstring& path) {
        file_ = Handle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
        return static_cast<bool>(file_);
    }
    void line(const std::string& s) {
        std::string l = s + "\n";
        DWORD put = 0;
        WriteFile(file_.get(), l.data(), static_cast<DWORD>(l.size()), &put, nullptr);
        FlushFileBuffers(file_.get());
    }

private:
    Handle file_;
};

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[64] = {};
    GetClassNameW(hwnd, buf, 64);
    return buf;
}

// Text of a window of another process, through WM_GETTEXT (which Wine marshals).
std::wstring TextOf(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return {};
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                             2000, &got))
        return {};
    return std::wstring(buf.data(), std::min<size_t>(got, len + 1));
}

struct BoxParts {
    HWND icon = nullptr;
    HWND text = nullptr;
    std::vector<std::pair<int, HWND>> buttons;  // (x position, button)
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* parts = reinterpret_cast<BoxParts*>(param);
    if (GetParent(child) == nullptr) return TRUE;
    std::wstring cls = ClassOf(child);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            parts->icon = child;
        } else if (!parts->text || GetWindowTextLengthW(child) > GetWindowTextLengthW(parts->text)) {
            parts->text = child;
        }
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && (style & WS_VISIBLE)) {
        RECT r{};
        GetWindowRect(child, &r);
        parts->buttons.emplace_back(r.left, child);
    }
    return TRUE;
}

const wchar_t* ButtonName(int id) {
    switch (id) {
    case IDOK: return L"OK";
    case IDCANCEL: return L"CANCEL";
    case IDABORT: return L"ABORT";
    case IDRETRY: return L"RETRY";
    case IDIGNORE: return L"IGNORE";
    case IDYES: return L"YES";
    case IDNO: return L"NO";
    case 9: return L"HELP";
    case 10: return L"TRYAGAIN";
    case 11: return L"CONTINUE";
    default: return nullptr;
    }
}

// 32-bit top-down pixel buffer backed by a DIB section.
class Pixels {
public:
    Pixels(HDC reference, int w, int h) : w_(w), h_(h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(reference);
        bmp_ = CreateDIBSection(reference, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (dc_ && bmp_) old_ = SelectObject(dc_, bmp_);
    }
    ~Pixels() {
        if (dc_ && old_) SelectObject(dc_, old_);
        if (bmp_) DeleteObject(bmp_);
        if (dc_) DeleteDC(dc_);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;
    bool ok() const { return dc_ && bmp_ && bits_; }
    HDC dc() const { return dc_; }
    uint32_t at(int x, int y) const { return bits_[y * w_ + x] & 0xffffff; }
    void fill(uint32_t color) {
        GdiFlush();
        std::fill(bits_, bits_ + static_cast<size_t>(w_) * h_, color);
    }

private:
    int w_, h_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// The icon of another process's box cannot be asked for, so its pixels on screen are compared
// with the stock icons drawn here. Only the opaque pixels of a stock icon take part: they are
// the ones that come out the same over a black and over a white background.
struct Stock {
    const wchar_t* kind;
    LPCWSTR id;
};
const Stock kStock[] = {
    {L"error", IDI_HAND},
    {L"information", IDI_ASTERISK},
    {L"warning", IDI_EXCLAMATION},
    {L"question", IDI_QUESTION},
};

// Fraction of the opaque pixels of the best placement of the stock icon that match the capture.
double MatchScore(HDC screen, const Pixels& shot, int w, int h, HICON icon) {
    int iw = GetSystemMetrics(SM_CXICON), ih = GetSystemMetrics(SM_CYICON);
    if (iw > w || ih > h) return 0.0;
    Pixels black(screen, iw, ih), white(screen, iw, ih);
    if (!black.ok() || !white.ok()) return 0.0;
    black.fill(0x000000);
    white.fill(0xffffff);
    DrawIconEx(black.dc(), 0, 0, icon, iw, ih, 0, nullptr, DI_NORMAL);
    DrawIconEx(white.dc(), 0, 0, icon, iw, ih, 0, nullptr, DI_NORMAL);
    GdiFlush();
    double best = 0.0;
    for (int dy = 0; dy + ih <= h; ++dy) {
        for (int dx = 0; dx + iw <= w; ++dx) {
            int opaque = 0, same = 0;
            for (int y = 0; y < ih; ++y) {
                for (int x = 0; x < iw; ++x) {
                    uint32_t b = black.at(x, y);
                    if (b != white.at(x, y)) continue;
                    ++opaque;
                    if (shot.at(dx + x, dy + y) == b) ++same;
                }
            }
            if (opaque > 0) best = std::max(best, static_cast<double>(same) / opaque);
        }
    }
    return best;
}

std::wstring IconKind(HWND iconControl) {
    if (!iconControl || !IsWindowVisible(iconControl)) return L"none";
    RECT r{};
    GetWindowRect(iconControl, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    // A box without an icon leaves the control smaller than an icon.
    if (w < GetSystemMetrics(SM_CXICON) || h < GetSystemMetrics(SM_CYICON)) return L"none";
    ScreenDc screen;
    if (!screen.get()) return L"none";
    // The box may not be drawn yet when it is first seen: look again for a short while.
    for (int attempt = 0; attempt < 25; ++attempt) {
        Pixels shot(screen.get(), w, h);
        if (!shot.ok()) return L"none";
        BitBlt(shot.dc(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
        GdiFlush();
        const wchar_t* bestKind = nullptr;
        double bestScore = 0.0;
        for (const Stock& s : kStock) {
            double score = MatchScore(screen.get(), shot, w, h, LoadIconW(nullptr, s.id));
            if (score > bestScore) {
                bestScore = score;
                bestKind = s.kind;
            }
        }
        if (bestKind && bestScore >= 0.9) return bestKind;
        Sleep(20);
    }
    return L"none";
}

struct Seen {
    DWORD pressedAt = 0;
};

struct Finder {
    DWORD self;
    DWORD traced;  // the process whose every window is traced; 0: none
    std::vector<HWND> boxes;
    std::vector<HWND> windows;  // of the traced process
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<Finder*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != 0 && pid == f->traced) f->windows.push_back(hwnd);
    if (pid == f->self || !IsWindowVisible(hwnd)) return TRUE;
    if (ClassOf(hwnd) == L"#32770") f->boxes.push_back(hwnd);
    return TRUE;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Watcher {
public:
    Watcher(const Options& o, Output& out, DWORD traced) : opt_(o), out_(out), start_(GetTickCount()), traced_(traced) {}

    // Reads, records and closes the boxes visible now; returns how many new ones it recorded.
    int sweep() {
        Finder f{GetCurrentProcessId(), traced_, {}, {}};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&f));
        for (HWND window : f.windows) {
            if (!traced_windows_.insert(window).second) continue;
            out_.line("{\"window\":" + e2e::JsonString(ClassOf(window)) + ",\"title\":" + e2e::JsonString(TextOf(window)) +
                      ",\"visible\":" + (IsWindowVisible(window) ? "true" : "false") + ",\"ms\":" +
                      std::to_string(elapsed()) + "}");
        }
        int fresh = 0;
        for (HWND box : f.boxes) {
            auto it = seen_.find(box);
            if (it != seen_.end()) {
                // Still there after OK was pressed: press once more now and then.
                if (GetTickCount() - it->second.pressedAt > 1000) press(box, it->second);
                continue;
            }
            record(box);
            ++fresh;
        }
        // Forget boxes that are gone so that a reused handle is seen as a new box.
        for (auto it = seen_.begin(); it != seen_.end();) {
            if (!IsWindow(it->first)) it = seen_.erase(it);
            else ++it;
        }
        return fresh;
    }

    DWORD elapsed() const { return GetTickCount() - start_; }
    int recorded() const { return recorded_; }

private:
    void record(HWND box) {
        BoxParts parts;
        EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&parts));
        std::sort(parts.buttons.begin(), parts.buttons.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::wstring caption = TextOf(box);
        std::wstring text = parts.text ? TextOf(parts.text) : std::wstring();
        std::wstring icon = IconKind(parts.icon);
        RECT r{};
        GetWindowRect(box, &r);

        std::string line = "{\"caption\":" + e2e::JsonString(caption) + ",\"text\":" + e2e::JsonString(text) +
                           ",\"icon\":" + e2e::JsonString(icon) + ",\"buttons\":[";
        bool first = true;
        for (const auto& b : parts.buttons) {
            int id = GetDlgCtrlID(b.second);
            const wchar_t* name = ButtonName(id);
            if (!first) line += ",";
            first = false;
            line += e2e::JsonString(name ? std::wstring(name) : L"ID" + std::to_wstring(id));
        }
        line += "],\"ms\":" + std::to_string(elapsed()) + ",\"rect\":[" + std::to_string(r.left) + "," +
                std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "," +
                std::to_string(r.bottom - r.top) + "]}";
        out_.line(line);
        ++recorded_;

        if (!opt_.shotDir.empty()) holdForShot(r);

        Seen s;
        s.pressedAt = 0;
        buttons_[box] = parts.buttons.empty() ? 0 : chooseButton(parts);
        press(box, s);
        seen_[box] = s;
    }

    int chooseButton(const BoxParts& parts) const {
        std::set<int> ids;
        for (const auto& b : parts.buttons) ids.insert(GetDlgCtrlID(b.second));
        if (opt_.press && ids.count(opt_.press)) return opt_.press;
        if (ids.count(IDOK)) return IDOK;
        if (ids.count(IDCANCEL)) return IDCANCEL;
        return GetDlgCtrlID(parts.buttons.front().second);
    }

    void press(HWND box, Seen& s) {
        int id = buttons_.count(box) ? buttons_[box] : IDOK;
        if (id == 0) id = IDOK;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        s.pressedAt = GetTickCount();
    }

    void holdForShot(const RECT& r) {
        std::wstring base = opt_.shotDir + L"\\box-" + std::to_wstring(recorded_);
        std::string coords = std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                             std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + "\n";
        e2e::WriteWholeFile(base + L".ready", coords);
        for (int i = 0; i < 1000 && !FileExists(base + L".done"); ++i) Sleep(10);
    }

    const Options& opt_;
    Output& out_;
    DWORD start_;
    DWORD traced_;
    std::set<HWND> traced_windows_;
    int recorded_ = 0;
    std::map<HWND, Seen> seen_;
    std::map<HWND, int> buttons_;
};

bool ParseOptions(const e2e::Args& args, Options& o) {
    const bool parsed = e2e::Options()
                            .text(L"--out", o.out).text(L"--shots", o.shotDir)
                            .number(L"--timeout", o.timeoutMs).number(L"--count", o.count).number(L"--press", o.press)
                            .command(o.command)
                            .parse(args);
    return parsed && !o.out.empty() && (!o.command.empty() || o.count > 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    e2e::Args args(argc, argv);
    Options opt;
    if (!ParseOptions(args, opt)) {
        e2e::Complain(L"usage: boxwatch --out FILE [--timeout MS] [--press ID] [--shots DIR] "
                      L"(--count N | -- PROGRAM [ARGS...])");
        return 2;
    }
    Output out;
    if (!out.open(opt.out)) {
        e2e::Complain(L"boxwatch: cannot create " + opt.out);
        return 2;
    }

    Handle process;
    DWORD pid = 0;
    if (!opt.command.empty()) {
        std::wstring cmd;
        for (const auto& a : opt.command) cmd += (cmd.empty() ? L"" : L" ") + e2e::QuoteArg(a);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            DWORD err = GetLastError();
            out.line("{\"end\":\"not-started\",\"error\":" + std::to_string(err) + "}");
            e2e::Complain(L"boxwatch: cannot start " + cmd + L": error " + std::to_wstring(err));
            return 2;
        }
        CloseHandle(pi.hThread);
        process = Handle(pi.hProcess);
        pid = pi.dwProcessId;
    }

    Watcher w(opt, out, pid);
    for (;;) {
        w.sweep();
        if (process) {
            if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
                w.sweep();
                DWORD code = 0;
                GetExitCodeProcess(process.get(), &code);
                out.line("{\"end\":\"exited\",\"exit\":" + std::to_string(code) + "}");
                return 0;
            }
        } else if (w.recorded() >= opt.count) {
            out.line("{\"end\":\"count\"}");
            return 0;
        }
        if (w.elapsed() >= opt.timeoutMs) {
            out.line("{\"end\":\"timeout\"}");
            if (process) {
                TerminateProcess(process.get(), 259);
                WaitForSingleObject(process.get(), 5000);
            }
            return 3;
        }
        Sleep(10);
    }
}
