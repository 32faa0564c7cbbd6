#include "onvifservice.h"

#include <arpa/inet.h>

#include <bit>
#include <ctime>

namespace devsim {

namespace {

using vexa::soap::Envelope;
using vexa::soap::Fields;

int prefixLength(const std::string &mask)
{
    const auto m = parseIpv4(mask);
    return m ? std::popcount(ntohl(*m)) : 0;
}

std::string maskOf(int prefix)
{
    const uint32_t m = prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix);
    return formatIpv4(htonl(m));
}

std::string reply(const std::string &operation, Fields fields)
{
    return vexa::soap::encode(Envelope{operation + "Response", std::move(fields), std::nullopt});
}

OnvifAnswer invalid(const char *subcode, const char *reason)
{
    return {400, onvifFault("Sender", subcode, reason), std::nullopt};
}

Fields clock(std::chrono::system_clock::time_point now)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    const std::string p = "SystemDateAndTime/";
    return {{p + "DateTimeType", "Manual"},
            {p + "DaylightSavings", "false"},
            {p + "UTCDateTime/Date/Year", std::to_string(tm.tm_year + 1900)},
            {p + "UTCDateTime/Date/Month", std::to_string(tm.tm_mon + 1)},
            {p + "UTCDateTime/Date/Day", std::to_string(tm.tm_mday)},
            {p + "UTCDateTime/Time/Hour", std::to_string(tm.tm_hour)},
            {p + "UTCDateTime/Time/Minute", std::to_string(tm.tm_min)},
            {p + "UTCDateTime/Time/Second", std::to_string(tm.tm_sec)}};
}

Fields interfaces(const DeviceInfo &d)
{
    const std::string p = "NetworkInterfaces/";
    const std::string config = d.dhcpOn ? "IPv4/Config/FromDHCP/" : "IPv4/Config/Manual/";
    Fields f = {{"NetworkInterfaces/@token", "eth0"},
                {p + "Enabled", "true"},
                {p + "Info/Name", "eth0"},
                {p + "Info/HwAddress", d.macAddr},
                {p + "Info/MTU", "1500"},
                {p + "IPv4/Enabled", "true"},
                {p + config + "Address", d.ipv4Addr},
                {p + config + "PrefixLength", std::to_string(prefixLength(d.ipv4Mask))},
                {p + "IPv4/Config/DHCP", d.dhcpOn ? "true" : "false"}};
    if (!d.ipv6Addr.empty()) {
        f.insert(f.end(), {{p + "IPv6/Enabled", "true"},
                           {p + "IPv6/Config/Manual/Address", d.ipv6Addr},
                           {p + "IPv6/Config/Manual/PrefixLength", std::to_string(d.ipv6PrefixLen)}});
    }
    return f;
}

// A new IPv4 configuration for the one interface, checked as a device checks it.
std::optional<OnvifAnswer> setInterfaces(const Envelope &request, NetworkState &next)
{
    if (request.field("InterfaceToken") != "eth0")
        return invalid("ter:InvalidArgVal/ter:InvalidNetworkInterface", "No such interface");
    const std::string dhcp = request.field("NetworkInterface/IPv4/DHCP");
    if (dhcp == "true")
        return invalid("ter:InvalidArgVal/ter:InvalidIPv4Address", "This device keeps a static address");
    const std::string addr = request.field("NetworkInterface/IPv4/Manual/Address");
    const std::string prefix = request.field("NetworkInterface/IPv4/Manual/PrefixLength");
    if (addr.empty())
        return std::nullopt; // nothing to change
    const auto parsed = parseIpv4(addr);
    const int length = prefix.size() <= 2 && !prefix.empty() && prefix.find_first_not_of("0123456789") == std::string::npos
        ? std::stoi(prefix)
        : -1;
    // A device simulated on loopback stays reachable there, within 127.0.0.0/8; one on an
    // interface of its own (a test's network namespace) takes any address a device may.
    const auto loopback = [](uint32_t a) { return (ntohl(a) >> 24) == 127 && ntohl(a) != 0x7f000001; };
    const bool onLoopback = loopback(parseIpv4(next.ipv4Addr).value_or(0));
    if (!parsed || !(onLoopback ? loopback(*parsed) : isUnicastIpv4(*parsed)) || length < 8 || length > 30)
        return invalid("ter:InvalidArgVal/ter:InvalidIPv4Address", "Address or prefix not accepted");
    next.ipv4Addr = addr;
    next.ipv4Mask = maskOf(length);
    next.dhcpOn = 0;
    return std::nullopt;
}

} // namespace

bool isOnvifPreAuth(std::string_view operation)
{
    return operation == "GetSystemDateAndTime";
}

bool isOnvifRead(std::string_view operation)
{
    return operation == "GetDeviceInformation" || operation == "GetNetworkInterfaces"
        || operation == "GetNetworkDefaultGateway" || operation == "GetNetworkProtocols";
}

std::string onvifFault(const char *code, const char *subcode, const char *reason)
{
    return vexa::soap::encode(Envelope{"Fault",
                                       {{"Code/Value", std::string("s:") + code},
                                        {"Code/Subcode/Value", subcode},
                                        {"Reason/Text", reason}},
                                       std::nullopt});
}

OnvifAnswer answerOnvif(const DeviceInfo &d, const Envelope &request, bool authorized, bool readOnly,
                        std::chrono::system_clock::time_point deviceNow)
{
    const std::string &op = request.operation;
    if (op == "GetSystemDateAndTime")
        return {200, reply(op, clock(deviceNow)), std::nullopt};
    const bool known = isOnvifRead(op) || op == "SetNetworkInterfaces" || op == "SetNetworkDefaultGateway"
        || op == "SetNetworkProtocols" || op == "SystemReboot";
    if (!known)
        return invalid("ter:ActionNotSupported", "Not supported by this device");
    if (!authorized)
        return {400, onvifFault("Sender", "ter:NotAuthorized", "Sender not authorized"), std::nullopt};

    if (op == "GetDeviceInformation") {
        return {200,
                reply(op, {{"Manufacturer", "Devsim"},
                           {"Model", d.typeName},
                           {"FirmwareVersion", d.softwareVersion},
                           {"SerialNumber", d.serialNo},
                           {"HardwareId", std::to_string(d.typeCode)}}),
                std::nullopt};
    }
    if (op == "GetNetworkInterfaces")
        return {200, reply(op, interfaces(d)), std::nullopt};
    if (op == "GetNetworkDefaultGateway")
        return {200, reply(op, {{"NetworkGateway/IPv4Address", d.ipv4Gateway}}), std::nullopt};
    if (op == "GetNetworkProtocols") {
        return {200,
                reply(op, {{"NetworkProtocols/Name", "HTTP"},
                           {"NetworkProtocols/Enabled", "true"},
                           {"NetworkProtocols/Port", std::to_string(d.httpPort)}}),
                std::nullopt};
    }
    if (op == "SystemReboot")
        return {200, reply(op, {{"Message", "Rebooting"}}), std::nullopt};

    if (readOnly)
        return invalid("ter:OperationProhibited", "Network settings are managed over the device's own protocol");
    NetworkState next = NetworkState::of(d);
    if (op == "SetNetworkInterfaces") {
        if (auto refused = setInterfaces(request, next))
            return *refused;
        return {200, reply(op, {{"RebootNeeded", "false"}}), next};
    }
    if (op == "SetNetworkDefaultGateway") {
        const std::string gateway = request.field("IPv4Address");
        if (!gateway.empty() && !parseIpv4(gateway))
            return invalid("ter:InvalidArgVal/ter:InvalidGatewayAddress", "Gateway not accepted");
        next.ipv4Gateway = gateway;
        return {200, reply(op, {}), next};
    }
    // SetNetworkProtocols: only the HTTP port can move.
    for (size_t i = 0; i < request.fields.size(); ++i) {
        if (request.fields[i].first != "NetworkProtocols/Name" || request.fields[i].second != "HTTP")
            continue;
        for (size_t j = i + 1; j < request.fields.size() && request.fields[j].first != "NetworkProtocols/Name"; ++j) {
            if (request.fields[j].first != "NetworkProtocols/Port")
                continue;
            const std::string &port = request.fields[j].second;
            if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos
                || std::stoi(port) < 1 || std::stoi(port) > 65535)
                return invalid("ter:InvalidArgVal/ter:PortAlreadyInUse", "Port not accepted");
            next.port = uint16_t(std::stoi(port)); // an ONVIF device's one port is its HTTP port
        }
    }
    return {200, reply(op, {}), next};
}

} // namespace devsim
