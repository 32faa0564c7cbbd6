// The WS-Discovery and SOAP codecs and the record an ONVIF device gets: what
// a device or a hostile sender puts on the link is parsed within bounds or
// dropped, and a password only ever proves itself.

#include <vexa/onvifdiscovery.h>
#include <vexa/soap.h>
#include <vexa/wsdiscovery.h>
#include <vexa/onvifclient.h>

#include <gtest/gtest.h>

namespace {

using namespace vexa;

wsd::Target camera()
{
    wsd::Target t;
    t.endpoint = "urn:uuid:6f1c1e4e-0000-4000-8000-0242ac110002";
    t.types = {wsd::kTypeTransmitter, wsd::kTypeDevice};
    t.scopes = {"onvif://www.onvif.org/type/video_encoder", "onvif://www.onvif.org/hardware/IPC%202120%2FW",
                "onvif://www.onvif.org/name/Gate"};
    t.xaddrs = {"http://[fe80::1]/onvif/device_service", "http://10.1.2.3:8080/onvif/device_service"};
    t.metadataVersion = 7;
    return t;
}

TEST(WsDiscovery, everyMessageSurvivesItsOwnEncoding)
{
    wsd::Target manyTypes = camera(); // longer together than any one field may be
    manyTypes.types.assign(wsd::kMaxListItems, wsd::kTypeTransmitter);
    wsd::Target otherTypes = camera(); // namespaces of their own, and a prefix nobody declared
    otherTypes.types = {{"urn:example:a", "Printer"}, {"urn:example:b", "Printer"}, {"", "Device"}};
    const std::vector<wsd::Message> messages = {
        wsd::Hello{"urn:uuid:5", manyTypes, std::nullopt},
        wsd::Probe{"urn:uuid:1", {wsd::kTypeDevice, wsd::kTypeTransmitter}},
        wsd::Probe{"urn:uuid:6", {}},
        wsd::ProbeMatches{"urn:uuid:2", "urn:uuid:1", {camera(), otherTypes}, wsd::AppSequence{7, 9}},
        wsd::Hello{"urn:uuid:3", camera(), wsd::AppSequence{UINT32_MAX, 1}},
        wsd::Bye{"urn:uuid:4", "urn:uuid:6f1c1e4e-0000-4000-8000-0242ac110002", wsd::AppSequence{7, 10}},
    };
    for (const wsd::Message &m : messages) {
        const std::string xml = wsd::encode(m);
        ASSERT_FALSE(xml.empty());
        EXPECT_EQ(wsd::parse(xml), m) << xml;
    }
}

// A real device's answer, other prefixes and whitespace included.
constexpr const char *kForeignMatch = R"(<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope"
 xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsdd="http://schemas.xmlsoap.org/ws/2005/04/discovery">
<SOAP-ENV:Header><wsa:MessageID>uuid:9</wsa:MessageID><wsa:RelatesTo> urn:uuid:1 </wsa:RelatesTo>
<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action></SOAP-ENV:Header>
<SOAP-ENV:Body><wsdd:ProbeMatches><wsdd:ProbeMatch>
<wsa:EndpointReference><wsa:Address>urn:uuid:abc</wsa:Address></wsa:EndpointReference>
<wsdd:Types>tdn:NetworkVideoTransmitter</wsdd:Types>
<wsdd:Scopes>onvif://www.onvif.org/name/Cam%201
 onvif://www.onvif.org/hardware/X</wsdd:Scopes>
<wsdd:XAddrs>http://192.168.0.9/onvif/device_service</wsdd:XAddrs><wsdd:MetadataVersion>1</wsdd:MetadataVersion>
</wsdd:ProbeMatch></wsdd:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>)";

TEST(WsDiscovery, hostileOrBrokenMessagesAreDropped)
{
    const std::string valid = wsd::encode(wsd::Hello{"urn:uuid:3", camera(), std::nullopt});
    const std::string longText(wsd::kMaxText + 1, 'x');
    std::string manyScopes;
    for (size_t i = 0; i <= wsd::kMaxListItems; ++i)
        manyScopes += " s" + std::to_string(i);
    const auto replaced = [&](const std::string &from, const std::string &to) {
        std::string s = valid;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const struct {
        const char *what;
        std::string xml;
    } cases[] = {
        {"empty", ""},
        {"not XML", "hello"},
        {"truncated", valid.substr(0, valid.size() / 2)},
        {"oversized", valid + std::string(wsd::kMaxMessage, ' ')},
        {"unknown action", replaced("/Hello<", "/Resolve<")},
        {"no endpoint", replaced(camera().endpoint, "")},
        {"endpoint too long", replaced(camera().endpoint, longText)},
        {"too many scopes", replaced("onvif://www.onvif.org/name/Gate", manyScopes)},
        {"version out of range", replaced(">7<", ">4294967296<")},
        {"a type that is no QName", replaced("dn:NetworkVideoTransmitter", "dn:Network:Transmitter")},
        {"a type's namespace too long",
         replaced("xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"", "xmlns:dn=\"urn:" + longText + "\"")},
        {"entity expansion",
         "<!DOCTYPE x [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" + replaced("Gate", "&b;")},
        {"external entity", "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>" + replaced("Gate", "&e;")},
    };
    for (const auto &c : cases) {
        const auto m = wsd::parse(c.xml);
        const auto *hello = m ? std::get_if<wsd::Hello>(&*m) : nullptr;
        // Entities are never expanded: at most the literal reference survives.
        EXPECT_TRUE(!hello || hello->target.scopes[2].find("aaaa") == std::string::npos) << c.what;
        EXPECT_TRUE(!hello || std::string(c.what).find("entity") != std::string::npos) << c.what;
    }

    const auto foreign = wsd::parse(kForeignMatch);
    ASSERT_TRUE(foreign);
    const auto &matches = std::get<wsd::ProbeMatches>(*foreign);
    EXPECT_EQ(matches.relatesTo, "urn:uuid:1");
    ASSERT_EQ(matches.matches.size(), 1u);
    EXPECT_EQ(matches.matches[0].scopes.size(), 2u);
}

TEST(WsDiscovery, theRecordComesFromTheFirstIpv4TransportAddress)
{
    VEXA_DEVICE_REPORT r;
    ASSERT_TRUE(OnvifDiscovery::fillReport(camera(), packet::Address::v4HostOrder(0x7F000001), r));
    EXPECT_STREQ(r.protocol, "ONVIF");
    EXPECT_STREQ(r.serialNo, "urn:uuid:6f1c1e4e-0000-4000-8000-0242ac110002");
    EXPECT_STREQ(r.ipv4Addr, "10.1.2.3");
    EXPECT_EQ(r.port, 8080);
    EXPECT_EQ(r.typeCode, OnvifDiscovery::kTypeCode);
    EXPECT_STREQ(r.typeName, "IPC 2120/W");
    EXPECT_STREQ(r.sourceAddr, "127.0.0.1");
    EXPECT_STREQ(r.macAddr, "");

    wsd::Target t = camera();
    t.xaddrs = {"https://10.1.2.3/onvif/device_service", "http://cam.local/onvif", "http://10.1.2.3:99999/"};
    EXPECT_FALSE(OnvifDiscovery::fillReport(t, {}, r)) << "no usable address";
    t = camera();
    t.types = {{std::string(wsd::kNetworkNs), "NetworkVideoDisplay"}};
    EXPECT_FALSE(OnvifDiscovery::fillReport(t, {}, r)) << "not a device we list";
    t.types = {{"urn:example:printers", "Device"}};
    EXPECT_FALSE(OnvifDiscovery::fillReport(t, {}, r)) << "another namespace's Device";
}

struct XAddrCase {
    const char *xaddr;
    bool valid;
    const char *host;
    uint16_t port;
    bool ipv6;
    const char *authority;
};

class XAddrs : public ::testing::TestWithParam<XAddrCase>
{
};

TEST_P(XAddrs, hostPortAndFamilyAreReadAndWrittenBack)
{
    const XAddrCase &c = GetParam();
    const auto a = wsd::httpAddress(c.xaddr);
    ASSERT_EQ(a.has_value(), c.valid) << c.xaddr;
    if (!a)
        return;
    EXPECT_EQ(a->host, c.host);
    EXPECT_EQ(a->port, c.port);
    EXPECT_EQ(a->ipv6, c.ipv6);
    EXPECT_EQ(a->authority(), c.authority);
}

INSTANTIATE_TEST_SUITE_P(
    WsDiscovery, XAddrs,
    ::testing::Values(XAddrCase{"http://10.1.2.3/onvif", true, "10.1.2.3", 80, false, "10.1.2.3:80"},
                      XAddrCase{"http://10.1.2.3:8080/x", true, "10.1.2.3", 8080, false, "10.1.2.3:8080"},
                      XAddrCase{"http://[fe80::1]/onvif", true, "fe80::1", 80, true, "[fe80::1]:80"},
                      XAddrCase{"http://[fe80::1%25eth0]:8080/onvif", true, "fe80::1%eth0", 8080, true,
                                "[fe80::1%25eth0]:8080"},
                      XAddrCase{"http://[2001:db8::5]", true, "2001:db8::5", 80, true, "[2001:db8::5]:80"},
                      XAddrCase{"http://[fe80::1", false, "", 0, false, ""},           // unclosed
                      XAddrCase{"http://[fe80::1]x/", false, "", 0, false, ""},         // junk after it
                      XAddrCase{"http://[fe80::zz]/", false, "", 0, false, ""},         // no address
                      XAddrCase{"http://[10.1.2.3]/", false, "", 0, false, ""},         // IPv4 in brackets
                      XAddrCase{"http://[fe80::1%25]/", false, "", 0, false, ""},       // empty zone
                      XAddrCase{"http://[fe80::1%25a/b]/", false, "", 0, false, ""},    // zone is no name
                      XAddrCase{"http://[fe80::1%25averyveryverylongname]/", false, "", 0, false, ""},
                      XAddrCase{"http://[fe80::1]:0/", false, "", 0, false, ""},
                      XAddrCase{"http://[fe80::1]:/", false, "", 0, false, ""}));

TEST(WsDiscovery, aDeviceWithoutIpv4IsListedByItsIpv6Address)
{
    wsd::Target t = camera();
    t.xaddrs = {"http://[fe80::1%25vx0]:8080/onvif/device_service", "http://cam.local/onvif"};
    VEXA_DEVICE_REPORT r;
    const std::array<uint8_t, 16> source{0xFE, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_TRUE(OnvifDiscovery::fillReport(t, packet::Address::v6(source, 7), r));
    EXPECT_STREQ(r.ipv4Addr, "");
    EXPECT_STREQ(r.ipv6Addr, "fe80::1%vx0");
    EXPECT_EQ(r.port, 8080);
    EXPECT_STREQ(r.sourceAddr, "") << "a zoned IPv6 source does not fit the IPv4 field";
    // Any IPv4 transport address still wins, wherever it is listed.
    t.xaddrs.push_back("http://10.1.2.3/onvif/device_service");
    ASSERT_TRUE(OnvifDiscovery::fillReport(t, packet::Address::v6(source, 7), r));
    EXPECT_STREQ(r.ipv4Addr, "10.1.2.3");
    EXPECT_STREQ(r.ipv6Addr, "");
}

TEST(Soap, aTokenProvesItsPasswordOnlyAsADigest)
{
    const auto deviceNow = std::chrono::system_clock::from_time_t(1767225600); // 2026-01-01
    const soap::Envelope request{"GetNetworkInterfaces", {}, soap::makeToken("admin", "s3cret", deviceNow)};
    const std::string xml = soap::encode(request);
    EXPECT_EQ(xml.find("s3cret"), std::string::npos) << "the password itself never travels";
    const auto parsed = soap::parse(xml);
    ASSERT_TRUE(parsed && parsed->token);
    EXPECT_EQ(*parsed, request);
    EXPECT_TRUE(soap::tokenProves(*parsed->token, "s3cret"));
    EXPECT_FALSE(soap::tokenProves(*parsed->token, "s3cret "));

    // The same token declared as a password in clear proves nothing.
    std::string text = xml;
    text.replace(text.find("#PasswordDigest"), 15, "#PasswordText");
    EXPECT_FALSE(soap::tokenProves(*soap::parse(text)->token, "s3cret"));

}

TEST(Soap, dateTimesAreReadWithTheirZone)
{
    const auto midnight = std::chrono::system_clock::from_time_t(1767225600); // 2026-01-01T00:00:00Z
    using std::chrono::hours;
    using std::chrono::minutes;
    const struct {
        const char *text;
        std::optional<std::chrono::system_clock::duration> fromMidnight; // nothing: refused
    } times[] = {
        {"2026-01-01T00:00:00Z", hours(0)},
        {"2026-01-01T00:00:00.123Z", hours(0)},
        {"2026-01-01T00:00:00.123456789012Z", hours(0)},
        {"2026-01-01T00:00:00", hours(0)}, // no zone: the device's UTC
        {"2026-01-01T00:00:00+00:00", hours(0)},
        {"2026-01-01T01:00:00+01:00", hours(0)},
        {"2025-12-31T19:30:00-04:30", hours(0)},
        {"2026-01-01T00:00:00.5+05:30", -hours(5) - minutes(30)},
        {"2026-01-01T00:00:00.Z", std::nullopt},
        {"2026-13-01T00:00:00Z", std::nullopt},
        {"2026-01-01T00:00:00+1:00", std::nullopt},
        {"2026-01-01T00:00:00+15:00", std::nullopt},
        {"2026-01-01T00:00:00+01:60", std::nullopt},
        {"2026-01-01T00:00:00Z ", std::nullopt},
        {"2026-01-01 00:00:00Z", std::nullopt},
        {"2026-1-01T00:00:00Z", std::nullopt},
        {"3000-01-01T00:00:00Z", std::nullopt}, // past what the clock can count
        {"2026-01-01T-1:00:00Z", std::nullopt},
        {"2026-01-01T00:-1:00Z", std::nullopt},
        {"2026-01-01T00:00:-1Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &t : times) {
        const auto parsed = soap::parseDateTime(t.text);
        ASSERT_EQ(parsed.has_value(), t.fromMidnight.has_value()) << t.text;
        if (parsed) {
            EXPECT_EQ(*parsed - midnight, *t.fromMidnight) << t.text;
        }
    }
}

// Real devices choose their own prefixes, and some no prefixes at all: what
// counts is the namespace each name stands for.
TEST(WsDiscovery, namesAreReadByNamespaceNotPrefix)
{
    const std::string match = R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"><e:Header>
<MessageID xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing">uuid:1</MessageID>
<x:RelatesTo xmlns:x="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:uuid:7</x:RelatesTo>
<x:Action xmlns:x="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</x:Action>
<q:AppSequence xmlns:q="http://schemas.xmlsoap.org/ws/2005/04/discovery" InstanceId="3" MessageNumber="44"/>
</e:Header><e:Body><ProbeMatches xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><ProbeMatch>
<EndpointReference xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing"><Address>urn:uuid:abc</Address></EndpointReference>
<Types xmlns:n="http://www.onvif.org/ver10/network/wsdl">n:NetworkVideoTransmitter</Types>
<XAddrs>http://10.0.0.9/onvif/device_service</XAddrs><MetadataVersion>2</MetadataVersion>
</ProbeMatch></ProbeMatches></e:Body></e:Envelope>)";
    const auto parsed = wsd::parse(match);
    ASSERT_TRUE(parsed);
    const auto &m = std::get<wsd::ProbeMatches>(*parsed);
    EXPECT_EQ(m.relatesTo, "urn:uuid:7");
    EXPECT_EQ(m.sequence, (wsd::AppSequence{3, 44}));
    ASSERT_EQ(m.matches.size(), 1u);
    EXPECT_EQ(m.matches[0].types, std::vector<wsd::Type>{wsd::kTypeTransmitter});
    EXPECT_TRUE(wsd::isOnvifDevice(m.matches[0].types));

    // The right local names in the wrong namespaces are other messages.
    const auto moved = [&](const std::string &from, const std::string &to) {
        std::string s = match;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string wrong[] = {
        moved("http://www.w3.org/2003/05/soap-envelope", "urn:example:envelope"),
        moved("<ProbeMatches xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">",
              "<ProbeMatches xmlns=\"http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01\">"),
        moved("<x:Action xmlns:x=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">",
              "<x:Action xmlns:x=\"urn:example:addressing\">"),
    };
    for (const std::string &xml : wrong) {
        const auto other = wsd::parse(xml);
        EXPECT_TRUE(!other || std::get<wsd::ProbeMatches>(*other).matches.empty()) << xml;
    }

    // A type-strict device answers a Probe only for a type it has, namespace and all.
    const std::vector<wsd::Type> deviceOnly = {wsd::kTypeDevice};
    EXPECT_TRUE(wsd::typesMatch({}, deviceOnly));
    EXPECT_TRUE(wsd::typesMatch({wsd::kTypeDevice}, deviceOnly));
    EXPECT_FALSE(wsd::typesMatch({wsd::kTypeDevice, wsd::kTypeTransmitter}, deviceOnly));
    EXPECT_FALSE(wsd::typesMatch({{"urn:example:a", "Device"}}, deviceOnly));
    EXPECT_FALSE(wsd::typesMatch({{"", "Device"}}, deviceOnly));
}

// What a device answered, read as the cause a user is told.
TEST(Soap, failuresAreToldApartByWhatTheDeviceSaid)
{
    const auto fault = [](const std::string &code, const std::string &subcode) {
        return soap::parse("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                           "xmlns:e=\"http://www.onvif.org/ver10/error\"><s:Body><s:Fault><s:Code><s:Value>s:"
                           + code + "</s:Value><s:Subcode><s:Value>" + subcode
                           + "</s:Value></s:Subcode></s:Code></s:Fault></s:Body></s:Envelope>");
    };
    const auto soap11 = soap::parse(
        "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:ter=\"http://www.onvif.org/ver10/error\">"
        "<S:Body><S:Fault><faultcode>ter:NotAuthorized</faultcode></S:Fault></S:Body></S:Envelope>");
    using onvif::Failure;
    const struct {
        const char *what;
        long status;
        std::optional<soap::Envelope> answer;
        Failure failure;
    } rows[] = {
        {"HTTP 401", 401, std::nullopt, Failure::NotAuthorized},
        {"NotAuthorized, another prefix", 400, fault("Sender", "e:NotAuthorized"), Failure::NotAuthorized},
        {"NotAuthorized, SOAP 1.1", 500, soap11, Failure::NotAuthorized},
        {"NotAuthorized of another namespace", 400, fault("Sender", "s:NotAuthorized"), Failure::Refused},
        {"ActionNotSupported", 500, fault("Receiver", "e:ActionNotSupported"), Failure::NotSupported},
        {"OperationProhibited", 400, fault("Sender", "e:OperationProhibited"), Failure::NotSupported},
        {"InvalidArgVal", 400, fault("Sender", "e:InvalidArgVal"), Failure::Refused},
        {"no answer", 0, std::nullopt, Failure::NoAnswer},
        {"an empty answer", 200, std::nullopt, Failure::NoAnswer},
        {"another operation's answer", 200, soap::Envelope("GetUsersResponse"), Failure::NoAnswer},
    };
    for (const auto &row : rows)
        EXPECT_EQ(onvif::failureOf(row.status, row.answer), row.failure) << row.what;
}

// The device mock-up a third-party client ships for its own tests answers
// GetServices and GetNetworkDefaultGateway with elements of its own choosing.
TEST(Soap, devicesDepartingFromTheSchemaAreStillRead)
{
    const auto services = soap::parse(R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope"
 xmlns:tds="http://www.onvif.org/ver10/device/wsdl" xmlns:tt="http://www.onvif.org/ver10/schema"><SOAP-ENV:Body>
<tds:GetServicesResponse><tds:Service><tds:Namespace>http://www.onvif.org/ver10/media/wsdl</tds:Namespace>
<tds:XAddr>http://192.168.68.111/onvif/media</tds:XAddr></tds:Service>
<tds:Service><tds:Namespace>http://www.onvif.org/ver10/device/wsdl</tds:Namespace>
<tds:XAddr>http://192.168.68.111/onvif/services</tds:XAddr><tds:Version><tt:Major>2</tt:Major></tds:Version>
</tds:Service></tds:GetServicesResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>)");
    ASSERT_TRUE(services);
    EXPECT_EQ(onvif::readDeviceService(*services), "http://192.168.68.111/onvif/services");
    const auto gateway = soap::parse(R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"
 xmlns:tds="http://www.onvif.org/ver10/device/wsdl"><env:Body><tds:GetNetworkDefaultGatewayResponse>
<tds:NetworkGateway><tds:IPv4Address>192.168.0.1</tds:IPv4Address><tds:IPv6Address/></tds:NetworkGateway>
</tds:GetNetworkDefaultGatewayResponse></env:Body></env:Envelope>)");
    ASSERT_TRUE(gateway);
    onvif::Details d;
    onvif::readGateway(*gateway, d);
    EXPECT_EQ(d.ipv4Gateway, "192.168.0.1");
    // Our own requests name the operation the way the common clients do.
    const std::string request = soap::encode(soap::Envelope("GetDeviceInformation"));
    EXPECT_NE(request.find("<GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/wsdl\""), std::string::npos)
        << request;
}

} // namespace
