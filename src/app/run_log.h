#pragma once
// The program's own log, written under the deployment switches: UTF-8 text,
// one timestamped line per event, or under "/cmtrace" one line per event in
// the format of Configuration Manager's logs, which CMTrace and its kin read.
// A log that cannot be written never changes the run: every function here is
// a no-op when no log is open.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

// Opens the log for this run: the file that "/log" names (replacing a file of
// that name), else a new file "<program>_<yyyyMMddHHmmss>.log" in the
// temporary folder, never one that exists already. Messages that are shown or
// suppressed are logged from then on. False when no log could be opened.
bool OpenRunLog();

// Closes the log; later lines go nowhere.
void CloseRunLog();

// True while a log is open.
bool RunLogOpen();

// What a line tells, as the format of Configuration Manager's logs numbers it.
enum class LogSeverity {
    Information = 1,
    Warning = 2,  // a refused or masked property, a suppressed box, a log's other folder, a pending restart
    Failure = 3,  // a failure of the run, or of what the run was asked to do
};

// Writes "<yyyy-MM-dd HH:mm:ss.fff> <text>" as one line; line breaks in
// `text` become spaces. Under "/cmtrace" the line is
// <![LOG[text]LOG]!><time="HH:mm:ss.fff+BBB" date="MM-dd-yyyy" component="msp-bootstrap"
// context="DOMAIN\user" type="N" thread="N" file="">, with the time zone's
// bias as Windows counts it (UTC = local time + bias) and `severity` as its type.
void LogLine(const std::wstring& text, LogSeverity severity = LogSeverity::Information);

// The line "/cmtrace" writes for `text` (line breaks already taken out) at
// `time`, for the account `context` on thread `thread`, without its line end.
std::wstring CmtraceLine(const std::wstring& text, LogSeverity severity, const platform::LocalTime& time,
                         const std::wstring& context, std::uint32_t thread);

// The folder for the Windows Installer's per-product logs when "/log" named a
// file in a folder that exists: that folder. Else empty (the temporary folder
// is used).
std::wstring ProductLogFolder();

// The default log's file name for the program at `programPath`.
std::wstring DefaultRunLogName(const std::wstring& programPath, const platform::LocalTime& time);

// `text` as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

// The arguments as one text, each with quotes when it holds a space or is empty.
std::wstring JoinArguments(const std::vector<std::wstring>& arguments);
