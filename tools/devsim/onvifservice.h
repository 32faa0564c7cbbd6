#pragma once

#include "deviceinfo.h"
#include "statefile.h"

#include <soap.h>

#include <chrono>
#include <optional>
#include <string>

namespace devsim {

/** The user name of every simulated ONVIF device's administrator. */
inline constexpr const char *kOnvifUser = "admin";

/** What a simulated device does with one device-management call. */
struct OnvifAnswer {
    int httpStatus = 200;
    std::string body;                  // SOAP envelope
    std::optional<NetworkState> apply; // persisted, then applied, after the answer
};

/** Whether `operation` may run without credentials on a device that opens its reads. */
bool isOnvifRead(std::string_view operation);
/** Whether `operation` runs for anyone, as the standard asks for the clock (PRE_AUTH). */
bool isOnvifPreAuth(std::string_view operation);

/**
 * The device side of GetSystemDateAndTime, GetDeviceInformation,
 * GetNetworkInterfaces, GetNetworkDefaultGateway, GetNetworkProtocols and
 * their Set counterparts, SystemReboot. `authorized`: the caller proved the
 * password (checked by the HTTP layer). `readOnly`: the device's network
 * settings belong to its VXDP side and cannot be set here.
 */
OnvifAnswer answerOnvif(const DeviceInfo &device, const vexa::soap::Envelope &request, bool authorized,
                        bool readOnly, std::chrono::system_clock::time_point deviceNow);

/** A SOAP fault with the ONVIF subcode ("ter:NotAuthorized"). */
std::string onvifFault(const char *code, const char *subcode, const char *reason);

} // namespace devsim
