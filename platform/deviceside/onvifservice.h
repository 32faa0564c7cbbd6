#pragma once

#include "deviceinfo.h"
#include "statefile.h"

#include <vexa/soap.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace deviceside {

/** The user name of every simulated ONVIF device's administrator. */
inline constexpr const char *kOnvifUser = "admin";

/** A commissioning job a simulated device takes on after its answer. */
struct OnvifJob {
    std::optional<std::chrono::system_clock::time_point> clock; // set by hand, UTC
    bool ntp = false;                    // kept by NTP from now on: the host's time
    std::optional<std::string> password; // the administrator's new one
    bool reboot = false;
};

/** What a simulated device does with one device-management call. */
struct OnvifAnswer {
    int httpStatus = 200;
    std::string body;                  // SOAP envelope
    std::optional<NetworkState> apply; // persisted, then applied, after the answer
    std::optional<OnvifJob> job;
};

/** Whether `operation` may run without credentials on a device that opens its reads. */
bool isOnvifRead(std::string_view operation);
/**
 * Whether `operation` runs for anyone, whatever credentials the request
 * carries, as the standard asks (PRE_AUTH): the clock a client needs for its
 * token, and where the services are.
 */
bool isOnvifPreAuth(std::string_view operation);

/** "http://ADDRESS:HTTPPORT/onvif/device_service". */
std::string onvifXAddr(const DeviceInfo &info);

/**
 * The device side of GetSystemDateAndTime, GetCapabilities, GetServices,
 * GetServiceCapabilities, GetDeviceInformation, GetNetworkInterfaces,
 * GetNetworkDefaultGateway, GetNetworkProtocols and their Set counterparts,
 * SystemReboot, SetSystemDateAndTime, SetNTP, GetUsers and SetUser (for the
 * administrator kOnvifUser only). `authorized`: the caller proved the password (checked by the
 * HTTP layer). `readOnly`: the device's network settings belong to its VXDP
 * side and cannot be set here. `unsupported`: calls the device refuses as not
 * offered. `currentPassword`: the administrator's, which a new one may not repeat.
 */
OnvifAnswer answerOnvif(const DeviceInfo &device, const vexa::soap::Envelope &request, bool authorized,
                        bool readOnly, const std::vector<std::string> &unsupported,
                        std::chrono::system_clock::time_point deviceNow, const std::string &currentPassword = {});

/**
 * A SOAP fault with the ONVIF subcode ("ter:NotAuthorized") and the HTTP
 * status SOAP pairs with its code: 400 for "Sender", 500 for "Receiver".
 */
OnvifAnswer onvifFault(const char *code, const char *subcode, const char *reason);

} // namespace deviceside
