#include "app/switches.h"

platform::ModuleHandle ModuleInstance = nullptr;
bool QuietMode = false;
bool InstallMode = true;
bool ExtractMode = false;
std::wstring ExtractPath;
bool ReportMode = false;
