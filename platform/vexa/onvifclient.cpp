#include "onvifclient.h"

#include "address.h"
#include "wsdiscovery.h"

#include <curl/curl.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>

namespace vexa::onvif {

namespace {

using namespace std::chrono_literals;

constexpr long kConnectMs = 1000;
constexpr long kCallMs = 3000;

// Collects a response body up to the SOAP cap; a longer one aborts the transfer.
size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *body = static_cast<std::string *>(user);
    if (body->size() + size * count > soap::kMaxMessage)
        return 0;
    body->append(data, size * count);
    return size * count;
}

int cancelled(void *cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool> *>(cancel)->load() ? 1 : 0;
}

int prefixOf(const std::string &text)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int n = std::stoi(text);
    return n <= 32 ? n : -1;
}

std::string maskText(int prefix)
{
    const uint32_t m = prefix == 0 ? 0 : ~uint32_t(0) << (32 - prefix);
    return std::to_string(m >> 24) + "." + std::to_string(m >> 16 & 0xff) + "." + std::to_string(m >> 8 & 0xff) + "."
        + std::to_string(m & 0xff);
}

std::optional<unsigned> number(const std::string &text, unsigned max)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned n = unsigned(std::stoul(text));
    return n <= max ? std::optional(n) : std::nullopt;
}

} // namespace

std::string userName()
{
    const char *user = std::getenv("VEXA_ONVIF_USER");
    return user && *user && std::string_view(user).size() <= soap::kMaxText ? user : "admin";
}

bool readDeviceInformation(const soap::Envelope &r, Details &d)
{
    if (r.operation != "GetDeviceInformationResponse")
        return false;
    d.manufacturer = r.field("Manufacturer");
    d.model = r.field("Model");
    d.firmware = r.field("FirmwareVersion");
    d.serial = r.field("SerialNumber");
    d.hardwareId = r.field("HardwareId");
    return !d.serial.empty();
}

bool readNetworkInterfaces(const soap::Envelope &r, Details &d)
{
    if (r.operation != "GetNetworkInterfacesResponse")
        return false;
    // The first interface is the one the device was found on in every device seen so far.
    d.interfaceToken = r.field("NetworkInterfaces/@token");
    d.mac = r.field("NetworkInterfaces/Info/HwAddress");
    d.dhcp = r.field("NetworkInterfaces/IPv4/Config/DHCP") == "true";
    const std::string config = d.dhcp && !r.field("NetworkInterfaces/IPv4/Config/FromDHCP/Address").empty()
        ? "FromDHCP"
        : "Manual";
    d.ipv4Addr = r.field("NetworkInterfaces/IPv4/Config/" + config + "/Address");
    const int prefix = prefixOf(r.field("NetworkInterfaces/IPv4/Config/" + config + "/PrefixLength"));
    d.ipv4Mask = prefix >= 0 ? maskText(prefix) : std::string();
    d.ipv6Addr = r.field("NetworkInterfaces/IPv6/Config/Manual/Address");
    const int prefix6 = d.ipv6Addr.empty() ? -1 : int(number(r.field("NetworkInterfaces/IPv6/Config/Manual/PrefixLength"), 128).value_or(0));
    d.ipv6PrefixLen = uint8_t(std::max(prefix6, 0));
    return !d.interfaceToken.empty();
}

void readGateway(const soap::Envelope &r, Details &d)
{
    if (r.operation == "GetNetworkDefaultGatewayResponse")
        d.ipv4Gateway = r.field("NetworkGateway/IPv4Address");
}

void readProtocols(const soap::Envelope &r, Details &d)
{
    if (r.operation != "GetNetworkProtocolsResponse")
        return;
    std::string name;
    for (const auto &[path, value] : r.fields) {
        if (path == "NetworkProtocols/Name")
            name = value;
        else if (path == "NetworkProtocols/Port" && name == "HTTP" && d.httpPort == 0)
            d.httpPort = uint16_t(number(value, 65535).value_or(0));
    }
}

std::optional<std::chrono::system_clock::time_point> readDeviceClock(const soap::Envelope &r)
{
    if (r.operation != "GetSystemDateAndTimeResponse")
        return std::nullopt;
    const std::string p = "SystemDateAndTime/UTCDateTime/";
    const auto two = [&](const char *field) {
        const auto n = number(r.field(p + field), 99);
        return n ? std::string(*n < 10 ? "0" : "") + std::to_string(*n) : std::string("xx");
    };
    const auto year = number(r.field(p + "Date/Year"), 9999);
    if (!year)
        return std::nullopt;
    return soap::parseDateTime(std::to_string(*year) + "-" + two("Date/Month") + "-" + two("Date/Day") + "T"
                          + two("Time/Hour") + ":" + two("Time/Minute") + ":" + two("Time/Second") + "Z");
}

std::string readDeviceService(const soap::Envelope &r)
{
    if (r.operation == "GetCapabilitiesResponse")
        return r.field("Capabilities/Device/XAddr");
    if (r.operation != "GetServicesResponse")
        return {};
    std::string ns;
    for (const auto &[path, value] : r.fields) {
        if (path == "Service/Namespace")
            ns = value;
        else if (path == "Service/XAddr" && ns == soap::kDeviceNs)
            return value;
    }
    return {};
}

Failure failureOf(long status, const std::optional<soap::Envelope> &answer)
{
    if (status == 401 || (answer && answer->faultNames("NotAuthorized")))
        return Failure::NotAuthorized;
    if (answer && (answer->faultNames("ActionNotSupported") || answer->faultNames("OperationProhibited")))
        return Failure::NotSupported;
    if (status == 0 || !answer || answer->operation != "Fault")
        return Failure::NoAnswer;
    return Failure::Refused;
}

Client::Client(std::string xaddr, std::optional<Credentials> credentials, const std::atomic<bool> *cancel)
    : m_xaddr(std::move(xaddr)), m_credentials(std::move(credentials)), m_cancel(cancel)
{
    static std::once_flag global;
    std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
}

Client::~Client()
{
    curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

std::optional<soap::Envelope> Client::post(const std::string &operation, const soap::Fields &fields, bool digest,
                                           long &status)
{
    CURL *curl = static_cast<CURL *>(m_curl);
    if (!curl)
        return std::nullopt;
    soap::Envelope request(operation, fields);
    if (m_credentials && !digest && operation != "GetSystemDateAndTime")
        request.token = soap::makeToken(m_credentials->user, m_credentials->password,
                                        std::chrono::system_clock::now() + m_clockOffset.value_or(0s));
    const std::string body = soap::encode(request);
    if (body.empty())
        return std::nullopt;
    std::string response;
    const std::string contentType = "Content-Type: application/soap+xml; charset=utf-8; action=\"http://www.onvif.org/ver10/device/wsdl/" + operation + "\"";
    curl_slist *headers = curl_slist_append(nullptr, contentType.c_str());
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, m_xaddr.c_str());
    // Plain HTTP to the device itself: no other scheme, no proxy, no redirect.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kCallMs);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
    if (m_cancel) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, m_cancel);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, cancelled);
    }
    if (digest && m_credentials) {
        // Digest only: curl never falls back to Basic, which would send the password itself.
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_DIGEST));
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_credentials->user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, m_credentials->password.c_str());
    }
    const CURLcode rc = curl_easy_perform(curl);
    status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    m_answered = m_answered || status != 0;
    curl_slist_free_all(headers);
    auto envelope = rc == CURLE_OK ? soap::parse(response) : std::nullopt;
    m_lastStatus = status;
    m_lastSoap = envelope.has_value();
    return envelope;
}

void Client::learnClock()
{
    long status = 0;
    const auto response = post("GetSystemDateAndTime", {}, false, status);
    const auto deviceNow = response ? readDeviceClock(*response) : std::nullopt;
    m_clockOffset = deviceNow ? *deviceNow - std::chrono::system_clock::now() : std::chrono::system_clock::duration(0);
}

std::optional<soap::Envelope> Client::call(const std::string &operation, soap::Fields fields)
{
    if (m_credentials && !m_clockOffset && !m_httpDigest)
        learnClock();
    long status = 0;
    auto response = post(operation, fields, m_httpDigest, status);
    // A device that wants HTTP Digest answers a UsernameToken with 401: ask again its way, once.
    if (status == 401 && m_credentials && !m_httpDigest) {
        m_httpDigest = true;
        response = post(operation, fields, true, status);
    }
    if (status == 200 && response && response->operation == operation + "Response" && response->ns == soap::kDeviceNs) {
        m_failure = Failure::None;
        m_transient = false;
        return response;
    }
    m_failure = failureOf(status, response);
    // A device still starting, or one that dropped the connection: worth asking again later.
    m_transient = status == 0 || (status >= 500 && m_failure != Failure::NotSupported);
    return std::nullopt;
}

// The standard fixes the device service's entry point; a device whose
// announced address serves something else names its service there.
bool Client::locateDeviceService()
{
    const auto address = wsd::httpAddress(m_xaddr);
    if (!address)
        return false;
    const std::string origin = "http://" + address->authority();
    const std::string announced = std::exchange(m_xaddr, origin + "/onvif/device_service");
    for (const auto &[operation, fields] :
         {std::pair<std::string, soap::Fields>{"GetServices", {{"IncludeCapability", "false"}}},
          std::pair<std::string, soap::Fields>{"GetCapabilities", {{"Category", "Device"}}}}) {
        const auto r = call(operation, fields);
        const std::string named = r ? readDeviceService(*r) : std::string();
        const auto at = wsd::httpAddress(named);
        // Never another host: the announcement decides whom the tool talks to.
        if (at && at->host == address->host) {
            m_xaddr = named;
            return true;
        }
        if (r)
            return true; // it answers at the entry point itself
    }
    m_xaddr = announced;
    return false;
}

std::optional<Details> Client::readDetails()
{
    Details d;
    auto info = call("GetDeviceInformation", {});
    const bool noService = !info && m_lastStatus != 0 && !m_lastSoap;
    if (noService && locateDeviceService())
        info = call("GetDeviceInformation", {});
    if (!info || !readDeviceInformation(*info, d))
        return std::nullopt;
    if (const auto r = call("GetNetworkInterfaces", {}))
        readNetworkInterfaces(*r, d);
    if (const auto r = call("GetNetworkDefaultGateway", {}))
        readGateway(*r, d);
    if (const auto r = call("GetNetworkProtocols", {}))
        readProtocols(*r, d);
    return d;
}

Failure Client::modify(const NetChange &change)
{
    // Reading first proves the credentials and names the interface before anything changes.
    Details now;
    const auto interfaces = call("GetNetworkInterfaces", {});
    if (!interfaces)
        return m_failure;
    if (!readNetworkInterfaces(*interfaces, now))
        return Failure::NoAnswer;
    if (const auto r = call("GetNetworkProtocols", {}))
        readProtocols(*r, now);

    if (!change.ipv4Gateway.empty() && !call("SetNetworkDefaultGateway", {{"IPv4Address", change.ipv4Gateway}}))
        return m_failure;
    const auto address = wsd::httpAddress(m_xaddr);
    if (!address)
        return Failure::NoAnswer;
    const size_t slash = m_xaddr.find('/', 7);
    const std::string path = slash == std::string::npos ? "/" : m_xaddr.substr(slash);
    if (change.httpPort != 0 && change.httpPort != (now.httpPort ? now.httpPort : address->port)) {
        if (!call("SetNetworkProtocols",
                  {{"NetworkProtocols/Name", "HTTP"},
                   {"NetworkProtocols/Enabled", "true"},
                   {"NetworkProtocols/Port", std::to_string(change.httpPort)}}))
            return m_failure;
        wsd::HttpAddress moved = *address;
        moved.port = change.httpPort;
        m_xaddr = "http://" + moved.authority() + path;
    }
    const auto done = call("SetNetworkInterfaces",
                           {{"InterfaceToken", now.interfaceToken},
                            {"NetworkInterface/Enabled", "true"},
                            {"NetworkInterface/IPv4/Enabled", "true"},
                            {"NetworkInterface/IPv4/Manual/Address", change.ipv4Addr},
                            {"NetworkInterface/IPv4/Manual/PrefixLength", std::to_string(change.prefixLength)},
                            {"NetworkInterface/IPv4/DHCP", "false"}});
    if (!done)
        return m_failure;
    // A device that takes the address only on its next start says so, and is still where it was.
    if (done->field("RebootNeeded") == "true" && !call("SystemReboot", {}))
        return m_failure;
    return Failure::None;
}

std::optional<soap::Envelope> Client::dateAndTime()
{
    long status = 0;
    auto response = post("GetSystemDateAndTime", {}, false, status);
    if (status == 200 && response && response->operation == "GetSystemDateAndTimeResponse")
        return response;
    m_failure = failureOf(status, response);
    return std::nullopt;
}

std::optional<std::chrono::milliseconds> Client::readClockOffset()
{
    const auto sent = std::chrono::system_clock::now();
    const auto response = dateAndTime();
    const auto received = std::chrono::system_clock::now();
    const auto deviceNow = response ? readDeviceClock(*response) : std::nullopt;
    if (!deviceNow) {
        if (response)
            m_failure = Failure::NoAnswer;
        return std::nullopt;
    }
    m_clockOffset = *deviceNow - received;
    return std::chrono::duration_cast<std::chrono::milliseconds>(*deviceNow - (sent + (received - sent) / 2));
}

namespace {

soap::Fields utcFields(std::chrono::system_clock::time_point utc)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(utc);
    std::tm tm{};
    gmtime_r(&t, &tm);
    // The schema's order: Time before Date.
    return {{"UTCDateTime/Time/Hour", std::to_string(tm.tm_hour)},
            {"UTCDateTime/Time/Minute", std::to_string(tm.tm_min)},
            {"UTCDateTime/Time/Second", std::to_string(tm.tm_sec)},
            {"UTCDateTime/Date/Year", std::to_string(tm.tm_year + 1900)},
            {"UTCDateTime/Date/Month", std::to_string(tm.tm_mon + 1)},
            {"UTCDateTime/Date/Day", std::to_string(tm.tm_mday)}};
}

// An NTP server as the schema types it: an address of either family, or a name.
soap::Fields ntpServer(const std::string &server)
{
    if (address::parseIpv4(server))
        return {{"NTPManual/Type", "IPv4"}, {"NTPManual/IPv4Address", server}};
    if (address::parseIpv6(server))
        return {{"NTPManual/Type", "IPv6"}, {"NTPManual/IPv6Address", server}};
    return {{"NTPManual/Type", "DNS"}, {"NTPManual/DNSname", server}};
}

} // namespace

Failure Client::setClock(std::chrono::system_clock::time_point utc)
{
    // The device keeps its time zone and daylight saving: read them first (and prove the way in).
    const auto now = dateAndTime();
    if (!now)
        return m_failure;
    soap::Fields fields = {{"DateTimeType", "Manual"},
                           {"DaylightSavings", now->field("SystemDateAndTime/DaylightSavings") == "true" ? "true" : "false"}};
    const soap::Fields time = utcFields(utc);
    fields.insert(fields.end(), time.begin(), time.end());
    if (!call("SetSystemDateAndTime", fields))
        return m_failure;
    m_clockOffset.reset(); // the next token's time is the new clock's
    return Failure::None;
}

Failure Client::setNtp(const std::vector<std::string> &servers)
{
    const auto now = dateAndTime();
    if (!now)
        return m_failure;
    soap::Fields fields = {{"FromDHCP", "false"}};
    for (const std::string &server : servers) {
        const soap::Fields one = ntpServer(server);
        fields.insert(fields.end(), one.begin(), one.end());
    }
    if (!call("SetNTP", fields))
        return m_failure;
    if (!call("SetSystemDateAndTime",
              {{"DateTimeType", "NTP"},
               {"DaylightSavings", now->field("SystemDateAndTime/DaylightSavings") == "true" ? "true" : "false"}}))
        return m_failure;
    m_clockOffset.reset();
    return Failure::None;
}

Failure Client::setPassword(const std::string &newPassword)
{
    if (!m_credentials)
        return Failure::NotAuthorized;
    // Keep the account's level: a user the device lists at another level stays there.
    const auto users = call("GetUsers", {});
    if (!users)
        return m_failure;
    std::string level, name;
    for (const auto &[path, value] : users->fields) {
        if (path == "User/Username")
            name = value;
        else if (path == "User/UserLevel" && name == m_credentials->user && level.empty())
            level = value;
    }
    if (level.empty())
        return Failure::NotSupported; // the account in use is not one the device lists
    if (!call("SetUser", {{"User/Username", m_credentials->user}, {"User/Password", newPassword},
                          {"User/UserLevel", level}}))
        return m_failure;
    m_credentials->password = newPassword;
    return Failure::None;
}

Failure Client::reboot()
{
    return call("SystemReboot", {}) ? Failure::None : m_failure;
}

} // namespace vexa::onvif
