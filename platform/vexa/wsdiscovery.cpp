#include "wsdiscovery.h"

#include "address.h"
#include "crypto.h"
#include "xmldoc.h"

#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <sstream>

namespace vexa::wsd {

namespace {

constexpr const char *kSoapNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr const char *kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr const char *kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr const char *kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr const char *kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
constexpr std::string_view kActionBase = "http://schemas.xmlsoap.org/ws/2005/04/discovery/";

// Thrown inside this file only, when a message breaks a bound.
struct Unparsable {};

std::string_view localName(const pugi::xml_node &node)
{
    std::string_view name = node.name();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node &parent, std::string_view name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && localName(c) == name)
            return c;
    }
    return {};
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

Target target(const pugi::xml_node &node)
{
    Target t;
    t.endpoint = text(child(child(node, "EndpointReference"), "Address"), true);
    t.types = list(child(node, "Types"));
    t.scopes = list(child(node, "Scopes"));
    t.xaddrs = list(child(node, "XAddrs"));
    const std::string version = text(child(node, "MetadataVersion"));
    if (!version.empty()) {
        if (version.size() > 10 || version.find_first_not_of("0123456789") != std::string::npos)
            throw Unparsable{};
        const uint64_t v = std::stoull(version);
        if (v > UINT32_MAX)
            throw Unparsable{};
        t.metadataVersion = uint32_t(v);
    }
    return t;
}

Message parseEnvelope(const pugi::xml_node &envelope)
{
    if (localName(envelope) != "Envelope")
        throw Unparsable{};
    const pugi::xml_node header = child(envelope, "Header");
    const pugi::xml_node body = child(envelope, "Body");
    const std::string action = text(child(header, "Action"), true);
    const std::string messageId = text(child(header, "MessageID"));
    if (action.compare(0, kActionBase.size(), kActionBase) != 0)
        throw Unparsable{};
    const std::string_view verb = std::string_view(action).substr(kActionBase.size());
    if (verb == "Probe") {
        const pugi::xml_node probe = child(body, "Probe");
        if (!probe || messageId.empty())
            throw Unparsable{};
        return Probe{messageId, list(child(probe, "Types"))};
    }
    if (verb == "ProbeMatches") {
        ProbeMatches m{messageId, text(child(header, "RelatesTo"), true), {}};
        const pugi::xml_node matches = child(body, "ProbeMatches");
        for (pugi::xml_node c = matches.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || localName(c) != "ProbeMatch")
                continue;
            if (m.matches.size() == kMaxMatches)
                throw Unparsable{};
            m.matches.push_back(target(c));
        }
        return m;
    }
    if (verb == "Hello") {
        const pugi::xml_node hello = child(body, "Hello");
        if (!hello)
            throw Unparsable{};
        return Hello{messageId, target(hello)};
    }
    if (verb == "Bye") {
        const pugi::xml_node bye = child(body, "Bye");
        if (!bye)
            throw Unparsable{};
        return Bye{messageId, text(child(child(bye, "EndpointReference"), "Address"), true)};
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

// The SOAP envelope with its addressing header; returns the body.
pugi::xml_node envelope(pugi::xml_document &doc, std::string_view verb, std::string_view messageId,
                        std::string_view relatesTo)
{
    pugi::xml_node env = doc.append_child("s:Envelope");
    env.append_attribute("xmlns:s") = kSoapNs;
    env.append_attribute("xmlns:a") = kAddressingNs;
    env.append_attribute("xmlns:d") = kDiscoveryNs;
    env.append_attribute("xmlns:dn") = "http://www.onvif.org/ver10/network/wsdl";
    env.append_attribute("xmlns:tds") = "http://www.onvif.org/ver10/device/wsdl";
    pugi::xml_node header = env.append_child("s:Header");
    setText(header.append_child("a:MessageID"), messageId);
    if (!relatesTo.empty())
        setText(header.append_child("a:RelatesTo"), relatesTo);
    setText(header.append_child("a:To"), relatesTo.empty() ? kDiscoveryTo : kAnonymous);
    setText(header.append_child("a:Action"), std::string(kActionBase) + std::string(verb));
    return env.append_child("s:Body");
}

void appendTarget(pugi::xml_node node, const Target &t)
{
    setText(node.append_child("a:EndpointReference").append_child("a:Address"), t.endpoint);
    node.append_child("d:Types").text().set(joined(t.types).c_str());
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
                    pugi::xml_node probe = envelope(doc, "Probe", m.messageId, {}).append_child("d:Probe");
                    probe.append_child("d:Types").text().set(joined(m.types).c_str());
                } else if constexpr (std::is_same_v<T, ProbeMatches>) {
                    if (m.relatesTo.empty() || m.matches.size() > kMaxMatches)
                        throw Unparsable{};
                    pugi::xml_node matches =
                        envelope(doc, "ProbeMatches", m.messageId, m.relatesTo).append_child("d:ProbeMatches");
                    for (const Target &t : m.matches)
                        appendTarget(matches.append_child("d:ProbeMatch"), t);
                } else if constexpr (std::is_same_v<T, Hello>) {
                    appendTarget(envelope(doc, "Hello", m.messageId, {}).append_child("d:Hello"), m.target);
                } else {
                    pugi::xml_node bye = envelope(doc, "Bye", m.messageId, {}).append_child("d:Bye");
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

bool typesMatch(const std::vector<std::string> &types, const std::vector<std::string> &deviceTypes)
{
    const auto local = [](std::string_view q) { return q.substr(q.find(':') + 1); };
    for (const std::string &wanted : types) {
        bool found = false;
        for (const std::string &have : deviceTypes)
            found |= local(wanted) == local(have);
        if (!found)
            return false;
    }
    return true;
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

std::optional<HttpAddress> httpAddress(std::string_view xaddr)
{
    constexpr std::string_view scheme = "http://";
    if (xaddr.substr(0, scheme.size()) != scheme)
        return std::nullopt;
    std::string_view rest = xaddr.substr(scheme.size());
    rest = rest.substr(0, rest.find('/'));
    HttpAddress a;
    const size_t colon = rest.find(':');
    a.host = std::string(rest.substr(0, colon));
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
