#pragma once
// Test fixtures: a fresh set of platform substitutes installed, and the
// process-wide values back at their start values, for every test.
#include <gtest/gtest.h>

#include "substitutes/fake_installer.h"
#include "substitutes/fake_os_version.h"
#include "substitutes/fake_platform.h"

// No planned fault, and the process-wide values of the program back at their
// start values.
void ResetProgramState();

class PlatformTest : public ::testing::Test {
protected:
    PlatformTest();
    ~PlatformTest() override;

    fake::FileSystem files;
    fake::Resources resources;
    fake::ThreadState thread;
    fake::MessageBoxes boxes;
    fake::ProcessArguments arguments;
    fake::Clock clock;
    fake::WindowStation station;
    fake::Registry registry;
    platform::Services services;
};

// The platform substitutes with the installer substitute added.
class InstallerTest : public PlatformTest {
protected:
    InstallerTest() {
        installer.files = &files;
        services.installer = &installer;
        platform::Install(services);
    }
    fake::Installer installer;
};

// The installer substitutes with a reported system added.
class OsVersionTest : public InstallerTest {
protected:
    OsVersionTest() {
        services.osVersion = &os;
        platform::Install(services);
    }
    fake::OsVersion os;
};
