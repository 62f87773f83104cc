// Exercises the message catalogue compiled into a real executable, with the
// real Win32 services, under Wine or Windows.
//
//   catalogue_probe strings <folder of the catalogue's .rc files>
//       Compares every string of every language table compiled into this
//       program with its resource script, character for character, and checks
//       that the catalogue's three string blocks exist in exactly the scripts'
//       languages. Prints one line per difference; exit code 0 when none.
//
//   catalogue_probe show <id> [--locale N] [--name TEXT | --name-length N]
//                        [--error N] [--quiet]
//       Sets the thread locale (N decimal or 0x hex; 0x400 is the user's
//       default), the displayed product name and the quiet switch, sets the
//       thread's last error (N may be negative) and calls ShowMessage(id): a
//       real message box, and the probe waits until it is closed.
//       Prints "locale=<thread locale> ui=<user UI language>" first.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/resources.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "platform/win32/win32_services.h"
#include "rc_string_table.h"
#include "ui/messages.h"

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr,
                            nullptr);
    }
    return out;
}

std::string Escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\\') {
            out += L"\\\\";
        } else {
            out += c;
        }
    }
    return Utf8(out);
}

bool ParseNumber(const wchar_t* text, std::uint32_t& value) {
    wchar_t* end = nullptr;
    if (text[0] == L'-') {
        const long parsed = std::wcstol(text, &end, 0);
        value = static_cast<std::uint32_t>(parsed);
    } else {
        value = static_cast<std::uint32_t>(std::wcstoul(text, &end, 0));
    }
    return end != text && *end == L'\0';
}

// The script at `path`, read through the wide-character file API so that any
// folder name works.
rc::Script ReadScript(const std::wstring& path) {
    std::string source;
    if (FILE* in = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) source.append(buffer, got);
        std::fclose(in);
    }
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) source.erase(0, 3);
    return rc::ScriptReader(std::move(source)).read();
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::set<WORD>*>(param)->insert(language);
    return TRUE;
}

std::set<WORD> BlockLanguages(HMODULE module, unsigned block) {
    std::set<WORD> languages;
    EnumResourceLanguagesW(module, RT_STRING, MAKEINTRESOURCEW(block), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

int CompareStrings(const std::wstring& folder) {
    HMODULE module = GetModuleHandleW(nullptr);
    platform::Resources& resources = *platform::Current().resources;
    int differences = 0;
    std::set<WORD> scriptLanguages;

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.rc").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        std::printf("no resource scripts in %s\n", Utf8(folder).c_str());
        return 1;
    }
    int scripts = 0;
    do {
        const std::wstring path = folder + L"\\" + found.cFileName;
        const rc::Script script = ReadScript(path);
        ++scripts;
        if (!script.error.empty()) {
            std::printf("%s: %s\n", Utf8(found.cFileName).c_str(), script.error.c_str());
            ++differences;
            continue;
        }
        for (const rc::StringTable& table : script.tables) {
            scriptLanguages.insert(table.language);
            for (const auto& entry : table.strings) {
                const auto compiled = resources.loadStringInLanguage(module, entry.first, table.language);
                if (!compiled || *compiled != entry.second) {
                    std::printf("%s %u/%u: compiled \"%s\", script \"%s\"\n", Utf8(found.cFileName).c_str(),
                                table.language, entry.first, compiled ? Escaped(*compiled).c_str() : "(missing)",
                                Escaped(entry.second).c_str());
                    ++differences;
                }
            }
            // Neighbours in the same blocks stay empty: 302 to 305, 318 and 319 and
            // 333 to 335 do not exist.
            for (unsigned id = 288; id < 336; ++id) {
                if (table.strings.count(id) == 0 && resources.loadStringInLanguage(module, id, table.language)) {
                    std::printf("%s %u/%u: a string the script does not hold\n", Utf8(found.cFileName).c_str(),
                                table.language, id);
                    ++differences;
                }
            }
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);

    for (unsigned block : {19u, 20u, 21u}) {
        const std::set<WORD> compiled = BlockLanguages(module, block);
        if (compiled != scriptLanguages) {
            std::printf("block %u: %u languages compiled, %u in the scripts\n", block,
                        static_cast<unsigned>(compiled.size()), static_cast<unsigned>(scriptLanguages.size()));
            ++differences;
        }
    }
    std::printf("%d scripts, %u languages, %d differences\n", scripts, static_cast<unsigned>(scriptLanguages.size()),
                differences);
    return differences == 0 ? 0 : 1;
}

int Show(int argc, wchar_t** argv) {
    std::uint32_t id = 0;
    if (argc < 3 || !ParseNumber(argv[2], id)) return 2;
    bool haveLocale = false, haveError = false;
    std::uint32_t locale = 0, error = 0;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--quiet") {
            QuietMode = true;
        } else if (option == L"--locale" && hasValue) {
            if (!ParseNumber(argv[++i], locale)) return 2;
            haveLocale = true;
        } else if (option == L"--name" && hasValue) {
            DisplayedProductName = argv[++i];
        } else if (option == L"--name-length" && hasValue) {
            std::uint32_t length = 0;
            if (!ParseNumber(argv[++i], length)) return 2;
            DisplayedProductName.assign(length, L'N');
        } else if (option == L"--error" && hasValue) {
            if (!ParseNumber(argv[++i], error)) return 2;
            haveError = true;
        } else {
            std::printf("unknown option\n");
            return 2;
        }
    }

    platform::ThreadState& thread = *platform::Current().thread;
    if (haveLocale && !thread.setThreadLocale(locale)) {
        std::printf("SetThreadLocale(0x%X) failed\n", static_cast<unsigned>(locale));
        return 3;
    }
    std::printf("locale=%u ui=%u\n", static_cast<unsigned>(thread.threadLocale()),
                static_cast<unsigned>(thread.userDefaultUiLanguage()));
    std::fflush(stdout);

    if (haveError) thread.setLastError(error);
    ShowMessage(id);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    platform::win32::RestrictDllSearchToSystemFolder();
    platform::win32::InstallServices();
    ModuleInstance = GetModuleHandleW(nullptr);

    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"strings" && argc == 3) return CompareStrings(argv[2]);
    if (command == L"show") return Show(argc, argv);
    std::printf("usage: catalogue_probe strings <folder> | show <id> [options]\n");
    return 2;
}
