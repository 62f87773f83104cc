#include "substitutes/fault_plan.h"

namespace fake {

bool FaultPlan::fails(const char* name, std::uint32_t error) {
    ++count;
    if (keepNames) names.push_back(name);
    auto every = failEvery.find(name);
    if (every != failEvery.end()) {
        lastError = every->second;
        return true;
    }
    if (count == failAt || count == thenFailAt) {
        const bool first = count == failAt;
        (first ? failed : thenFailed) = name;
        (first ? failedError : thenFailedError) = error;
        lastError = error;
        return true;
    }
    lastError = 0;
    return false;
}

FaultPlan& Faults() {
    static FaultPlan plan;
    return plan;
}

}  // namespace fake
