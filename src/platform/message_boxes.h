#pragma once
// Modal message boxes without an owner window.
#include <cstdint>
#include <string>

namespace platform {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows one box and returns when the user has closed it.
    virtual void show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) = 0;
};

}  // namespace platform
