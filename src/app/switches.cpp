#include "app/switches.h"

bool InstallMode = true;
bool ExtractMode = false;
std::wstring ExtractPath;
bool ReportMode = false;
