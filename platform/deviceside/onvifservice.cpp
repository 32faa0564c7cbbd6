#include "onvifservice.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <ctime>

namespace deviceside {

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
    return vexa::soap::encode(Envelope(operation + "Response", std::move(fields)));
}

OnvifAnswer invalid(const char *subcode, const char *reason)
{
    return onvifFault("Sender", subcode, reason);
}

// The schema's order: Time before Date.
Fields dateTime(const std::string &p, const std::tm &tm)
{
    return {{p + "Time/Hour", std::to_string(tm.tm_hour)},
            {p + "Time/Minute", std::to_string(tm.tm_min)},
            {p + "Time/Second", std::to_string(tm.tm_sec)},
            {p + "Date/Year", std::to_string(tm.tm_year + 1900)},
            {p + "Date/Month", std::to_string(tm.tm_mon + 1)},
            {p + "Date/Day", std::to_string(tm.tm_mday)}};
}

Fields clock(std::chrono::system_clock::time_point now)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    const std::string p = "SystemDateAndTime/";
    Fields f = {{p + "DateTimeType", "Manual"}, {p + "DaylightSavings", "false"}, {p + "TimeZone/TZ", "UTC0"}};
    const Fields utc = dateTime(p + "UTCDateTime/", tm);
    const Fields local = dateTime(p + "LocalDateTime/", tm);
    f.insert(f.end(), utc.begin(), utc.end());
    f.insert(f.end(), local.begin(), local.end());
    return f;
}

constexpr std::string_view kMediaNs = "http://www.onvif.org/ver10/media/wsdl";

bool isMediaRead(std::string_view operation)
{
    return operation == "GetProfiles" || operation == "GetVideoSources" || operation == "GetStreamUri"
        || operation == "GetSnapshotUri";
}

std::string mediaXAddr(const DeviceInfo &d)
{
    return "http://" + d.ipv4Addr + ":" + std::to_string(d.httpPort) + "/onvif/media_service";
}

// One video source, one profile: what clients read before they stream.
Fields media(const DeviceInfo &d, const std::string &op)
{
    if (op == "GetVideoSources")
        return {{"VideoSources/@token", "VideoSource_1"},
                {"VideoSources/Framerate", "25"},
                {"VideoSources/Resolution/Width", "1920"},
                {"VideoSources/Resolution/Height", "1080"}};
    if (op == "GetStreamUri" || op == "GetSnapshotUri") {
        const std::string uri = op == "GetStreamUri" ? "rtsp://" + d.ipv4Addr + ":554/stream1"
                                                     : "http://" + d.ipv4Addr + ":" + std::to_string(d.httpPort)
                                                           + "/snapshot.jpg";
        return {{"MediaUri/Uri", uri},
                {"MediaUri/InvalidAfterConnect", "false"},
                {"MediaUri/InvalidAfterReboot", "false"},
                {"MediaUri/Timeout", "PT0S"}};
    }
    const std::string p = "Profiles/";
    return {{"Profiles/@token", "Profile_1"},
            {"Profiles/@fixed", "true"},
            {p + "Name", "Main"},
            {p + "VideoSourceConfiguration/@token", "VideoSourceConfig_1"},
            {p + "VideoSourceConfiguration/Name", "VideoSourceConfig_1"},
            {p + "VideoSourceConfiguration/UseCount", "1"},
            {p + "VideoSourceConfiguration/SourceToken", "VideoSource_1"},
            {p + "VideoSourceConfiguration/Bounds/@x", "0"},
            {p + "VideoSourceConfiguration/Bounds/@y", "0"},
            {p + "VideoSourceConfiguration/Bounds/@width", "1920"},
            {p + "VideoSourceConfiguration/Bounds/@height", "1080"},
            {p + "VideoEncoderConfiguration/@token", "VideoEncoderConfig_1"},
            {p + "VideoEncoderConfiguration/Name", "VideoEncoderConfig_1"},
            {p + "VideoEncoderConfiguration/UseCount", "1"},
            {p + "VideoEncoderConfiguration/Encoding", "H264"},
            {p + "VideoEncoderConfiguration/Resolution/Width", "1920"},
            {p + "VideoEncoderConfiguration/Resolution/Height", "1080"},
            {p + "VideoEncoderConfiguration/Quality", "5"},
            {p + "VideoEncoderConfiguration/RateControl/FrameRateLimit", "25"},
            {p + "VideoEncoderConfiguration/RateControl/EncodingInterval", "1"},
            {p + "VideoEncoderConfiguration/RateControl/BitrateLimit", "4096"},
            {p + "VideoEncoderConfiguration/H264/GovLength", "50"},
            {p + "VideoEncoderConfiguration/H264/H264Profile", "Main"},
            {p + "VideoEncoderConfiguration/Multicast/Address/Type", "IPv4"},
            {p + "VideoEncoderConfiguration/Multicast/Address/IPv4Address", "0.0.0.0"},
            {p + "VideoEncoderConfiguration/Multicast/Port", "0"},
            {p + "VideoEncoderConfiguration/Multicast/TTL", "1"},
            {p + "VideoEncoderConfiguration/Multicast/AutoStart", "false"},
            {p + "VideoEncoderConfiguration/SessionTimeout", "PT60S"}};
}

// Where each service is: device management and media.
Fields services(const DeviceInfo &d, bool withCapabilities)
{
    Fields f = {{"Service/tds:Namespace", std::string(vexa::soap::kDeviceNs)},
                {"Service/tds:XAddr", onvifXAddr(d)}};
    if (withCapabilities) {
        const std::string c = "Service/tds:Capabilities/tds:Capabilities/";
        f.insert(f.end(), {{c + "tds:Network/@IPFilter", "false"},
                           {c + "tds:Network/@ZeroConfiguration", "false"},
                           {c + "tds:Network/@IPVersion6", d.ipv6Addr.empty() ? "false" : "true"},
                           {c + "tds:Network/@DynDNS", "false"},
                           {c + "tds:Security/@UsernameToken", "true"},
                           {c + "tds:Security/@HttpDigest", "true"},
                           {c + "tds:System/@DiscoveryResolve", "false"},
                           {c + "tds:System/@DiscoveryBye", "true"},
                           {c + "tds:System/@SystemLogging", "false"}});
    }
    f.insert(f.end(), {{"Service/tds:Version/Major", "2"},
                       {"Service/tds:Version/Minor", "60"},
                       {"Service/tds:Namespace", std::string(kMediaNs)},
                       {"Service/tds:XAddr", mediaXAddr(d)}});
    if (withCapabilities) {
        const std::string c = "Service/tds:Capabilities/trt:Capabilities/";
        f.insert(f.end(), {{c + "@SnapshotUri", "true"}, {c + "trt:ProfileCapabilities/@MaximumNumberOfProfiles", "1"},
                           {c + "trt:StreamingCapabilities/@RTP_RTSP_TCP", "true"}});
    }
    f.insert(f.end(), {{"Service/tds:Version/Major", "2"}, {"Service/tds:Version/Minor", "60"}});
    return f;
}

Fields serviceCapabilities(const DeviceInfo &d)
{
    const std::string c = "Capabilities/tds:";
    return {{c + "Network/@IPFilter", "false"},         {c + "Network/@ZeroConfiguration", "false"},
            {c + "Network/@IPVersion6", d.ipv6Addr.empty() ? "false" : "true"}, {c + "Network/@DynDNS", "false"},
            {c + "Security/@UsernameToken", "true"},    {c + "Security/@HttpDigest", "true"},
            {c + "System/@DiscoveryResolve", "false"},  {c + "System/@DiscoveryBye", "true"},
            {c + "System/@SystemLogging", "false"}};
}

// GetCapabilities, in the schema's order: Analytics, Device, Events, Imaging, Media, PTZ.
Fields capabilities(const DeviceInfo &d)
{
    const std::string p = "Capabilities/Device/";
    return {{p + "XAddr", onvifXAddr(d)},
            {p + "Network/IPFilter", "false"},
            {p + "Network/ZeroConfiguration", "false"},
            {p + "Network/IPVersion6", d.ipv6Addr.empty() ? "false" : "true"},
            {p + "Network/DynDNS", "false"},
            {p + "System/DiscoveryResolve", "false"},
            {p + "System/DiscoveryBye", "true"},
            {p + "System/RemoteDiscovery", "false"},
            {p + "System/SystemBackup", "false"},
            {p + "System/SystemLogging", "false"},
            {p + "System/FirmwareUpgrade", "false"},
            {p + "System/SupportedVersions/Major", "2"},
            {p + "System/SupportedVersions/Minor", "60"},
            {p + "IO/InputConnectors", "0"},
            {p + "IO/RelayOutputs", "0"},
            {p + "Security/TLS1.1", "false"},
            {p + "Security/TLS1.2", "false"},
            {p + "Security/OnboardKeyGeneration", "false"},
            {p + "Security/AccessPolicyConfig", "false"},
            {p + "Security/X.509Token", "false"},
            {p + "Security/SAMLToken", "false"},
            {p + "Security/KerberosToken", "false"},
            {p + "Security/RELToken", "false"},
            {"Capabilities/Media/XAddr", mediaXAddr(d)},
            {"Capabilities/Media/StreamingCapabilities/RTPMulticast", "false"},
            {"Capabilities/Media/StreamingCapabilities/RTP_TCP", "true"},
            {"Capabilities/Media/StreamingCapabilities/RTP_RTSP_TCP", "true"}};
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

constexpr size_t kMinOnvifPassword = 8;

int field(const Envelope &request, const std::string &path, int min, int max)
{
    const std::string text = request.field(path);
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int n = std::stoi(text);
    return n >= min && n <= max ? n : -1;
}

// Manual: the UTC time given; NTP: the servers' time from now on.
OnvifAnswer setDateAndTime(const Envelope &request)
{
    OnvifJob job;
    const std::string type = request.field("DateTimeType");
    if (type == "NTP") {
        job.ntp = true;
        return {200, reply(request.operation, {}), std::nullopt, job};
    }
    const std::string p = "UTCDateTime/";
    std::tm tm{};
    tm.tm_year = field(request, p + "Date/Year", 2000, 2099) - 1900;
    tm.tm_mon = field(request, p + "Date/Month", 1, 12) - 1;
    tm.tm_mday = field(request, p + "Date/Day", 1, 31);
    tm.tm_hour = field(request, p + "Time/Hour", 0, 23);
    tm.tm_min = field(request, p + "Time/Minute", 0, 59);
    tm.tm_sec = field(request, p + "Time/Second", 0, 60);
    if (type != "Manual" || tm.tm_year < 100 || tm.tm_mon < 0 || tm.tm_mday < 1 || tm.tm_hour < 0 || tm.tm_min < 0
        || tm.tm_sec < 0)
        return invalid("ter:InvalidArgVal/ter:InvalidDateTime", "Date and time not accepted");
    job.clock = std::chrono::system_clock::from_time_t(timegm(&tm));
    return {200, reply(request.operation, {}), std::nullopt, job};
}

OnvifAnswer setNtp(const Envelope &request)
{
    size_t servers = 0;
    for (const auto &[path, value] : request.fields) {
        if (path != "NTPManual/DNSname" && path != "NTPManual/IPv4Address" && path != "NTPManual/IPv6Address")
            continue;
        const bool name = !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':';
        });
        if (!name)
            return invalid("ter:InvalidArgVal/ter:InvalidDnsName", "NTP server not accepted");
        ++servers;
    }
    if (request.field("FromDHCP") != "false" || servers == 0)
        return invalid("ter:InvalidArgVal/ter:InvalidDnsName", "NTP servers are set by hand only");
    return {200, reply(request.operation, {}), std::nullopt, std::nullopt};
}

OnvifAnswer setUser(const Envelope &request, const std::string &currentPassword)
{
    if (request.field("User/Username") != kOnvifUser)
        return invalid("ter:InvalidArgVal/ter:UsernameMissing", "No such user");
    const std::string password = request.field("User/Password");
    if (password.size() < kMinOnvifPassword || password == currentPassword)
        return invalid("ter:OperationProhibited/ter:PasswordTooWeak", "Too weak password");
    if (request.field("User/UserLevel") != "Administrator")
        return invalid("ter:OperationProhibited/ter:FixedUser", "The administrator stays one");
    OnvifJob job;
    job.password = password;
    return {200, reply(request.operation, {}), std::nullopt, job};
}

} // namespace

bool isOnvifPreAuth(std::string_view operation)
{
    return operation == "GetSystemDateAndTime" || operation == "GetCapabilities" || operation == "GetServices"
        || operation == "GetServiceCapabilities";
}

std::string onvifXAddr(const DeviceInfo &info)
{
    return "http://" + info.ipv4Addr + ":" + std::to_string(info.httpPort) + "/onvif/device_service";
}

bool isOnvifRead(std::string_view operation)
{
    return operation == "GetDeviceInformation" || operation == "GetNetworkInterfaces"
        || operation == "GetNetworkDefaultGateway" || operation == "GetNetworkProtocols" || isMediaRead(operation);
}

OnvifAnswer onvifFault(const char *code, const char *subcode, const char *reason)
{
    Envelope e("Fault", {{"Code/Value", std::string("s:") + code}});
    // "ter:InvalidArgVal/ter:InvalidIPv4Address": each code a Subcode inside the one before.
    std::string path = "Code/";
    for (std::string_view rest = subcode; !rest.empty();) {
        const size_t slash = std::min(rest.find('/'), rest.size());
        path += "Subcode/";
        e.fields.emplace_back(path + "Value", std::string(rest.substr(0, slash)));
        rest.remove_prefix(std::min(slash + 1, rest.size()));
    }
    e.fields.insert(e.fields.end(), {{"Reason/Text", reason}, {"Reason/Text/@xml:lang", "en"}});
    return {std::string_view(code) == "Sender" ? 400 : 500, vexa::soap::encode(e), std::nullopt};
}

OnvifAnswer answerOnvif(const DeviceInfo &d, const Envelope &request, bool authorized, bool readOnly,
                        const std::vector<std::string> &unsupported, std::chrono::system_clock::time_point deviceNow,
                        const std::string &currentPassword)
{
    const std::string &op = request.operation;
    const bool mediaCall = request.ns == kMediaNs && isMediaRead(op);
    const bool known = (mediaCall
                        || (request.ns == vexa::soap::kDeviceNs
                            && (isOnvifPreAuth(op) || (isOnvifRead(op) && !isMediaRead(op))
                                || op == "SetNetworkInterfaces" || op == "SetNetworkDefaultGateway"
                                || op == "SetNetworkProtocols" || op == "SystemReboot" || op == "GetUsers"
                                || op == "SetUser" || op == "SetSystemDateAndTime" || op == "SetNTP")))
        && std::find(unsupported.begin(), unsupported.end(), op) == unsupported.end();
    if (!known)
        return onvifFault("Receiver", "ter:ActionNotSupported", "Not supported by this device");
    if (mediaCall) {
        if (!authorized)
            return onvifFault("Sender", "ter:NotAuthorized", "Sender not authorized");
        Envelope e(op + "Response", media(d, op));
        e.ns = std::string(kMediaNs);
        return {200, vexa::soap::encode(e), std::nullopt};
    }
    if (op == "GetSystemDateAndTime")
        return {200, reply(op, clock(deviceNow)), std::nullopt};
    if (op == "GetServices")
        return {200, reply(op, services(d, request.field("IncludeCapability") == "true")), std::nullopt};
    if (op == "GetServiceCapabilities")
        return {200, reply(op, serviceCapabilities(d)), std::nullopt};
    if (op == "GetCapabilities") {
        const std::string category = request.field("Category");
        if (!category.empty() && category != "All" && category != "Device")
            return invalid("ter:InvalidArgVal/ter:NoSuchService", "Only the device service is offered");
        return {200, reply(op, capabilities(d)), std::nullopt};
    }
    if (!authorized)
        return onvifFault("Sender", "ter:NotAuthorized", "Sender not authorized");

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
        return {200, reply(op, {{"Message", "Rebooting"}}), std::nullopt, OnvifJob{.reboot = true}};
    if (op == "GetUsers")
        return {200, reply(op, {{"User/Username", kOnvifUser}, {"User/UserLevel", "Administrator"}}), std::nullopt};
    if (op == "SetUser")
        return setUser(request, currentPassword);
    if (op == "SetSystemDateAndTime")
        return setDateAndTime(request);
    if (op == "SetNTP")
        return setNtp(request);

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

} // namespace deviceside
