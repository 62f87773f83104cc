#pragma once
// Reads the STRINGTABLE entries of a UTF-8 resource script, the way the
// resource compiler reads them: the LANGUAGE statement in force, the numeric
// identifiers, and the string literals with their escapes. Used by the native
// tests and by the probe that compares the compiled tables under Wine, so it
// builds with either width of wchar_t (UTF-16 units where wchar_t has 16 bits).
//
// Only what the catalogue uses is accepted; anything else (an unknown escape,
// a line break inside a literal, a second literal after an identifier) is
// reported as an error rather than guessed at.
#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace rc {

struct StringTable {
    std::uint16_t language = 0;
    std::map<unsigned, std::wstring> strings;
};

struct Script {
    std::vector<StringTable> tables;  // one per STRINGTABLE statement
    std::vector<std::string> includes;  // the names of #include lines, as written
    std::string error;                // empty when the whole script was read
};

inline void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// The characters a Windows string table stores for `text`: UTF-16 units.
inline std::size_t Utf16Length(const std::wstring& text) {
    std::size_t units = text.size();
    if constexpr (sizeof(wchar_t) > 2) {
        for (wchar_t c : text) units += (static_cast<std::uint32_t>(c) >> 16) != 0 ? 1 : 0;
    }
    return units;
}

class ScriptReader {
public:
    explicit ScriptReader(std::string source) : s_(std::move(source)) {}

    Script read() {
        Script script;
        std::uint16_t language = 0;
        while (script.error.empty()) {
            skipSpaceAndComments();
            if (pos_ >= s_.size()) break;
            if (s_[pos_] == '#') {
                readDirective(script);
                continue;
            }
            const std::string word = readWord();
            if (word == "LANGUAGE") {
                unsigned primary = 0, sub = 0;
                if (!readNumber(primary) || !expect(',') || !readNumber(sub)) {
                    script.error = at("LANGUAGE needs two numbers");
                    break;
                }
                language = static_cast<std::uint16_t>((sub << 10) | primary);
            } else if (word == "STRINGTABLE") {
                StringTable table;
                table.language = language;
                readStringTable(table, script.error);
                script.tables.push_back(table);
            } else if (word.empty()) {
                ++pos_;  // punctuation outside a string table
            }
            // Other statements (resources of other kinds) are not read here.
        }
        return script;
    }

private:
    std::string at(const std::string& what) const {
        std::size_t line = 1;
        for (std::size_t i = 0; i < pos_ && i < s_.size(); ++i) line += s_[i] == '\n';
        return "line " + std::to_string(line) + ": " + what;
    }

    void skipSpaceAndComments() {
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++pos_;
            } else if (s_.compare(pos_, 2, "//") == 0) {
                while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
            } else if (s_.compare(pos_, 2, "/*") == 0) {
                const std::size_t end = s_.find("*/", pos_ + 2);
                pos_ = end == std::string::npos ? s_.size() : end + 2;
            } else {
                break;
            }
        }
    }

    void readDirective(Script& script) {
        std::size_t end = s_.find('\n', pos_);
        if (end == std::string::npos) end = s_.size();
        const std::string line = s_.substr(pos_, end - pos_);
        pos_ = end;
        std::istringstream in(line);
        std::string directive, argument;
        in >> directive >> argument;
        if (directive == "#include" && argument.size() >= 2 && argument.front() == '"') {
            script.includes.push_back(argument.substr(1, argument.size() - 2));
        }
    }

    std::string readWord() {
        std::string word;
        while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) {
            word += s_[pos_++];
        }
        return word;
    }

    bool expect(char c) {
        skipSpaceAndComments();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool readNumber(unsigned& value) {
        skipSpaceAndComments();
        const std::string word = readWord();
        if (word.empty()) return false;
        char* end = nullptr;
        const unsigned long parsed = std::strtoul(word.c_str(), &end, 0);
        if (end == nullptr || *end != '\0' || parsed > 0xFFFF) return false;
        value = static_cast<unsigned>(parsed);
        return true;
    }

    void readStringTable(StringTable& table, std::string& error) {
        skipSpaceAndComments();
        // Memory options between the keyword and the block are not used here.
        if (!expect('{') && readWord() != "BEGIN") {
            error = at("STRINGTABLE without BEGIN");
            return;
        }
        for (;;) {
            skipSpaceAndComments();
            if (pos_ >= s_.size()) {
                error = at("STRINGTABLE without END");
                return;
            }
            if (expect('}')) return;
            const std::size_t before = pos_;
            if (readWord() == "END") return;
            pos_ = before;

            unsigned id = 0;
            if (!readNumber(id)) {
                error = at("expected a string identifier");
                return;
            }
            expect(',');  // the comma between identifier and text is optional
            skipSpaceAndComments();
            std::wstring text;
            if (!readLiteral(text, error)) return;
            if (table.strings.count(id) != 0) {
                error = at("identifier " + std::to_string(id) + " given twice");
                return;
            }
            table.strings[id] = text;
            skipSpaceAndComments();
            if (pos_ < s_.size() && s_[pos_] == '"') {
                error = at("a second literal after identifier " + std::to_string(id));
                return;
            }
        }
    }

    bool readLiteral(std::wstring& text, std::string& error) {
        if (pos_ >= s_.size() || s_[pos_] != '"') {
            error = at("expected a string literal");
            return false;
        }
        ++pos_;
        while (pos_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[pos_]);
            if (c == '\n' || c == '\r') {
                error = at("line break inside a string literal");
                return false;
            }
            if (c == '"') {
                if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {  // "" stands for one quote
                    text += L'"';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return true;
            }
            if (c == '\\') {
                if (pos_ + 1 >= s_.size()) break;
                const char e = s_[pos_ + 1];
                pos_ += 2;
                switch (e) {
                    case 'n': text += L'\n'; break;
                    case 'r': text += L'\r'; break;
                    case 't': text += L'\t'; break;
                    case 'a': text += L'\a'; break;
                    case '\\': text += L'\\'; break;
                    case '"': text += L'"'; break;
                    default:
                        error = at(std::string("unknown escape \\") + e);
                        return false;
                }
                continue;
            }
            if (!readUtf8(text)) {
                error = at("text that is not UTF-8");
                return false;
            }
        }
        error = at("unterminated string literal");
        return false;
    }

    bool readUtf8(std::wstring& text) {
        const unsigned char lead = static_cast<unsigned char>(s_[pos_]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (pos_ + extra >= s_.size()) return false;
        for (std::size_t i = 1; i <= extra; ++i) {
            const unsigned char next = static_cast<unsigned char>(s_[pos_ + i]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        pos_ += extra + 1;
        AppendCodePoint(text, cp);
        return true;
    }

    std::string s_;
    std::size_t pos_ = 0;
};

inline Script ReadScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Script script;
        script.error = "cannot read " + path;
        return script;
    }
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) source.erase(0, 3);
    return ScriptReader(std::move(source)).read();
}

}  // namespace rc
