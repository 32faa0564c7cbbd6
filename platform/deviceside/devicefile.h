#pragma once

#include "deviceinfo.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deviceside {

enum class Protocols : uint8_t { Vxdp, Onvif, Both };

/** How a simulated ONVIF device departs from the plain one, as real devices do (docs/devsim.md). */
struct OnvifQuirks {
    enum class Types : uint8_t { Both, DeviceOnly, TransmitterOnly };
    Types types = Types::Both;       ///< the discovery types it offers, and answers probes for
    uint32_t httpDelaySeconds = 0;   ///< its web server starts this long after the simulator
    std::vector<std::string> unsupported; ///< device-management calls it refuses as not supported
};

struct DeviceEntry {
    DeviceInfo info;
    std::optional<std::string> password; ///< the device's own administrator password, if it has one
    Protocols protocols = Protocols::Vxdp; ///< what the device speaks (onvifsim.h)
    OnvifQuirks onvif;
};

/** A network of simulated devices as described by a devices file (docs/devsim.md). */
struct DeviceFile {
    std::optional<std::string> password; ///< administrator password of every device without its own
    std::vector<DeviceEntry> devices;
    bool onvifOpenReads = false; ///< ONVIF devices show their settings to anyone (onvifsim.h)
};

/** Parses and validates a devices file; on failure returns nothing and a one-line reason in `error`. */
std::optional<DeviceFile> parseDeviceFile(std::string_view text, std::string &error);
std::optional<DeviceFile> loadDeviceFile(const std::string &path, std::string &error);

/** Reads a whole file; nothing when it cannot be read. */
std::optional<std::string> readTextFile(const std::string &path);

} // namespace deviceside
