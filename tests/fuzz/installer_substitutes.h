#pragma once
// The substitutes that the summary readers and the target selection run
// against, installed as the current platform services for one fuzz input.
#include "platform/services.h"
#include "substitutes/fake_installer.h"

namespace fuzz {

struct InstallerSubstitutes {
    fake::FileSystem files;
    fake::ThreadState thread;
    fake::Installer installer;

    InstallerSubstitutes() {
        platform::Services services;
        services.files = &files;
        services.thread = &thread;
        services.installer = &installer;
        platform::Install(services);
    }
    InstallerSubstitutes(const InstallerSubstitutes&) = delete;
    InstallerSubstitutes& operator=(const InstallerSubstitutes&) = delete;
};

}  // namespace fuzz
