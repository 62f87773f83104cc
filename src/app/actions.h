#pragma once
// The actions the entry point chooses between.

// Applies the embedded packages to the installed products they target.
void RunPatches();

// ShowPackageInformation: the report box describing the embedded packages.
#include "report/package_information.h"
