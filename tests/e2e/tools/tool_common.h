// Small helpers shared by the end-to-end test tools: owning handles, UTF-8
// conversion, JSON string quoting and the command-line options.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Owns a kernel handle (file, process, thread, find handle excluded).
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    ~Handle() { reset(); }
    void reset() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_ = nullptr;
};

inline std::string ToUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

inline std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// A JSON string literal (quotes included) holding the UTF-8 form of w.
inline std::string JsonString(const std::wstring& w) {
    std::string in = ToUtf8(w);
    std::string out = "\"";
    for (unsigned char c : in) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += "\"";
    return out;
}

// Reads a whole file; false when it cannot be opened or read.
inline bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    Handle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size) || size.QuadPart > 0x7fffffff) return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!ReadFile(f.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size()))
        return false;
    return true;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    Handle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!f) return false;
    DWORD put = 0;
    return bytes.empty() ||
           (WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size());
}

// One argument of a command line, quoted as CommandLineToArgvW reads it back.
inline std::wstring QuoteArg(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') q.append(backslashes * 2 + 1, L'\\');
        else q.append(backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, L'\\');
    q += L"\"";
    return q;
}

// Prints a message on stderr as UTF-8; the text is data, never a format.
inline void Complain(const std::wstring& text) {
    std::string s = ToUtf8(text);
    s += "\n";
    std::fwrite(s.data(), 1, s.size(), stderr);
    std::fflush(stderr);
}

// Command-line arguments after the program name.
class Args {
public:
    Args(int argc, wchar_t** argv) {
        for (int i = 1; i < argc; ++i) items_.emplace_back(argv[i]);
    }
    size_t size() const { return items_.size(); }
    const std::wstring& operator[](size_t i) const { return items_[i]; }
    const std::vector<std::wstring>& all() const { return items_; }

private:
    std::vector<std::wstring> items_;
};

// The options of a tool: each "--name" is declared once with what it fills,
// then parse() walks the arguments. It fails on an unknown option, an option
// without its value, a number that is not a decimal number, or a value that
// the option's own handler refuses.
class Options {
public:
    // "--name VALUE": `handle` takes the value; false refuses it.
    Options& value(const wchar_t* name, std::function<bool(const std::wstring&)> handle) {
        options_.push_back({name, true, std::move(handle)});
        return *this;
    }
    Options& text(const wchar_t* name, std::wstring& target) {
        return value(name, [&target](const std::wstring& v) { target = v; return true; });
    }
    template <typename Number>
    Options& number(const wchar_t* name, Number& target) {
        return value(name, [&target](const std::wstring& v) {
            wchar_t* end = nullptr;
            const unsigned long n = std::wcstoul(v.c_str(), &end, 10);
            if (v.empty() || *end) return false;
            target = static_cast<Number>(n);
            return true;
        });
    }
    // "--name" alone.
    Options& flag(const wchar_t* name, bool& target) {
        options_.push_back({name, false, [&target](const std::wstring&) { target = true; return true; }});
        return *this;
    }
    // "--" and everything after it.
    Options& command(std::vector<std::wstring>& target) {
        command_ = &target;
        return *this;
    }

    bool parse(const Args& args) const {
        for (size_t i = 0; i < args.size(); ++i) {
            const std::wstring& a = args[i];
            if (a == L"--" && command_) {
                command_->assign(args.all().begin() + static_cast<long>(i) + 1, args.all().end());
                return true;
            }
            const Option* option = nullptr;
            for (const Option& o : options_) {
                if (a == o.name) option = &o;
            }
            if (!option) return false;
            if (!option->takesValue) {
                option->handle(std::wstring());
            } else if (i + 1 >= args.size() || !option->handle(args[++i])) {
                return false;
            }
        }
        return true;
    }

private:
    struct Option {
        std::wstring name;
        bool takesValue;
        std::function<bool(const std::wstring&)> handle;
    };
    std::vector<Option> options_;
    std::vector<std::wstring>* command_ = nullptr;
};

}  // namespace e2e
