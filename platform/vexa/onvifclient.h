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

namespace vexa::onvif {

struct Credentials {
    std::string user;
    std::string password;
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

    /** Reads the details; nothing when the device refuses the device information. */
    std::optional<Details> readDetails();
    /**
     * Gateway, then port, then address, then a reboot where the device says
     * it takes the address only then: the device stays reachable after any
     * failed step (the steps before it stay applied). True only when every
     * step was confirmed.
     */
    bool modify(const NetChange &change);
    /** Whether the device answered any call over HTTP, even with a refusal. */
    bool answered() const { return m_answered; }

private:
    /** The response of `operation`, or nothing on any failure or fault. */
    std::optional<soap::Envelope> call(const std::string &operation, soap::Fields fields);
    std::optional<soap::Envelope> post(const std::string &operation, const soap::Fields &fields, bool digest,
                                       long &status);
    void learnClock();

    std::string m_xaddr;
    std::optional<Credentials> m_credentials;
    std::optional<std::chrono::system_clock::duration> m_clockOffset;
    bool m_httpDigest = false; // the device asked for HTTP Digest instead of a UsernameToken
    bool m_answered = false;
    const std::atomic<bool> *m_cancel; // set: every transfer ends at once
    void *m_curl;
};

} // namespace vexa::onvif
