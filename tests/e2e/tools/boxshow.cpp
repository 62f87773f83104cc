// boxshow: shows message boxes described in a UTF-8 file, one after the other.
//
//   boxshow FILE
//
// Each line of FILE is  STYLE<TAB>CAPTION<TAB>TEXT  where STYLE is the MessageBoxW style in
// hexadecimal (e.g. 50010) and "\n", "\t" and "\\" in CAPTION and TEXT stand for a line feed,
// a tab and a backslash. A line  sleep<TAB>MS  waits MS milliseconds instead.
// Exit code: 0 when every box was answered, 1 when one failed (for example without a display),
// 2 on bad input.
#include "tool_common.h"

namespace {

std::wstring Unescape(const std::wstring& s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size()) {
            wchar_t n = s[++i];
            if (n == L'n') out += L'\n';
            else if (n == L't') out += L'\t';
            else out += n;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        e2e::Complain(L"usage: boxshow FILE");
        return 2;
    }
    std::string bytes;
    if (!e2e::ReadWholeFile(argv[1], bytes)) {
        e2e::Complain(std::wstring(L"boxshow: cannot read ") + argv[1]);
        return 2;
    }
    std::wstring all = e2e::FromUtf8(bytes);
    int failures = 0;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t eol = all.find(L'\n', pos);
        if (eol == std::wstring::npos) eol = all.size();
        std::wstring line = all.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty()) continue;
        size_t t1 = line.find(L'\t');
        size_t t2 = t1 == std::wstring::npos ? t1 : line.find(L'\t', t1 + 1);
        if (t1 == std::wstring::npos || (t2 == std::wstring::npos && line.compare(0, t1, L"sleep") != 0)) {
            e2e::Complain(L"boxshow: bad line: " + line);
            return 2;
        }
        if (line.compare(0, t1, L"sleep") == 0) {
            Sleep(static_cast<DWORD>(wcstoul(line.substr(t1 + 1).c_str(), nullptr, 10)));
            continue;
        }
        UINT style = static_cast<UINT>(wcstoul(line.substr(0, t1).c_str(), nullptr, 16));
        std::wstring caption = Unescape(line.substr(t1 + 1, t2 - t1 - 1));
        std::wstring text = Unescape(line.substr(t2 + 1));
        if (MessageBoxW(nullptr, text.c_str(), caption.c_str(), style) <= 0) ++failures;
    }
    return failures ? 1 : 0;
}
