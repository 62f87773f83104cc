#pragma once
// The time of day, elapsed time and waiting.
#include <cstdint>

namespace platform {

struct LocalTime {
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The local date and time.
    virtual LocalTime localTime() = 0;
    // Milliseconds since some fixed point; only differences mean anything
    // (they wrap after about 49 days).
    virtual std::uint32_t tickMilliseconds() = 0;
    // Returns after `milliseconds` have passed.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
