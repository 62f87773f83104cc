#pragma once
#include "platform/resources.h"

// Runs the one action the command line selects and returns the exit code:
// 0, or under the deployment switches the code that tells the outcome.
int RunEntryPoint(platform::ModuleHandle instance);
