#include "platform/resources.h"

platform::ModuleHandle ModuleInstance = nullptr;
