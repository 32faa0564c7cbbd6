#pragma once

// The demo keys ship with the simulator, seed and all: a device provisioned
// with them can be impersonated and reset by anyone. The agent knows them by
// their SHA-256 alone, so it carries no copy of them.

#include <array>
#include <cstdint>

namespace agent {

/** True for the demo manufacturer's seed and the demo factory key. */
bool isDemoKey(const std::array<uint8_t, 32> &key);

} // namespace agent
