#pragma once
#include "platform/resources.h"

// Runs the one action the command line selects; always returns 0, the exit code.
int RunEntryPoint(platform::ModuleHandle instance);
