// The library's C interface.

#include "vexa.h"

#include "address.h"
#include "addressrange.h"
#include "crypto.h"
#include "discovery.h"
#include "jobbatch.h"
#include "keypins.h"
#include "onvifdiscovery.h"
#include <packet/transport.h>
#include "rangescan.h"
#include "request.h"
#include "trustanchors.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vexa;

// Start and Stop are serialised by g_lifecycle, held while Stop joins the
// receive thread; g_current is held only briefly, so a callback that calls
// VEXA_SendInquiry during that join cannot deadlock.
std::mutex g_lifecycle;
std::mutex g_current;
std::unique_ptr<Discovery> g_discovery;
thread_local int32_t t_modifyCause = VEXA_CAUSE_NONE;

int32_t causeOf(onvif::Failure failure)
{
    switch (failure) {
    case onvif::Failure::None:
        return VEXA_CAUSE_NONE;
    case onvif::Failure::NotAuthorized:
        return VEXA_CAUSE_NOT_AUTHORIZED;
    case onvif::Failure::NotSupported:
        return VEXA_CAUSE_NOT_SUPPORTED;
    case onvif::Failure::NoAnswer:
        return VEXA_CAUSE_NO_ANSWER;
    case onvif::Failure::Refused:
        return VEXA_CAUSE_REFUSED;
    }
    return VEXA_CAUSE_UNSPECIFIED;
}

// A NUL-terminated text of at most `maxLen` bytes, or nullopt.
std::optional<std::string_view> boundedText(const char *text, size_t maxLen)
{
    if (!text)
        return std::nullopt;
    const size_t len = strnlen(text, maxLen + 1);
    if (len > maxLen)
        return std::nullopt;
    return std::string_view(text, len);
}

// A text field of a record: it must be terminated inside its width.
template<size_t N>
std::optional<std::string_view> fieldText(const char (&field)[N])
{
    return boundedText(field, N - 1);
}

struct NetTexts {
    std::string_view ipv4Addr, ipv4Mask, ipv4Gateway, ipv6Addr, ipv6Gateway;
    uint16_t port = 0;
    uint8_t ipv6PrefixLen = 0;
};

// Checks every parameter before anything is sent; an empty gateway keeps the
// device's gateway and an empty IPv6 address leaves IPv6 alone.
std::optional<wire::ModifyBody> modifyBody(std::string_view password, const NetTexts &t)
{
    const auto addr = address::parseIpv4(t.ipv4Addr);
    const auto mask = address::parseIpv4(t.ipv4Mask);
    if (!addr || !mask || password.size() > wire::kMaxPassword)
        return std::nullopt;
    wire::ModifyBody b;
    b.password = std::string(password);
    b.ipv4Addr = *addr;
    b.ipv4Mask = *mask;
    b.port = t.port;
    if (!t.ipv4Gateway.empty()) {
        const auto gateway = address::parseIpv4(t.ipv4Gateway);
        if (!gateway)
            return std::nullopt;
        b.setGateway = true;
        b.ipv4Gateway = *gateway;
    }
    if (!t.ipv6Addr.empty()) {
        const auto addr6 = address::parseIpv6(t.ipv6Addr);
        if (!addr6 || t.ipv6PrefixLen > 128)
            return std::nullopt;
        b.setIpv6 = true;
        b.ipv6Addr = *addr6;
        b.ipv6PrefixLen = t.ipv6PrefixLen;
        if (!t.ipv6Gateway.empty()) {
            const auto gateway6 = address::parseIpv6(t.ipv6Gateway);
            if (!gateway6)
                return std::nullopt;
            b.ipv6Gateway = *gateway6;
        }
    }
    return b;
}

// An ONVIF device is readdressed over ONVIF with the same checks as a VXDP one;
// its one port is its HTTP port, and IPv6 is left alone.
int modifyOnvif(const OnvifDiscovery::Listed &device, std::string_view password, const NetTexts &t)
{
    const auto addr = address::parseIpv4(t.ipv4Addr);
    const auto mask = address::parseIpv4(t.ipv4Mask);
    t_modifyCause = VEXA_CAUSE_BAD_ARGUMENT;
    if (!addr || !mask)
        return 0;
    const uint32_t bits = address::toHostOrder(*mask);
    const int prefix = std::popcount(bits);
    if (prefix == 0 || bits != ~uint32_t(0) << (32 - prefix))
        return 0;
    if (!t.ipv4Gateway.empty() && !address::parseIpv4(t.ipv4Gateway))
        return 0;
    const onvif::Credentials credentials{onvif::userName(), std::string(password)};
    onvif::Client client(device.xaddr, credentials);
    t_modifyCause = causeOf(client.modify({address::formatIpv4(*addr), prefix, std::string(t.ipv4Gateway), t.port}));
    if (t_modifyCause != VEXA_CAUSE_NONE)
        return 0;
    std::lock_guard current(g_current);
    if (g_discovery)
        g_discovery->onvif().actedOn(device, credentials);
    return 1;
}

// A request for a MAC an online VXDP device reports goes to that device,
// sealed to its key: an ONVIF record naming the same MAC (anyone on the link
// can answer a probe) gets neither the password's digest nor the change.
bool heldByVxdp(const wire::Mac &mac)
{
    std::lock_guard current(g_current);
    return g_discovery && g_discovery->holdsMac(mac);
}

int modifyDevice(const char *macAddr, const char *password, const std::optional<NetTexts> &texts)
{
    const auto mac = macAddr ? address::parseMac(macAddr) : std::nullopt;
    const auto pass = boundedText(password, wire::kMaxPassword);
    t_modifyCause = VEXA_CAUSE_BAD_ARGUMENT;
    if (!mac || !pass || !texts)
        return 0;
    if (const auto onvif = OnvifDiscovery::listedByMac(address::formatMac(*mac)); onvif && !heldByVxdp(*mac))
        return modifyOnvif(*onvif, *pass, *texts);
    const auto body = modifyBody(*pass, *texts);
    if (!body)
        return 0;
    const PKT_Driver *driver = packet::driver();
    const bool done = driver && request::modify(driver, *mac, *body);
    t_modifyCause = done ? VEXA_CAUSE_NONE : VEXA_CAUSE_UNSPECIFIED;
    return done ? 1 : 0;
}

// Strict decimal port: 1 to 5 digits, 0..65535, nothing else.
std::optional<uint16_t> parsePort(const char *text)
{
    const auto t = boundedText(text, 5);
    if (!t || t->empty())
        return std::nullopt;
    unsigned value = 0;
    for (char c : *t) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > 65535)
        return std::nullopt;
    return uint16_t(value);
}

} // namespace

extern "C" {

VEXA_API int VEXA_Start_V30(VEXA_REPORT_CALLBACK callback, int flags, void *userData)
{
    if (!callback || flags != 0 || Discovery::onReceiveThread())
        return 0;
    std::lock_guard lifecycle(g_lifecycle);
    {
        std::lock_guard current(g_current);
        if (g_discovery)
            return 0;
    }
    const PKT_Driver *driver = packet::driver();
    if (!driver)
        return 0;
    TrustAnchors::process(); // read once, before any ANNOUNCE: a refused file is reported at start
    auto discovery = Discovery::start(driver, callback, userData);
    if (!discovery)
        return 0;
    std::lock_guard current(g_current);
    g_discovery = std::move(discovery);
    return 1;
}

VEXA_API int VEXA_Start_V20(VEXA_REPORT_CALLBACK callback, void *userData)
{
    return VEXA_Start_V30(callback, 0, userData);
}

VEXA_API int VEXA_Stop(void)
{
    // The receive thread cannot join itself.
    if (Discovery::onReceiveThread())
        return 0;
    std::lock_guard lifecycle(g_lifecycle);
    std::unique_ptr<Discovery> stopping;
    {
        std::lock_guard current(g_current);
        stopping = std::move(g_discovery);
    }
    stopping.reset();
    return 1;
}

VEXA_API int VEXA_SetInterfaces(const char *names)
{
    packet::setInterfaceChoice(names ? std::optional<std::string>(names) : std::nullopt);
    return 1;
}

VEXA_API int VEXA_SendInquiry(void)
{
    std::lock_guard current(g_current);
    return g_discovery && g_discovery->sendInquiry() ? 1 : 0;
}

VEXA_API int VEXA_ModifyDeviceNetParam(const char *macAddr, const char *password, const VEXA_NET_PARAM *param)
{
    t_modifyCause = VEXA_CAUSE_BAD_ARGUMENT;
    if (!param)
        return 0;
    const auto addr = fieldText(param->ipv4Addr);
    const auto mask = fieldText(param->ipv4Mask);
    const auto gateway = fieldText(param->ipv4Gateway);
    const auto addr6 = fieldText(param->ipv6Addr);
    const auto gateway6 = fieldText(param->ipv6Gateway);
    std::optional<NetTexts> texts;
    if (addr && mask && gateway && addr6 && gateway6)
        texts = NetTexts{*addr, *mask, *gateway, *addr6, *gateway6, param->port, param->ipv6PrefixLen};
    return modifyDevice(macAddr, password, texts);
}

VEXA_API int VEXA_GetLastModifyCause(int32_t *cause)
{
    if (!cause)
        return 0;
    *cause = t_modifyCause;
    return 1;
}

VEXA_API int VEXA_GetDeviceProtocol(const char *macAddr, int32_t *protocol)
{
    const auto mac = macAddr && protocol ? address::parseMac(macAddr) : std::nullopt;
    if (!mac)
        return 0;
    if (heldByVxdp(*mac))
        *protocol = VEXA_PROTOCOL_VXDP;
    else if (OnvifDiscovery::listedByMac(address::formatMac(*mac)))
        *protocol = VEXA_PROTOCOL_ONVIF;
    else
        return 0;
    return 1;
}

VEXA_API int VEXA_UpdateIpV20(const char *macAddr, const char *ipv4Addr, const char *ipv4Mask,
                              const char *password, const char *port, const char *ipv4Gateway,
                              int32_t reserved1, int32_t reserved2, uint8_t reserved3, uint8_t reserved4)
{
    t_modifyCause = VEXA_CAUSE_BAD_ARGUMENT;
    if (reserved1 != 0 || reserved2 != 0 || reserved3 != 0 || reserved4 != 0)
        return 0;
    const auto addr = boundedText(ipv4Addr, 15);
    const auto mask = boundedText(ipv4Mask, 15);
    const auto gateway = ipv4Gateway ? boundedText(ipv4Gateway, 15) : std::string_view();
    const auto portValue = parsePort(port);
    std::optional<NetTexts> texts;
    if (addr && mask && gateway && portValue)
        texts = NetTexts{*addr, *mask, *gateway, {}, {}, *portValue, 0};
    return modifyDevice(macAddr, password, texts);
}

VEXA_API int VEXA_ResetDefaultPasswd(const char *serialNo, const char *securityCode)
{
    const auto serial = boundedText(serialNo, wire::kMaxSerial);
    const auto code = boundedText(securityCode, wire::kMaxSecurityCode);
    if (!serial || serial->empty() || !code)
        return 0;
    // ONVIF has no such operation: nothing is sent.
    if (OnvifDiscovery::listsSerial(std::string(*serial)))
        return 0;
    const PKT_Driver *driver = packet::driver();
    return driver && request::resetPassword(driver, std::string(*serial), std::string(*code)) ? 1 : 0;
}

VEXA_API int VEXA_DeviceCertified(const char *serialNo, const char *macAddr)
{
    const auto serial = boundedText(serialNo, wire::kMaxSerial);
    const auto text = boundedText(macAddr, 17);
    const auto mac = text ? address::parseMac(*text) : std::nullopt;
    if (!serial || serial->empty() || !mac)
        return 0;
    return keypins::certifiedIdentity(std::string(*serial), *mac) ? 1 : 0;
}

VEXA_API int VEXA_ScanRange(const char *ranges, int32_t rate, char *error, int32_t errorSize)
{
    std::string why;
    const auto result = [&](int rc) {
        if (error && errorSize > 0) {
            const size_t n = std::min(why.size(), size_t(errorSize) - 1);
            std::memcpy(error, why.data(), n);
            error[n] = '\0';
        }
        return rc;
    };
    if (!ranges) {
        why = "no address range given";
        return result(0);
    }
    const auto spans = addressrange::parse(ranges, why);
    if (!spans)
        return result(0);
    if (rate < 0 || rate > int32_t(RangeScan::kMaxRate)) {
        why = "the rate must lie in 1.." + std::to_string(RangeScan::kMaxRate) + " probes a second";
        return result(0);
    }
    std::lock_guard current(g_current);
    if (!g_discovery) {
        why = "discovery is not running";
        return result(0);
    }
    if (!g_discovery->onvif().startScan(*spans, rate == 0 ? RangeScan::kDefaultRate : unsigned(rate))) {
        why = "a scan is running already";
        return result(0);
    }
    return result(1);
}

VEXA_API int VEXA_ScanProgress(uint32_t *probed, uint32_t *total, int32_t *running)
{
    if (!probed || !total || !running)
        return 0;
    std::lock_guard current(g_current);
    const auto p = g_discovery ? g_discovery->onvif().scanProgress() : OnvifDiscovery::ScanProgress{};
    *probed = uint32_t(p.probed);
    *total = uint32_t(p.total);
    *running = p.running ? 1 : 0;
    return 1;
}

VEXA_API int VEXA_CancelScan(void)
{
    std::lock_guard current(g_current);
    if (g_discovery)
        g_discovery->onvif().cancelScan();
    return 1;
}

VEXA_API int VEXA_RunJobs(const char *const *macAddrs, int32_t count, const char *password, const VEXA_JOB *job,
                          VEXA_JOB_STATUS *statuses, VEXA_JOB_CALLBACK callback, void *userData)
{
    if (!macAddrs || count <= 0 || !job || !statuses)
        return 0;
    const auto pass = boundedText(password ? password : "", wire::kMaxPassword);
    std::string secret(pass.value_or(std::string_view()));
    auto body = pass ? jobs::body(*job, secret) : std::nullopt;
    std::vector<wire::Mac> macs;
    for (int32_t i = 0; body && i < count; ++i) {
        const auto mac = macAddrs[i] ? address::parseMac(macAddrs[i]) : std::nullopt;
        if (!mac) {
            body.reset();
            break;
        }
        macs.push_back(*mac);
    }
    crypto::wipe(secret);
    const auto forget = [&body] {
        if (body)
            crypto::wipe(*body);
    };
    const PKT_Driver *driver = body ? packet::driver() : nullptr;
    if (!driver) {
        std::fill(statuses, statuses + count, jobs::failed(body ? VEXA_CAUSE_UNSPECIFIED : VEXA_CAUSE_BAD_ARGUMENT));
        forget();
        return 0;
    }
    const auto one = [&](size_t i) {
        // An ONVIF record naming a MAC an online VXDP device reports gets nothing (see heldByVxdp).
        const auto onvif = OnvifDiscovery::listedByMac(address::formatMac(macs[i]));
        if (!onvif || heldByVxdp(macs[i]))
            return jobs::runVxdp(driver, macs[i], *body, job->waitS);
        const VEXA_JOB_STATUS status = jobs::runOnvif(onvif->xaddr, *body, job->waitS);
        // The page's reads of the device go on with the password it has now.
        std::lock_guard current(g_current);
        if (g_discovery && status.done && body->kind != VEXA_JOB_READ_TIME)
            g_discovery->onvif().actedOn(*onvif, {onvif::userName(), body->newPassword.value_or(body->password)});
        return status;
    };
    bool all = true;
    jobs::runBatch(size_t(count), VEXA_JOB_PARALLEL, one,
                   [&](size_t i, const VEXA_JOB_STATUS &status) {
                       all = all && status.done == 1;
                       return !callback || callback(int32_t(i), &status, userData) != 0;
                   },
                   statuses);
    forget();
    return all ? 1 : 0;
}

} // extern "C"
