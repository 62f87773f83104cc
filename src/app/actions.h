#pragma once
// The actions the entry point chooses between.

// Applies the embedded packages to the installed products they target.
void RunPatches();

// Shows the report box describing the embedded packages.
bool ShowPackageInformation();
