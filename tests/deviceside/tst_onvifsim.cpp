// The simulated ONVIF device's answers to device management, in-process: what
// it accepts, what it refuses and why, and what it would persist.

#include <deviceside/onvifservice.h>

#include <vexa/onvifclient.h>

#include <gtest/gtest.h>

namespace {

using namespace deviceside;
using vexa::soap::Envelope;
using vexa::soap::Fields;

DeviceInfo camera()
{
    DeviceInfo d;
    d.serialNo = "CAM-1";
    d.macAddr = "02:00:00:00:00:01";
    d.ipv4Addr = "127.60.0.1";
    d.ipv4Mask = "255.255.0.0";
    d.ipv4Gateway = "127.60.0.254";
    d.typeName = "Cam";
    d.port = d.httpPort = 8080;
    return d;
}

Envelope setInterfaces(const std::string &token, const std::string &addr, const std::string &prefix,
                       const std::string &dhcp = "false")
{
    return {"SetNetworkInterfaces",
            {{"InterfaceToken", token},
             {"NetworkInterface/IPv4/Manual/Address", addr},
             {"NetworkInterface/IPv4/Manual/PrefixLength", prefix},
             {"NetworkInterface/IPv4/DHCP", dhcp}},
            std::nullopt};
}

Envelope media(const std::string &operation)
{
    Envelope e(operation);
    e.ns = "http://www.onvif.org/ver10/media/wsdl";
    return e;
}

TEST(OnvifDevice, commissioningCallsAreCheckedAndTakenAfterTheAnswer)
{
    using Clock = std::chrono::system_clock;
    const Fields clock2026 = {{"DateTimeType", "Manual"}, {"DaylightSavings", "false"},
                              {"UTCDateTime/Time/Hour", "13"}, {"UTCDateTime/Time/Minute", "5"},
                              {"UTCDateTime/Time/Second", "9"}, {"UTCDateTime/Date/Year", "2026"},
                              {"UTCDateTime/Date/Month", "12"}, {"UTCDateTime/Date/Day", "9"}};
    Fields clock1999 = clock2026;
    clock1999[5].second = "1999";
    Fields clockFeb30 = clock2026;
    clockFeb30[6].second = "2";
    clockFeb30[7].second = "3x";
    const auto user = [](const char *name, const char *password, const char *level) {
        return Fields{{"User/Username", name}, {"User/Password", password}, {"User/UserLevel", level}};
    };
    const struct {
        const char *what;
        Envelope request;
        bool authorized;
        int status;
        const char *says;
        std::optional<OnvifJob> job;
    } rows[] = {
        {"clock by hand", {"SetSystemDateAndTime", clock2026}, true, 200, "SetSystemDateAndTimeResponse",
         OnvifJob{.clock = Clock::from_time_t(1796821509)}},
        {"clock not authorized", {"SetSystemDateAndTime", clock2026}, false, 400, "ter:NotAuthorized", {}},
        {"clock before 2000", {"SetSystemDateAndTime", clock1999}, true, 400, "InvalidDateTime", {}},
        {"clock not a number", {"SetSystemDateAndTime", clockFeb30}, true, 400, "InvalidDateTime", {}},
        {"clock by NTP", {"SetSystemDateAndTime", {{"DateTimeType", "NTP"}, {"DaylightSavings", "false"}}}, true,
         200, "SetSystemDateAndTimeResponse", OnvifJob{.ntp = true}},
        {"NTP servers", {"SetNTP", {{"FromDHCP", "false"}, {"NTPManual/Type", "DNS"},
                                    {"NTPManual/DNSname", "ntp.example"}}}, true, 200, "SetNTPResponse", {}},
        {"NTP from DHCP", {"SetNTP", {{"FromDHCP", "true"}}}, true, 400, "InvalidDnsName", {}},
        {"NTP server with a space", {"SetNTP", {{"FromDHCP", "false"}, {"NTPManual/Type", "DNS"},
                                                {"NTPManual/DNSname", "ntp example"}}}, true, 400, "InvalidDnsName",
         {}},
        {"users", {"GetUsers"}, true, 200, "Administrator", {}},
        {"new password", {"SetUser", user("admin", "Longer-pw-1", "Administrator")}, true, 200, "SetUserResponse",
         OnvifJob{.password = "Longer-pw-1"}},
        {"new password not authorized", {"SetUser", user("admin", "Longer-pw-1", "Administrator")}, false, 400,
         "ter:NotAuthorized", {}},
        {"another user", {"SetUser", user("guest", "Longer-pw-1", "Administrator")}, true, 400, "UsernameMissing",
         {}},
        {"too short", {"SetUser", user("admin", "Short-1", "Administrator")}, true, 400, "PasswordTooWeak", {}},
        {"the current one", {"SetUser", user("admin", "demo1234", "Administrator")}, true, 400, "PasswordTooWeak",
         {}},
        {"administrator demoted", {"SetUser", user("admin", "Longer-pw-1", "User")}, true, 400, "FixedUser", {}},
        {"restart", {"SystemReboot"}, true, 200, "Rebooting", OnvifJob{.reboot = true}},
    };
    for (const auto &row : rows) {
        const OnvifAnswer a = answerOnvif(camera(), row.request, row.authorized, true, {}, Clock::now(), "demo1234");
        EXPECT_EQ(a.httpStatus, row.status) << row.what;
        EXPECT_NE(a.body.find(row.says), std::string::npos) << row.what << "\n" << a.body;
        EXPECT_FALSE(a.apply) << row.what;
        ASSERT_EQ(a.job.has_value(), row.job.has_value()) << row.what;
        if (a.job) {
            EXPECT_EQ(a.job->clock, row.job->clock) << row.what;
            EXPECT_EQ(a.job->ntp, row.job->ntp) << row.what;
            EXPECT_EQ(a.job->password, row.job->password) << row.what;
            EXPECT_EQ(a.job->reboot, row.job->reboot) << row.what;
        }
    }
}

TEST(OnvifDevice, setCallsAreCheckedBeforeAnythingIsKept)
{
    const struct {
        const char *what;
        Envelope request;
        bool authorized, readOnly;
        int status;
        const char *says; // in the answer's body
    } rows[] = {
        {"new address", setInterfaces("eth0", "127.61.0.7", "16"), true, false, 200, "RebootNeeded"},
        {"not authorized", setInterfaces("eth0", "127.61.0.7", "16"), false, false, 400, "ter:NotAuthorized"},
        {"other interface", setInterfaces("eth1", "127.61.0.7", "16"), true, false, 400, "InvalidNetworkInterface"},
        {"DHCP asked for", setInterfaces("eth0", "127.61.0.7", "16", "true"), true, false, 400, "InvalidIPv4Address"},
        {"off loopback", setInterfaces("eth0", "10.0.0.7", "16"), true, false, 400, "InvalidIPv4Address"},
        {"the host's own address", setInterfaces("eth0", "127.0.0.1", "16"), true, false, 400, "InvalidIPv4Address"},
        {"prefix too long", setInterfaces("eth0", "127.61.0.7", "31"), true, false, 400, "InvalidIPv4Address"},
        {"prefix not a number", setInterfaces("eth0", "127.61.0.7", "1x"), true, false, 400, "InvalidIPv4Address"},
        {"settings of the VXDP side", setInterfaces("eth0", "127.61.0.7", "16"), true, true, 400, "OperationProhibited"},
        {"bad gateway", {"SetNetworkDefaultGateway", {{"IPv4Address", "127.1"}}, std::nullopt}, true, false, 400,
         "InvalidGatewayAddress"},
        {"port 0", {"SetNetworkProtocols", {{"NetworkProtocols/Name", "HTTP"}, {"NetworkProtocols/Port", "0"}},
                    std::nullopt}, true, false, 400, "InvalidArgVal"},
        // A receiver's fault goes with HTTP 500, a sender's with 400.
        {"unknown call", {"GetProfiles", {}, std::nullopt}, true, false, 500, "ter:ActionNotSupported"},
        {"call of another service", media("GetDeviceInformation"), true, false, 500, "ter:ActionNotSupported"},
        {"call this device refuses", {"SystemReboot", {}, std::nullopt}, true, false, 500,
         "ter:ActionNotSupported"},
        {"clock for anyone", {"GetSystemDateAndTime", {}, std::nullopt}, false, false, 200, "UTCDateTime"},
        {"services for anyone", {"GetServices", {{"IncludeCapability", "true"}}, std::nullopt}, false, false, 200,
         "DiscoveryBye"},
        {"capabilities for anyone", {"GetCapabilities", {{"Category", "All"}}, std::nullopt}, false, false, 200,
         "http://127.60.0.1:8080/onvif/device_service"},
        {"capabilities of a service it lacks", {"GetCapabilities", {{"Category", "PTZ"}}, std::nullopt}, false, false,
         400, "NoSuchService"},
        {"service capabilities for anyone", {"GetServiceCapabilities", {}, std::nullopt}, false, false, 200,
         "UsernameToken"},
    };
    for (const auto &row : rows) {
        const OnvifAnswer a = answerOnvif(camera(), row.request, row.authorized, row.readOnly,
                                          {"SystemReboot"}, std::chrono::system_clock::now());
        EXPECT_EQ(a.httpStatus, row.status) << row.what;
        EXPECT_NE(a.body.find(row.says), std::string::npos) << row.what << "\n" << a.body;
        EXPECT_EQ(a.apply.has_value(), row.status == 200 && row.request.operation.rfind("Set", 0) == 0)
            << row.what;
    }
    // A device on a link of its own (a test's network namespace) moves on that link, never onto loopback.
    DeviceInfo onLink = camera();
    onLink.ipv4Addr = "10.0.0.64";
    for (const auto &[addr, status] : {std::pair{"10.0.0.100", 200}, {"127.61.0.7", 400}, {"224.0.0.1", 400}}) {
        EXPECT_EQ(answerOnvif(onLink, setInterfaces("eth0", addr, "24"), true, false, {}, std::chrono::system_clock::now())
                      .httpStatus,
                  status)
            << addr;
    }
}

TEST(OnvifDevice, acceptedChangesAreWhatIsKept)
{
    const auto now = std::chrono::system_clock::now();
    auto a = answerOnvif(camera(), setInterfaces("eth0", "127.61.0.7", "24"), true, false, {}, now);
    ASSERT_TRUE(a.apply);
    EXPECT_EQ(a.apply->ipv4Addr, "127.61.0.7");
    EXPECT_EQ(a.apply->ipv4Mask, "255.255.255.0");
    EXPECT_EQ(a.apply->ipv4Gateway, "127.60.0.254") << "untouched";

    // Only the HTTP entry moves the port, whatever comes before it.
    a = answerOnvif(camera(),
                    {"SetNetworkProtocols",
                     {{"NetworkProtocols/Name", "RTSP"}, {"NetworkProtocols/Port", "554"},
                      {"NetworkProtocols/Name", "HTTP"}, {"NetworkProtocols/Port", "8042"}},
                     std::nullopt},
                    true, false, {}, now);
    ASSERT_TRUE(a.apply);
    EXPECT_EQ(a.apply->port, 8042);

    // What the device says about itself reads back through the client's own parser.
    a = answerOnvif(camera(), {"GetNetworkInterfaces", {}, std::nullopt}, true, false, {}, now);
    const auto parsed = vexa::soap::parse(a.body);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->field("NetworkInterfaces/@token"), "eth0");
    EXPECT_EQ(parsed->field("NetworkInterfaces/IPv4/Config/Manual/PrefixLength"), "16");
}

// What schema-strict clients read: elements in the schema's order, in their
// own namespaces, faults with their codes nested and their HTTP status.
TEST(OnvifDevice, answersFollowTheSchema)
{
    const auto now = std::chrono::system_clock::now();
    const std::string clock = answerOnvif(camera(), {"GetSystemDateAndTime"}, false, false, {}, now).body;
    EXPECT_LT(clock.find("<tt:Time>"), clock.find("<tt:Date>")) << clock;
    EXPECT_LT(clock.find("<tt:UTCDateTime>"), clock.find("<tt:LocalDateTime>")) << clock;
    const auto read = vexa::soap::parse(clock);
    ASSERT_TRUE(read);
    const auto deviceNow = vexa::onvif::readDeviceClock(*read);
    ASSERT_TRUE(deviceNow);
    EXPECT_LT(std::chrono::abs(*deviceNow - now), std::chrono::seconds(2));

    const std::string services = answerOnvif(camera(), {"GetServices"}, false, false, {}, now).body;
    EXPECT_NE(services.find("<tds:XAddr>http://127.60.0.1:8080/onvif/device_service</tds:XAddr>"), std::string::npos)
        << services;
    EXPECT_EQ(services.find("Capabilities"), std::string::npos) << "only when asked for";
    const auto parsed = vexa::soap::parse(services);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(vexa::onvif::readDeviceService(*parsed), "http://127.60.0.1:8080/onvif/device_service");

    const OnvifAnswer fault = onvifFault("Sender", "ter:InvalidArgVal/ter:InvalidIPv4Address", "No");
    EXPECT_EQ(fault.httpStatus, 400);
    const auto f = vexa::soap::parse(fault.body);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->faultCodes.size(), 3u) << fault.body;
    EXPECT_EQ(f->faultCodes[0].local, "Sender");
    EXPECT_EQ(f->faultCodes[2], (vexa::xmldoc::QName{"http://www.onvif.org/ver10/error", "InvalidIPv4Address"}));
    EXPECT_TRUE(f->faultNames("InvalidArgVal"));
    EXPECT_NE(fault.body.find("xml:lang=\"en\""), std::string::npos);
    EXPECT_EQ(onvifFault("Receiver", "ter:ActionNotSupported", "No").httpStatus, 500);
}

} // namespace
