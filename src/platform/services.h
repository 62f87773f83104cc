#pragma once
// The platform services the program runs against: the real ones in the
// executable, substitutes in the native tests. Installed once at start.
namespace platform {

class FileSystem;
class Resources;
class ThreadState;
class MessageBoxes;
class ProcessArguments;
class Installer;
class OsVersion;
class Clock;
class WindowStation;
class Registry;

struct Services {
    FileSystem* files = nullptr;
    Resources* resources = nullptr;
    ThreadState* thread = nullptr;
    MessageBoxes* boxes = nullptr;
    ProcessArguments* arguments = nullptr;
    Installer* installer = nullptr;
    OsVersion* osVersion = nullptr;
    Clock* clock = nullptr;
    WindowStation* station = nullptr;
    Registry* registry = nullptr;
};

// The services in use; every member is set before any of them is used.
const Services& Current();
void Install(const Services& services);

}  // namespace platform
