#pragma once

// ONVIF device management from the tool's side, over libcurl: the reads that
// fill a device's record and the calls that readdress it. The password only
// ever leaves as a UsernameToken digest or an HTTP Digest answer.

#include "soap.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa::onvif {

struct Credentials {
    std::string user;
    std::string password;
};

/** Why a call, or the operation it belonged to, did not succeed. */
enum class Failure : uint8_t {
    None,
    NotAuthorized, // HTTP 401, or a NotAuthorized fault: wrong user name or password
    NotSupported,  // the device does not offer the call (ActionNotSupported, OperationProhibited)
    NoAnswer,      // no HTTP answer, a time-out, or an answer that is not the call's response
    Refused,       // any other fault: the device refused the values
};

/** The ONVIF user name: VEXA_ONVIF_USER, or "admin" (the page asks only for a password). */
std::string userName();

/** What device management says about a device; empty texts where it said nothing. */
struct Details {
    std::string serial, model, firmware, manufacturer, hardwareId;
    std::string interfaceToken, mac, ipv4Addr, ipv4Mask, ipv4Gateway, ipv6Addr;
    uint8_t ipv6PrefixLen = 0;
    bool dhcp = false;
    uint16_t httpPort = 0; // 0: not said
};

/** Readings of the four responses; false when a response lacks what it must hold. */
bool readDeviceInformation(const soap::Envelope &response, Details &d);
bool readNetworkInterfaces(const soap::Envelope &response, Details &d);
void readGateway(const soap::Envelope &response, Details &d);
void readProtocols(const soap::Envelope &response, Details &d);
/** The device's UTC clock from GetSystemDateAndTimeResponse. */
std::optional<std::chrono::system_clock::time_point> readDeviceClock(const soap::Envelope &response);
/** The device service's address from GetServicesResponse or GetCapabilitiesResponse; empty when it names none. */
std::string readDeviceService(const soap::Envelope &response);
/** What a failed call's answer says: HTTP status 0 for none. */
Failure failureOf(long httpStatus, const std::optional<soap::Envelope> &answer);

/** New IPv4 settings; an empty gateway or a port of 0 keeps the device's. */
struct NetChange {
    std::string ipv4Addr;
    int prefixLength = 24;
    std::string ipv4Gateway;
    uint16_t httpPort = 0;
};

class Client final {
public:
    /** `xaddr`: the device's "http://host:port/path"; without credentials only what the device shows anyone. */
    Client(std::string xaddr, std::optional<Credentials> credentials, const std::atomic<bool> *cancel = nullptr);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    /**
     * Reads the details; nothing when the device refuses the device
     * information. Where the transport address serves no SOAP (HTTP 404, a web
     * page), the device service the device names at the standard entry point
     * is asked instead, on the same host only.
     */
    std::optional<Details> readDetails();
    /**
     * Gateway, then port, then address, then a reboot where the device says
     * it takes the address only then: the device stays reachable after any
     * failed step (the steps before it stay applied). Failure::None only when
     * every step was confirmed.
     */
    Failure modify(const NetChange &change);
    /**
     * The device's clock minus this computer's (GetSystemDateAndTime, whole
     * seconds: ONVIF carries no fraction), against the midpoint of the call.
     */
    std::optional<std::chrono::milliseconds> readClockOffset();
    /** The UTC clock set by hand (SetSystemDateAndTime); time zone and daylight saving are kept as read. */
    Failure setClock(std::chrono::system_clock::time_point utc);
    /** The clock kept by these servers (SetNTP, then SetSystemDateAndTime with type NTP). */
    Failure setNtp(const std::vector<std::string> &servers);
    /**
     * A new password for the account in use (SetUser for that user name,
     * its level as GetUsers says): no other account is touched.
     */
    Failure setPassword(const std::string &newPassword);
    /** SystemReboot. */
    Failure reboot();
    /** Whether the device answered any call over HTTP, even with a refusal. */
    bool answered() const { return m_answered; }
    /** Why the last call failed. */
    Failure failure() const { return m_failure; }
    /** Whether the last call failed in a way that passes: refused or reset connection, time-out, HTTP 5xx. */
    bool transient() const { return m_transient; }

private:
    /** The response of `operation`, or nothing on any failure or fault. */
    std::optional<soap::Envelope> call(const std::string &operation, soap::Fields fields);
    std::optional<soap::Envelope> post(const std::string &operation, const soap::Fields &fields, bool digest,
                                       long &status);
    void learnClock();
    std::optional<soap::Envelope> dateAndTime();
    bool locateDeviceService();

    std::string m_xaddr;
    std::optional<Credentials> m_credentials;
    std::optional<std::chrono::system_clock::duration> m_clockOffset;
    bool m_httpDigest = false; // the device asked for HTTP Digest instead of a UsernameToken
    bool m_answered = false;
    Failure m_failure = Failure::None;
    bool m_transient = false;
    long m_lastStatus = 0;
    bool m_lastSoap = false; // the last answer was a SOAP envelope
    const std::atomic<bool> *m_cancel; // set: every transfer ends at once
    void *m_curl;
};

} // namespace vexa::onvif
