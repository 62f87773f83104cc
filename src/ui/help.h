#pragma once
// The help box of "/?" and "/help".
#include <string>

// The help text: the version line with `version`, a line per switch and the
// exit codes, in the user's UI language.
std::wstring HelpText(const std::wstring& version);

// Shows the help in one box, in the user's UI language; quiet mode does not
// silence it, as the user asked for it.
void ShowHelp(const std::wstring& version);
