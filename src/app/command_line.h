#pragma once
#include <string>
#include <vector>

// Sets the process-wide switches from the arguments (the program's path
// first). Exact matches only, case ignored by ordinal comparison.
void ScanArguments(const std::vector<std::wstring>& arguments);

// Reads the process command line and sets the switches; always true.
bool ParseCommandLine();
