#pragma once
// The time of day, elapsed time and waiting.
#include <cstdint>

namespace platform {

struct LocalTime {
    std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
    // The time zone's bias at that moment, in minutes, as Windows counts it:
    // UTC = local time + bias, so it is negative east of Greenwich (-60 in
    // Berlin in winter, -120 in summer, 300 in New York in winter).
    std::int16_t biasMinutes = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The local date and time, with the time zone's bias at that moment.
    virtual LocalTime localTime() = 0;
    // Milliseconds since some fixed point; only differences mean anything
    // (they wrap after about 49 days).
    virtual std::uint32_t tickMilliseconds() = 0;
    // Returns after `milliseconds` have passed.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
