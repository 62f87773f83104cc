#include "app/run_log.h"

#include <memory>
#include <optional>
#include <vector>

#include "app/switches.h"
#include "package/file_names.h"
#include "platform/existing_files.h"
#include "platform/file_system.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

// How many numbered names are tried when the default name is taken.
constexpr unsigned kDefaultNameAttempts = 100;

// The folder the log is in, held while the log is open, and the log.
std::unique_ptr<platform::HeldFolder> g_logFolder;
std::unique_ptr<platform::OpenFile> g_log;
// Under "/cmtrace": the account the run is for, as each line names it.
std::wstring g_context;

// The component every line of "/cmtrace" names: the program, whatever its file is called.
constexpr wchar_t kComponent[] = L"msp-bootstrap";
// What would end a line's text early; it is written with a space before its ">".
constexpr wchar_t kTextEnd[] = L"]LOG]!>";

// "<stem>_<n><extension>" of `path`, for the n-th try of a name that is taken.
std::wstring NumberedName(const std::wstring& path, unsigned number) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t dot = path.rfind(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    const std::wstring stem = hasExtension ? path.substr(0, dot) : path;
    const std::wstring extension = hasExtension ? path.substr(dot) : std::wstring();
    return stem + L"_" + std::to_wstring(number) + extension;
}

// The one place the log file is created: as `fileName` in `folder`, or,
// while that name is taken (or held by a file that is not to be written
// through, see CreateFileSafely), under the next numbered name, created new.
// Only the file a /log names (`mode` ReplaceExisting) may replace what is
// there; a name of the program's own choosing is used only where nothing is.
std::unique_ptr<platform::OpenFile> CreateLogUnderFreeName(platform::HeldFolder& folder, const std::wstring& fileName,
                                                           platform::CreateMode mode) {
    for (unsigned attempt = 1; attempt <= kDefaultNameAttempts; ++attempt) {
        const std::wstring name = attempt == 1 ? fileName : NumberedName(fileName, attempt);
        if (folder.path().size() + 1 + name.size() > kMaxPathChars) return nullptr;
        platform::CreateResult result = platform::CreateResult::Failed;
        auto file = attempt == 1 && mode == platform::CreateMode::ReplaceExisting
                        ? platform::CreateFileSafely(folder, name, mode, result)
                        : platform::CreateNewOwnFile(folder, name, &platform::HeldFolder::createFile, result);
        if (file) return file;
        if (result != platform::CreateResult::AlreadyExists && result != platform::CreateResult::Refused) return nullptr;
    }
    return nullptr;
}

std::wstring Digits(unsigned value, unsigned width) {
    std::wstring text = std::to_wstring(value);
    if (text.size() < width) text.insert(0, width - text.size(), L'0');
    return text;
}

platform::LocalTime Now() {
    platform::Clock* clock = platform::Current().clock;
    return clock != nullptr ? clock->localTime() : platform::LocalTime();
}

void RecordMessage(unsigned id, const std::wstring& text, bool shown) {
    // A box that nobody asked to hide is a warning: nobody saw it.
    const LogSeverity severity = id == kMsgFailureWithCode ? LogSeverity::Failure
                                 : !shown && BoxesHidden  ? LogSeverity::Warning
                                                          : LogSeverity::Information;
    LogLine(L"Message " + std::to_wstring(id) + (shown ? L" shown: " : L" suppressed: ") + text, severity);
}

// The default log in the temporary folder, or, where that folder cannot be
// held free of links (elevated: shown to be the user's), in the system's;
// `note` then says so.
std::unique_ptr<platform::OpenFile> OpenDefaultLog(std::wstring& note) {
    platform::FileSystem& files = *platform::Current().files;
    if (files.processElevated()) {
        g_logFolder = platform::HoldUserTempFolder(note);
    } else {
        const std::optional<std::wstring> temp = files.tempFolder();
        if (!temp || temp->empty()) return nullptr;
        g_logFolder = platform::HoldFolderOrSystemTemp(*temp, note);
    }
    if (!g_logFolder) return nullptr;
    const std::wstring program = ProgramArguments.empty() ? std::wstring() : ProgramArguments[0];
    // A second run within the same second gets a numbered name.
    return CreateLogUnderFreeName(*g_logFolder, DefaultRunLogName(program, Now()), platform::CreateMode::NewOnly);
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring JoinArguments(const std::vector<std::wstring>& arguments) {
    std::wstring text;
    for (const std::wstring& argument : arguments) {
        if (!text.empty()) text += L' ';
        if (argument.empty() || argument.find(L' ') != std::wstring::npos) {
            text += L'"' + argument + L'"';
        } else {
            text += argument;
        }
    }
    return text;
}

std::wstring DefaultRunLogName(const std::wstring& programPath, const platform::LocalTime& t) {
    std::wstring base = BaseNameOf(programPath);
    if (base.empty()) base = L"update";
    return base + L"_" + Digits(t.year, 4) + Digits(t.month, 2) + Digits(t.day, 2) + Digits(t.hour, 2) +
           Digits(t.minute, 2) + Digits(t.second, 2) + L".log";
}

bool OpenRunLog() {
    CloseRunLog();
    std::wstring note;
    if (LogSwitch && !LogPath.empty()) {
        platform::FileSystem& files = *platform::Current().files;
        const std::optional<std::wstring> path = files.fullPath(LogPath);
        // Only in a folder held and shown free of links: else no own log.
        std::uint32_t error = 0;
        if (path) g_logFolder = files.openFolder(FolderOf(*path), error);
        // Elevated, in a folder others may read: for administrators only.
        if (g_logFolder && files.processElevated()) g_logFolder->makeFilesPrivate();
        if (g_logFolder) g_log = CreateLogUnderFreeName(*g_logFolder, FileNameOf(*path), platform::CreateMode::ReplaceExisting);
    } else {
        g_log = OpenDefaultLog(note);
    }
    if (!g_log) {
        g_logFolder.reset();
        return false;
    }
    // A byte-order mark, so that every editor on Windows reads the file as UTF-8.
    if (!g_log->write("\xEF\xBB\xBF", 3)) {
        CloseRunLog();
        return false;
    }
    SetMessageRecorder(RecordMessage);
    // An account that cannot be told leaves the column empty, as many of the format's writers leave it.
    g_context = CmtraceSwitch ? platform::Current().thread->accountName().value_or(std::wstring()) : std::wstring();
    if (!note.empty()) LogLine(L"Own log: " + note, LogSeverity::Warning);
    return true;
}

void CloseRunLog() {
    SetMessageRecorder(nullptr);
    g_log.reset();
    g_logFolder.reset();
}

bool RunLogOpen() { return g_log != nullptr; }

std::wstring CmtraceLine(const std::wstring& text, LogSeverity severity, const platform::LocalTime& t,
                         const std::wstring& context, std::uint32_t thread) {
    std::wstring escaped = text;
    const std::wstring textEnd = kTextEnd;
    for (std::size_t at = escaped.find(textEnd); at != std::wstring::npos; at = escaped.find(textEnd, at)) {
        escaped.insert(at + textEnd.size() - 1, 1, L' ');
    }
    const int bias = t.biasMinutes;
    const std::wstring time = Digits(t.hour, 2) + L":" + Digits(t.minute, 2) + L":" + Digits(t.second, 2) + L"." +
                              Digits(t.milliseconds, 3) + (bias < 0 ? L"-" : L"+") +
                              Digits(static_cast<unsigned>(bias < 0 ? -bias : bias), 3);
    const std::wstring date = Digits(t.month, 2) + L"-" + Digits(t.day, 2) + L"-" + Digits(t.year, 4);
    return L"<![LOG[" + escaped + L"]LOG]!><time=\"" + time + L"\" date=\"" + date + L"\" component=\"" + kComponent +
           L"\" context=\"" + context + L"\" type=\"" + std::to_wstring(static_cast<int>(severity)) + L"\" thread=\"" +
           std::to_wstring(thread) + L"\" file=\"\">";
}

void LogLine(const std::wstring& text, LogSeverity severity) {
    if (!g_log) return;
    const platform::LocalTime t = Now();
    std::wstring flat;
    for (wchar_t c : text) flat += (c == L'\n' || c == L'\r') ? L' ' : c;
    std::wstring line;
    if (CmtraceSwitch) {
        line = CmtraceLine(flat, severity, t, g_context, platform::Current().thread->threadId());
    } else {
        line = Digits(t.year, 4) + L"-" + Digits(t.month, 2) + L"-" + Digits(t.day, 2) + L" " + Digits(t.hour, 2) +
               L":" + Digits(t.minute, 2) + L":" + Digits(t.second, 2) + L"." + Digits(t.milliseconds, 3) + L" " + flat;
    }
    line += L"\r\n";
    const std::string bytes = ToUtf8(line);
    // A log that cannot take a line takes no more: the run goes on without it.
    if (!g_log->write(bytes.data(), bytes.size())) CloseRunLog();
}

std::wstring ProductLogFolder() {
    if (!LogSwitch || LogPath.empty()) return std::wstring();
    platform::FileSystem& files = *platform::Current().files;
    const std::optional<std::wstring> path = files.fullPath(LogPath);
    if (!path) return std::wstring();
    std::wstring folder = FolderOf(*path);
    // A drive root, which a directory search never finds, is taken without
    // its separator when it is there ("D:", so that the logs are "D:\...").
    if (folder.size() == 3 && folder[1] == L':' && folder[2] == L'\\') {
        return files.exists(folder) ? folder.substr(0, 2) : std::wstring();
    }
    // The same limit as the temporary folder's: the log folder and a product
    // name must fit a path.
    if (folder.empty() || folder.size() >= kMaxPathChars || !files.isFolder(folder)) return std::wstring();
    return folder;
}
