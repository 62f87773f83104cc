#include "app/actions.h"

// The information report is not built yet: /i shows nothing.
bool ShowPackageInformation() { return false; }
