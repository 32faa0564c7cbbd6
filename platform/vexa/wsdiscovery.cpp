#include "wsdiscovery.h"

#include "address.h"
#include "crypto.h"
#include "xmldoc.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace vexa::wsd {

namespace {

constexpr std::string_view kSoapNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kSoap11Ns = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char *kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr const char *kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
constexpr std::string_view kActionBase = "http://schemas.xmlsoap.org/ws/2005/04/discovery/";

// Thrown inside this file only, when a message breaks a bound.
struct Unparsable {};

pugi::xml_node addressing(const pugi::xml_node &parent, std::string_view name)
{
    return xmldoc::child(parent, kAddressingNs, name);
}

pugi::xml_node discovery(const pugi::xml_node &parent, std::string_view name)
{
    return xmldoc::child(parent, kDiscoveryNs, name);
}

std::string text(const pugi::xml_node &node, bool required = false)
{
    std::string_view value = node.child_value();
    const size_t first = value.find_first_not_of(" \t\r\n");
    value = first == std::string_view::npos ? std::string_view() : value.substr(first);
    value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
    if (value.size() > kMaxText || (required && value.empty()))
        throw Unparsable{};
    return std::string(value);
}

std::vector<std::string> list(const pugi::xml_node &node)
{
    std::vector<std::string> items;
    std::istringstream words(std::string(node.child_value()));
    for (std::string item; words >> item;) {
        if (items.size() == kMaxListItems || item.size() > kMaxText)
            throw Unparsable{};
        items.push_back(std::move(item));
    }
    return items;
}

// QNames mean what their prefixes stand for where they are written.
std::vector<Type> types(const pugi::xml_node &node)
{
    std::vector<Type> out;
    for (const std::string &item : list(node)) {
        Type t = xmldoc::resolve(node, item);
        // "a:b:c" and ":b" are no QNames; a namespace past the field bound is refused like any field.
        if (t.local.empty() || t.local.find(':') != std::string::npos || t.ns.size() > kMaxText)
            throw Unparsable{};
        out.push_back(std::move(t));
    }
    return out;
}

uint32_t number(const std::string &digits)
{
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
        throw Unparsable{};
    const uint64_t v = std::stoull(digits);
    if (v > UINT32_MAX)
        throw Unparsable{};
    return uint32_t(v);
}

Target target(const pugi::xml_node &node)
{
    Target t;
    t.endpoint = text(addressing(addressing(node, "EndpointReference"), "Address"), true);
    t.types = types(discovery(node, "Types"));
    t.scopes = list(discovery(node, "Scopes"));
    t.xaddrs = list(discovery(node, "XAddrs"));
    const std::string version = text(discovery(node, "MetadataVersion"));
    if (!version.empty())
        t.metadataVersion = number(version);
    return t;
}

std::optional<AppSequence> sequence(const pugi::xml_node &header)
{
    const pugi::xml_node node = discovery(header, "AppSequence");
    if (!node)
        return std::nullopt;
    // Ordering is a hint: a malformed one is as good as none.
    try {
        return AppSequence{number(node.attribute("InstanceId").value()),
                           number(node.attribute("MessageNumber").value())};
    } catch (const Unparsable &) {
        return std::nullopt;
    }
}

Message parseEnvelope(const pugi::xml_node &envelope)
{
    const xmldoc::QName name = xmldoc::nameOf(envelope);
    if (name.local != "Envelope" || (name.ns != kSoapNs && name.ns != kSoap11Ns))
        throw Unparsable{};
    const pugi::xml_node header = xmldoc::child(envelope, name.ns, "Header");
    const pugi::xml_node body = xmldoc::child(envelope, name.ns, "Body");
    const std::string action = text(addressing(header, "Action"), true);
    const std::string messageId = text(addressing(header, "MessageID"));
    if (action.compare(0, kActionBase.size(), kActionBase) != 0)
        throw Unparsable{};
    const std::string_view verb = std::string_view(action).substr(kActionBase.size());
    if (verb == "Probe") {
        const pugi::xml_node probe = discovery(body, "Probe");
        if (!probe || messageId.empty())
            throw Unparsable{};
        return Probe{messageId, types(discovery(probe, "Types"))};
    }
    if (verb == "ProbeMatches") {
        ProbeMatches m{messageId, text(addressing(header, "RelatesTo"), true), {}, sequence(header)};
        const pugi::xml_node matches = discovery(body, "ProbeMatches");
        for (pugi::xml_node c = matches.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || xmldoc::nameOf(c) != xmldoc::QName{std::string(kDiscoveryNs), "ProbeMatch"})
                continue;
            if (m.matches.size() == kMaxMatches)
                throw Unparsable{};
            m.matches.push_back(target(c));
        }
        return m;
    }
    if (verb == "Hello") {
        const pugi::xml_node hello = discovery(body, "Hello");
        if (!hello)
            throw Unparsable{};
        return Hello{messageId, target(hello), sequence(header)};
    }
    if (verb == "Bye") {
        const pugi::xml_node bye = discovery(body, "Bye");
        if (!bye)
            throw Unparsable{};
        return Bye{messageId, text(addressing(addressing(bye, "EndpointReference"), "Address"), true), sequence(header)};
    }
    throw Unparsable{};
}

std::string joined(const std::vector<std::string> &items)
{
    std::string s;
    for (const std::string &item : items) {
        if (item.empty() || item.size() > kMaxText || item.find_first_of(" \t\r\n") != std::string::npos)
            throw Unparsable{};
        s += (s.empty() ? "" : " ") + item;
    }
    if (items.size() > kMaxListItems)
        throw Unparsable{};
    return s;
}

void setText(pugi::xml_node node, std::string_view value)
{
    if (value.size() > kMaxText)
        throw Unparsable{};
    node.text().set(std::string(value).c_str());
}

// Writes QNames with the usual prefixes, declaring any other namespace on `node` itself.
void setTypes(pugi::xml_node node, const std::vector<Type> &types)
{
    std::vector<std::string> names;
    std::vector<std::string_view> declared;
    for (const Type &t : types) {
        if (t.local.empty() || t.local.find(':') != std::string::npos || t.ns.size() > kMaxText)
            throw Unparsable{};
        std::string prefix;
        if (t.ns == kDeviceNs)
            prefix = "tds";
        else if (t.ns == kNetworkNs)
            prefix = "dn";
        else if (!t.ns.empty()) {
            auto at = std::find(declared.begin(), declared.end(), t.ns);
            if (at == declared.end()) {
                declared.push_back(t.ns);
                at = declared.end() - 1;
            }
            prefix = "t" + std::to_string(at - declared.begin());
            if (!node.attribute(("xmlns:" + prefix).c_str()))
                node.append_attribute(("xmlns:" + prefix).c_str()) = t.ns.c_str();
        }
        names.push_back(prefix.empty() ? t.local : prefix + ":" + t.local);
    }
    node.text().set(joined(names).c_str());
}

// The SOAP envelope with its addressing header; returns the body.
pugi::xml_node envelope(pugi::xml_document &doc, std::string_view verb, std::string_view messageId,
                        std::string_view relatesTo, const std::optional<AppSequence> &sequence)
{
    pugi::xml_node env = doc.append_child("s:Envelope");
    env.append_attribute("xmlns:s") = std::string(kSoapNs).c_str();
    env.append_attribute("xmlns:a") = std::string(kAddressingNs).c_str();
    env.append_attribute("xmlns:d") = std::string(kDiscoveryNs).c_str();
    env.append_attribute("xmlns:dn") = std::string(kNetworkNs).c_str();
    env.append_attribute("xmlns:tds") = std::string(kDeviceNs).c_str();
    pugi::xml_node header = env.append_child("s:Header");
    setText(header.append_child("a:MessageID"), messageId);
    if (!relatesTo.empty())
        setText(header.append_child("a:RelatesTo"), relatesTo);
    setText(header.append_child("a:To"), relatesTo.empty() ? kDiscoveryTo : kAnonymous);
    setText(header.append_child("a:Action"), std::string(kActionBase) + std::string(verb));
    if (sequence) {
        pugi::xml_node s = header.append_child("d:AppSequence");
        s.append_attribute("InstanceId") = sequence->instanceId;
        s.append_attribute("MessageNumber") = sequence->messageNumber;
    }
    return env.append_child("s:Body");
}

void appendTarget(pugi::xml_node node, const Target &t)
{
    setText(node.append_child("a:EndpointReference").append_child("a:Address"), t.endpoint);
    setTypes(node.append_child("d:Types"), t.types);
    node.append_child("d:Scopes").text().set(joined(t.scopes).c_str());
    node.append_child("d:XAddrs").text().set(joined(t.xaddrs).c_str());
    node.append_child("d:MetadataVersion").text().set(t.metadataVersion);
}

} // namespace

std::optional<Message> parse(std::string_view xml)
{
    pugi::xml_document doc;
    if (!xmldoc::load(doc, xml, kMaxMessage))
        return std::nullopt;
    try {
        return parseEnvelope(doc.document_element());
    } catch (const Unparsable &) {
        return std::nullopt;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::string encode(const Message &message)
{
    pugi::xml_document doc;
    try {
        std::visit(
            [&](const auto &m) {
                using T = std::decay_t<decltype(m)>;
                if constexpr (std::is_same_v<T, Probe>) {
                    pugi::xml_node probe =
                        envelope(doc, "Probe", m.messageId, {}, std::nullopt).append_child("d:Probe");
                    setTypes(probe.append_child("d:Types"), m.types);
                } else if constexpr (std::is_same_v<T, ProbeMatches>) {
                    if (m.relatesTo.empty() || m.matches.size() > kMaxMatches)
                        throw Unparsable{};
                    pugi::xml_node matches = envelope(doc, "ProbeMatches", m.messageId, m.relatesTo, m.sequence)
                                                 .append_child("d:ProbeMatches");
                    for (const Target &t : m.matches)
                        appendTarget(matches.append_child("d:ProbeMatch"), t);
                } else if constexpr (std::is_same_v<T, Hello>) {
                    appendTarget(envelope(doc, "Hello", m.messageId, {}, m.sequence).append_child("d:Hello"),
                                 m.target);
                } else {
                    pugi::xml_node bye = envelope(doc, "Bye", m.messageId, {}, m.sequence).append_child("d:Bye");
                    setText(bye.append_child("a:EndpointReference").append_child("a:Address"), m.endpoint);
                }
            },
            message);
    } catch (const Unparsable &) {
        return {};
    }
    return xmldoc::save(doc, kMaxMessage);
}

std::string newUuidUrn()
{
    auto b = crypto::randomArray<16>();
    b[6] = uint8_t((b[6] & 0x0f) | 0x40); // version 4
    b[8] = uint8_t((b[8] & 0x3f) | 0x80); // RFC 4122 variant
    char s[46];
    std::snprintf(s, sizeof s,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
                  b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return s;
}

bool typesMatch(const std::vector<Type> &types, const std::vector<Type> &deviceTypes)
{
    return std::all_of(types.begin(), types.end(), [&](const Type &wanted) {
        return std::find(deviceTypes.begin(), deviceTypes.end(), wanted) != deviceTypes.end();
    });
}

bool isOnvifDevice(const std::vector<Type> &deviceTypes)
{
    return std::any_of(deviceTypes.begin(), deviceTypes.end(), [](const Type &t) {
        for (const Type &known : {kTypeDevice, kTypeTransmitter}) {
            if (t.local == known.local && (t.ns == known.ns || t.ns.empty()))
                return true;
        }
        return false;
    });
}

std::optional<std::string> scopeValue(const std::vector<std::string> &scopes, std::string_view category)
{
    const std::string prefix = "onvif://www.onvif.org/" + std::string(category) + "/";
    for (const std::string &scope : scopes) {
        if (scope.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string value;
        for (size_t i = prefix.size(); i < scope.size(); ++i) {
            if (scope[i] == '%' && i + 2 < scope.size() && address::hexDigit(scope[i + 1]) >= 0
                && address::hexDigit(scope[i + 2]) >= 0) {
                value += char(address::hexDigit(scope[i + 1]) * 16 + address::hexDigit(scope[i + 2]));
                i += 2;
            } else {
                value += scope[i];
            }
        }
        return value;
    }
    return std::nullopt;
}

std::string HttpAddress::authority() const
{
    if (!ipv6)
        return host + ':' + std::to_string(port);
    const size_t zone = host.find('%');
    const std::string bare = host.substr(0, zone);
    return '[' + (zone == std::string::npos ? bare : bare + "%25" + host.substr(zone + 1)) + "]:" + std::to_string(port);
}

std::optional<HttpAddress> httpAddress(std::string_view xaddr)
{
    constexpr std::string_view scheme = "http://";
    if (xaddr.substr(0, scheme.size()) != scheme)
        return std::nullopt;
    std::string_view rest = xaddr.substr(scheme.size());
    rest = rest.substr(0, rest.find('/'));
    HttpAddress a;
    size_t colon = rest.find(':');
    if (!rest.empty() && rest.front() == '[') {
        // An IPv6 literal: a valid address, its zone (RFC 6874's "%25") an interface name at most.
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || (close + 1 < rest.size() && rest[close + 1] != ':'))
            return std::nullopt;
        std::string_view literal = rest.substr(1, close - 1);
        const size_t zone = literal.find("%25");
        const std::string_view bare = literal.substr(0, zone);
        if (!address::parseIpv6(bare))
            return std::nullopt;
        a.host = std::string(bare);
        if (zone != std::string_view::npos) {
            const std::string_view name = literal.substr(zone + 3);
            if (name.empty() || name.size() >= 16 || name.find_first_of("%/[]") != std::string_view::npos)
                return std::nullopt;
            a.host += '%' + std::string(name);
        }
        a.ipv6 = true;
        rest = rest.substr(close + 1);
        colon = rest.empty() ? std::string_view::npos : 0;
    } else {
        a.host = std::string(rest.substr(0, colon));
    }
    if (a.host.empty() || a.host.size() > 64)
        return std::nullopt;
    if (colon != std::string_view::npos) {
        const std::string_view port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
        const unsigned p = unsigned(std::stoul(std::string(port)));
        if (p == 0 || p > 65535)
            return std::nullopt;
        a.port = uint16_t(p);
    }
    return a;
}

} // namespace vexa::wsd
