#include "app/actions.h"

// The patch run is not built yet: install mode does nothing.
void RunPatches() {}
