// The WS-Discovery and SOAP codecs and the record an ONVIF device gets: what
// a device or a hostile sender puts on the link is parsed within bounds or
// dropped, and a password only ever proves itself.

#include "onvifdiscovery.h"
#include "soap.h"
#include "wsdiscovery.h"

#include <gtest/gtest.h>

namespace {

using namespace vexa;

wsd::Target camera()
{
    wsd::Target t;
    t.endpoint = "urn:uuid:6f1c1e4e-0000-4000-8000-0242ac110002";
    t.types = {"dn:NetworkVideoTransmitter", "tds:Device"};
    t.scopes = {"onvif://www.onvif.org/type/video_encoder", "onvif://www.onvif.org/hardware/IPC%202120%2FW",
                "onvif://www.onvif.org/name/Gate"};
    t.xaddrs = {"http://[fe80::1]/onvif/device_service", "http://10.1.2.3:8080/onvif/device_service"};
    t.metadataVersion = 7;
    return t;
}

TEST(WsDiscovery, everyMessageSurvivesItsOwnEncoding)
{
    wsd::Target manyTypes = camera(); // longer together than any one field may be
    manyTypes.types.assign(wsd::kMaxListItems, "dn:NetworkVideoTransmitter");
    const std::vector<wsd::Message> messages = {
        wsd::Hello{"urn:uuid:5", manyTypes},
        wsd::Probe{"urn:uuid:1", {"tds:Device", "dn:NetworkVideoTransmitter"}},
        wsd::ProbeMatches{"urn:uuid:2", "urn:uuid:1", {camera(), camera()}},
        wsd::Hello{"urn:uuid:3", camera()},
        wsd::Bye{"urn:uuid:4", "urn:uuid:6f1c1e4e-0000-4000-8000-0242ac110002"},
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
    const std::string valid = wsd::encode(wsd::Hello{"urn:uuid:3", camera()});
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
    ASSERT_TRUE(OnvifDiscovery::fillReport(camera(), 0x0100007f, r));
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
    EXPECT_FALSE(OnvifDiscovery::fillReport(t, 0, r)) << "no usable address";
    t = camera();
    t.types = {"dn:NetworkVideoDisplay"};
    EXPECT_FALSE(OnvifDiscovery::fillReport(t, 0, r)) << "not a device we list";
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

    const struct {
        const char *text;
        bool valid;
    } times[] = {{"2026-01-01T00:00:00Z", true},   {"2026-01-01T00:00:00.123Z", true},
                 {"2026-01-01T00:00:00", false},   {"2026-01-01T00:00:00.Z", false},
                 {"2026-13-01T00:00:00Z", false},  {"2026-01-01T00:00:00+01:00", false}};
    for (const auto &t : times)
        EXPECT_EQ(soap::parseUtc(t.text) == deviceNow, t.valid) << t.text;
}

} // namespace
