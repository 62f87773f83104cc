#include "package/patch_target.h"

TargetList Targets;
