#include "platform/services.h"

#include "platform/thread_state.h"

namespace platform {
namespace {
Services g_services;
}

const Services& Current() { return g_services; }
void Install(const Services& services) { g_services = services; }

std::uint32_t LastErrorOr(std::uint32_t fallback) {
    const std::uint32_t error = g_services.thread->lastError();
    return error != 0 ? error : fallback;
}

}  // namespace platform
