#pragma once
// Process-wide values set from the command line before any action runs and
// kept until the process ends.
#include <string>

#include "platform/resources.h"  // ModuleInstance, owned by the platform layer
#include "ui/messages.h"         // QuietMode ("/q"), owned by the message catalogue

extern bool InstallMode;                       // the patch run; reset by "/e", "/i" and "/pi"
extern bool ExtractMode;                       // "/e"
extern std::wstring ExtractPath;               // the argument after "/e"
extern bool ReportMode;                        // set by "/i", reset by "/pi"
