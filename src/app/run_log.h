#pragma once
// The program's own log, written under the deployment switches: UTF-8 text,
// one timestamped line per event. A log that cannot be written never changes
// the run: every function here is a no-op when no log is open.
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

// Writes "<yyyy-MM-dd HH:mm:ss.fff> <text>" as one line; line breaks in
// `text` become spaces.
void LogLine(const std::wstring& text);

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
