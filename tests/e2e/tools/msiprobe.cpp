// msiprobe: asks Windows Installer about products and packages, for the end-to-end tests.
//
//   msiprobe info CODE
//       {"state":5,"VersionString":"1.0.0.0","ProductName":"...","Language":"1033",
//        "InstallLocation":"...","patches":["{GUID}",...]}
//   msiprobe apply CODE PATCH.msp [LOGFILE]
//       Applies the patch as an updater does (basic UI without Cancel, verbose log when LOGFILE
//       is given): {"result":0}. Under Wine the result is 0 even for a patch that was not applied,
//       so a caller checks the product afterwards.
//   msiprobe summary FILE
//       {"open":0,"Title":"...","Keywords":"...","Template":"...","LastAuthor":"...",
//        "RevNumber":"...","PageCount":200}; "open" is the result of opening the summary.
//   msiprobe setprop PACKAGE.msi NAME VALUE
//       Sets a Property table row of a package, e.g. a product name in a script wixl cannot take.
//
// Output is one line of UTF-8 JSON on stdout. Exit code 0, or 1 when the call could not be made,
// 2 on bad usage.
#include "msi_util.h"

#include <cstdio>

namespace {

void Print(const std::string& line) {
    std::string l = line + "\n";
    std::fwrite(l.data(), 1, l.size(), stdout);
    std::fflush(stdout);
}

std::wstring ProductInfo(const std::wstring& code, const wchar_t* property) {
    DWORD n = 0;
    wchar_t empty[1] = {L'\0'};
    UINT r = MsiGetProductInfoW(code.c_str(), property, empty, &n);
    if (r != ERROR_MORE_DATA && r != ERROR_SUCCESS) return {};
    std::wstring s(n + 1, L'\0');
    n = static_cast<DWORD>(s.size());
    if (MsiGetProductInfoW(code.c_str(), property, &s[0], &n) != ERROR_SUCCESS) return {};
    s.resize(n);
    return s;
}

int Info(const std::wstring& code) {
    std::string out = "{\"state\":" + std::to_string(MsiQueryProductStateW(code.c_str()));
    for (const wchar_t* p : {L"VersionString", L"ProductName", L"Language", L"InstallLocation"})
        out += ",\"" + e2e::ToUtf8(p) + "\":" + e2e::JsonString(ProductInfo(code, p));
    out += ",\"patches\":[";
    for (DWORD i = 0;; ++i) {
        wchar_t patch[39] = {};
        wchar_t transforms[1024] = {};
        DWORD len = 1024;
        if (MsiEnumPatchesW(code.c_str(), i, patch, transforms, &len) != ERROR_SUCCESS) break;
        out += (i ? "," : "") + e2e::JsonString(patch);
    }
    Print(out + "]}");
    return 0;
}

int Apply(const std::wstring& code, const std::wstring& patch, const std::wstring& log) {
    wchar_t full[MAX_PATH] = {};
    if (!GetFullPathNameW(patch.c_str(), MAX_PATH, full, nullptr)) return 1;
    INSTALLUILEVEL previous = MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_BASIC | INSTALLUILEVEL_HIDECANCEL),
                                               nullptr);
    if (!log.empty()) MsiEnableLogW(INSTALLLOGMODE_VERBOSE, log.c_str(), 0);
    std::wstring cmd = L"PATCH=\"" + std::wstring(full) + L"\" REBOOTPROMPT=S";
    UINT r = MsiConfigureProductExW(code.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_DEFAULT, cmd.c_str());
    MsiSetInternalUI(previous, nullptr);
    Print("{\"result\":" + std::to_string(r) + "}");
    return 0;
}

int Summary(const std::wstring& file) {
    e2e::MsiHandle si;
    UINT r = MsiGetSummaryInformationW(0, file.c_str(), 0, si.out());
    std::string out = "{\"open\":" + std::to_string(r);
    if (r == ERROR_SUCCESS) {
        const std::pair<UINT, const char*> texts[] = {
            {2, "Title"}, {5, "Keywords"}, {7, "Template"}, {8, "LastAuthor"}, {9, "RevNumber"}};
        for (const auto& [pid, name] : texts) {
            UINT type = 0;
            INT number = 0;
            FILETIME ft{};
            DWORD n = 0;
            wchar_t empty[1] = {L'\0'};
            UINT q = MsiSummaryInfoGetPropertyW(si.get(), pid, &type, &number, &ft, empty, &n);
            if (q != ERROR_MORE_DATA && q != ERROR_SUCCESS) continue;
            if (type != VT_LPSTR) continue;
            std::wstring s(n + 1, L'\0');
            n = static_cast<DWORD>(s.size());
            if (MsiSummaryInfoGetPropertyW(si.get(), pid, &type, &number, &ft, &s[0], &n) != ERROR_SUCCESS) continue;
            s.resize(n);
            out += std::string(",\"") + name + "\":" + e2e::JsonString(s);
        }
        UINT type = 0;
        INT number = 0;
        FILETIME ft{};
        DWORD n = 0;
        if (MsiSummaryInfoGetPropertyW(si.get(), 14, &type, &number, &ft, nullptr, &n) == ERROR_SUCCESS &&
            type == VT_I4)
            out += ",\"PageCount\":" + std::to_string(number);
    }
    Print(out + "}");
    return 0;
}

int SetProperty(const std::wstring& package, const std::wstring& name, const std::wstring& value) {
    e2e::MsiHandle db, view, rec(MsiCreateRecord(2));
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_TRANSACT, db.out()) != ERROR_SUCCESS) return 1;
    MsiRecordSetStringW(rec.get(), 1, value.c_str());
    MsiRecordSetStringW(rec.get(), 2, name.c_str());
    UINT r = MsiDatabaseOpenViewW(db.get(), L"UPDATE `Property` SET `Value` = ? WHERE `Property` = ?", view.out());
    if (r == ERROR_SUCCESS) r = MsiViewExecute(view.get(), rec.get());
    view.reset();
    if (r == ERROR_SUCCESS) r = MsiDatabaseCommit(db.get());
    Print("{\"result\":" + std::to_string(r) + "}");
    return r == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    e2e::Args a(argc, argv);
    if (a.size() == 2 && a[0] == L"info") return Info(a[1]);
    if ((a.size() == 3 || a.size() == 4) && a[0] == L"apply") return Apply(a[1], a[2], a.size() == 4 ? a[3] : L"");
    if (a.size() == 2 && a[0] == L"summary") return Summary(a[1]);
    if (a.size() == 4 && a[0] == L"setprop") return SetProperty(a[1], a[2], a[3]);
    e2e::Complain(L"usage: msiprobe info CODE | apply CODE PATCH [LOG] | summary FILE | setprop PACKAGE NAME VALUE");
    return 2;
}
