#pragma once
// Modal message boxes without an owner window.
#include <cstdint>
#include <string>

namespace platform {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows one box and returns when the user has closed it: true. False when
    // the box could not be shown at all (no desktop to show it on, say); the
    // thread's last error then says why.
    virtual bool show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) = 0;
};

}  // namespace platform
