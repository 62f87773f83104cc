#include "fixtures.h"

#include "app/product_logs.h"
#include "app/switches.h"
#include "package/patch_target.h"

PlatformTest::PlatformTest() {
    services.files = &files;
    services.resources = &resources;
    services.thread = &thread;
    services.boxes = &boxes;
    services.arguments = &arguments;
    services.clock = &clock;
    services.station = &station;
    services.registry = &registry;
    platform::Install(services);
    ResetProgramState();
}

void ResetProgramState() {
    fake::Faults().reset();
    ModuleInstance = reinterpret_cast<platform::ModuleHandle>(0x400000);
    QuietMode = false;
    InstallMode = true;
    ExtractMode = false;
    ExtractPath.clear();
    ReportMode = false;
    QuietSwitch = PassiveSwitch = NoRestartSwitch = LogSwitch = CmtraceSwitch = HelpMode = BoxesHidden = false;
    LogPath.clear();
    ProgramArguments.clear();
    Targets.clear();
    ForgetProductLogs();
}

PlatformTest::~PlatformTest() { platform::Install(platform::Services()); }
