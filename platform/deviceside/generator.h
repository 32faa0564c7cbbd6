#pragma once

#include "deviceinfo.h"

#include <cstdint>
#include <vector>

namespace deviceside {

/** Largest network --count builds: the MAC addresses carry the index in three bytes. */
inline constexpr size_t kMaxGeneratedDevices = 1'000'000;

/**
 * A network of `count` plausible devices, the same for the same seed: unique
 * serial numbers and MAC addresses, a mix of cameras, recorders, encoders and
 * read-only accessory types, some devices still on the factory-default
 * address, a mix of extended and basic information, IPv6 and DHCP.
 */
std::vector<DeviceInfo> generateDevices(size_t count, uint64_t seed);

} // namespace deviceside
