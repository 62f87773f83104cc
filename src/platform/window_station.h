#pragma once
// The window station the process runs in: whether a user can see what it
// shows. A service, or a deployment agent in session 0, runs in a station
// that no user sees, where a message box would wait for ever.
#include <cstdint>
#include <string>

namespace platform {

enum class StationVisibility {
    Visible,    // the station reports WSF_VISIBLE
    Invisible,  // it does not: nobody can see or close a box there
    Unknown,    // the station's flags cannot be read
};

struct StationCheck {
    StationVisibility visibility = StationVisibility::Unknown;
    std::wstring name;        // the station's name, when it could be read
    std::uint32_t error = 0;  // the system's error code when Unknown
};

class WindowStation {
public:
    virtual ~WindowStation() = default;
    // The process's own window station, as it is now.
    virtual StationCheck check() = 0;
};

}  // namespace platform
