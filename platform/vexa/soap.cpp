#include "soap.h"

#include "crypto.h"
#include "xmldoc.h"

#include <openssl/evp.h>
#include <pugixml.hpp>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace vexa::soap {

namespace {

constexpr std::string_view kSoapNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kSoap11Ns = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr const char *kSchemaNs = "http://www.onvif.org/ver10/schema";
constexpr std::string_view kMediaNs = "http://www.onvif.org/ver10/media/wsdl";
constexpr const char *kSecurityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr const char *kUtilityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr const char *kDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
constexpr const char *kBase64Type =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary";

// Thrown inside this file only, when a message breaks a bound.
struct Unparsable {};

using xmldoc::localName;

std::string trimmed(std::string_view value)
{
    const size_t first = value.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    value = value.substr(first);
    value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
    if (value.size() > kMaxText)
        throw Unparsable{};
    return std::string(value);
}

void flatten(const pugi::xml_node &node, const std::string &path, size_t depth, Fields &out)
{
    if (depth > kMaxDepth)
        throw Unparsable{};
    const auto add = [&](std::string p, std::string v) {
        if (out.size() == kMaxFields)
            throw Unparsable{};
        out.emplace_back(std::move(p), std::move(v));
    };
    for (const pugi::xml_attribute &a : node.attributes()) {
        const std::string_view name = a.name();
        if (name != "xmlns" && name.substr(0, 6) != "xmlns:")
            add(path + (path.empty() ? "@" : "/@") + std::string(localName(name)), trimmed(a.value()));
    }
    bool hasElements = false;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        hasElements = true;
        flatten(c, path + (path.empty() ? "" : "/") + std::string(localName(c.name())), depth + 1, out);
    }
    if (!hasElements && !path.empty())
        add(path, trimmed(node.child_value()));
}

// Whether `path` (segments) exists below `node`.
bool hasPath(const pugi::xml_node &node, const std::vector<std::string> &segments, size_t from)
{
    if (from == segments.size())
        return true;
    if (segments[from][0] == '@')
        return node.attribute(segments[from].substr(1).c_str());
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && localName(c.name()) == localName(segments[from]))
            return hasPath(c, segments, from + 1);
    }
    return false;
}

// Adds one field below `root`: a segment reuses the last element of its name
// unless the rest of the path is already there, so repeated groups start afresh.
void build(pugi::xml_node root, const std::string &path, const std::string &value, const char *innerPrefix,
           const char *topPrefix)
{
    std::vector<std::string> segments;
    for (size_t start = 0; start <= path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        segments.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    if (segments.size() > kMaxDepth || value.size() > kMaxText)
        throw Unparsable{};
    pugi::xml_node node = root;
    for (size_t i = 0; i < segments.size(); ++i) {
        const std::string &s = segments[i];
        if (s.empty())
            throw Unparsable{};
        if (s[0] == '@') {
            if (i + 1 != segments.size())
                throw Unparsable{};
            node.append_attribute(s.substr(1).c_str()) = value.c_str();
            return;
        }
        // A segment may name its own prefix where the schema leaves the usual one.
        const bool prefixed = s.find(':') != std::string::npos;
        const std::string name = prefixed ? s : std::string(i == 0 ? topPrefix : innerPrefix) + s;
        pugi::xml_node last;
        for (pugi::xml_node c = node.last_child(); c; c = c.previous_sibling()) {
            if (c.type() == pugi::node_element && localName(c.name()) == localName(s)) {
                last = c;
                break;
            }
        }
        const bool leaf = i + 1 == segments.size();
        if (leaf || !last || hasPath(last, segments, i + 1))
            last = node.append_child(name.c_str());
        node = last;
    }
    node.text().set(value.c_str());
}

std::string base64(const uint8_t *data, size_t size)
{
    std::string out(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1); // the terminator
    return out;
}

std::string passwordDigest(std::string_view nonceBase64, std::string_view created, std::string_view password)
{
    std::string nonce(nonceBase64.size(), '\0');
    size_t nonceSize = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char *>(nonce.data()), nonce.size(), nonceBase64.data(),
                          nonceBase64.size(), nullptr, &nonceSize, nullptr, sodium_base64_VARIANT_ORIGINAL)
        != 0)
        return {};
    nonce.resize(nonceSize);
    const std::string input = nonce + std::string(created) + std::string(password);
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashSize = 0;
    if (EVP_Digest(input.data(), input.size(), hash, &hashSize, EVP_sha1(), nullptr) != 1)
        return {};
    return base64(hash, hashSize);
}

// What follows the seconds of an xs:dateTime: fractions (ignored), then the
// zone; the offset from UTC in seconds, or nothing when it is not one.
std::optional<int> zoneOffset(std::string_view rest)
{
    if (!rest.empty() && rest[0] == '.') {
        const size_t digits = rest.find_first_not_of("0123456789", 1);
        if (digits == 1 || (digits == std::string_view::npos ? rest.size() : digits) > 13)
            return std::nullopt;
        rest.remove_prefix(digits == std::string_view::npos ? rest.size() : digits);
    }
    if (rest.empty() || rest == "Z")
        return 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (rest.size() != 6 || (rest[0] != '+' && rest[0] != '-') || rest[3] != ':' || !digit(rest[1]) || !digit(rest[2])
        || !digit(rest[4]) || !digit(rest[5]))
        return std::nullopt;
    const int hours = (rest[1] - '0') * 10 + (rest[2] - '0');
    const int minutes = (rest[4] - '0') * 10 + (rest[5] - '0');
    if (hours > 14 || minutes > 59 || (hours == 14 && minutes != 0))
        return std::nullopt;
    return (rest[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
}

// A fault's codes: SOAP 1.2 Code/Value and its Subcode chain, or SOAP 1.1's faultcode.
std::vector<xmldoc::QName> faultCodes(const pugi::xml_node &fault, std::string_view envelopeNs)
{
    std::vector<xmldoc::QName> codes;
    const auto code = [&](const pugi::xml_node &value) {
        if (value && codes.size() < kMaxDepth)
            codes.push_back(xmldoc::resolve(value, trimmed(value.child_value())));
    };
    if (envelopeNs == kSoap11Ns) {
        code(xmldoc::child(fault, "", "faultcode"));
        return codes;
    }
    for (pugi::xml_node c = xmldoc::child(fault, envelopeNs, "Code"); c && codes.size() < kMaxDepth;
         c = xmldoc::child(c, envelopeNs, "Subcode"))
        code(xmldoc::child(c, envelopeNs, "Value"));
    return codes;
}

} // namespace

std::string Envelope::field(std::string_view path) const
{
    for (const auto &[p, v] : fields) {
        if (p == path)
            return v;
    }
    return {};
}

bool Envelope::faultNames(std::string_view subcode) const
{
    return operation == "Fault" && std::any_of(faultCodes.begin(), faultCodes.end(), [&](const xmldoc::QName &q) {
        return q.local == subcode && (q.ns == kErrorNs || q.ns.empty());
    });
}

std::string encode(const Envelope &e)
{
    pugi::xml_document doc;
    pugi::xml_node env = doc.append_child("s:Envelope");
    env.append_attribute("xmlns:s") = std::string(kSoapNs).c_str();
    env.append_attribute("xmlns:tds") = std::string(kDeviceNs).c_str();
    env.append_attribute("xmlns:tt") = kSchemaNs;
    env.append_attribute("xmlns:trt") = std::string(kMediaNs).c_str();
    try {
        if (e.token) {
            pugi::xml_node header = env.append_child("s:Header");
            pugi::xml_node security = header.append_child("wsse:Security");
            security.append_attribute("xmlns:wsse") = kSecurityNs;
            security.append_attribute("xmlns:wsu") = kUtilityNs;
            pugi::xml_node token = security.append_child("wsse:UsernameToken");
            build(token, "Username", e.token->username, "", "wsse:");
            build(token, "Password", e.token->digest, "", "wsse:");
            token.child("wsse:Password").append_attribute("Type") = kDigestType;
            build(token, "Nonce", e.token->nonce, "", "wsse:");
            token.child("wsse:Nonce").append_attribute("EncodingType") = kBase64Type;
            build(token, "Created", e.token->created, "", "wsu:");
        }
        pugi::xml_node body = env.append_child("s:Body");
        // Some device firmwares find the operation by matching text as the common clients write it.
        body.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
        body.append_attribute("xmlns:xsd") = "http://www.w3.org/2001/XMLSchema";
        const bool fault = e.operation == "Fault";
        if (fault)
            env.append_attribute("xmlns:ter") = std::string(kErrorNs).c_str();
        if (e.operation.empty() || e.operation.size() > kMaxText || e.fields.size() > kMaxFields
            || e.operation.find(':') != std::string::npos || e.ns.size() > kMaxText)
            return {};
        // Requests name their operation's namespace as the default one, as the
        // common clients do; answers use the prefixes devices use.
        const char *prefix = fault ? "s:" : e.ns == kDeviceNs ? "tds:" : e.ns == kMediaNs ? "trt:" : "";
        const bool answer = fault || (*prefix && e.operation.ends_with("Response"));
        pugi::xml_node op = body.append_child(((answer ? prefix : "") + e.operation).c_str());
        if (!answer)
            op.append_attribute("xmlns") = e.ns.c_str();
        for (const auto &[path, value] : e.fields)
            build(op, path, value, fault ? "s:" : "tt:", answer ? prefix : "");
    } catch (const Unparsable &) {
        return {};
    }
    return xmldoc::save(doc, kMaxMessage);
}

std::optional<Envelope> parse(std::string_view xml)
{
    pugi::xml_document doc;
    if (!xmldoc::load(doc, xml, kMaxMessage))
        return std::nullopt;
    try {
        const pugi::xml_node env = doc.document_element();
        const xmldoc::QName envelope = xmldoc::nameOf(env);
        if (envelope.local != "Envelope" || (envelope.ns != kSoapNs && envelope.ns != kSoap11Ns))
            return std::nullopt;
        const pugi::xml_node op = xmldoc::firstElement(xmldoc::child(env, envelope.ns, "Body"));
        if (!op)
            return std::nullopt;
        Envelope e;
        const xmldoc::QName name = xmldoc::nameOf(op);
        e.operation = trimmed(name.local);
        e.ns = trimmed(name.ns);
        if (e.operation == "Fault" && e.ns == envelope.ns)
            e.faultCodes = faultCodes(op, envelope.ns);
        flatten(op, {}, 0, e.fields);
        const auto wsse = [](const pugi::xml_node &parent, std::string_view local) {
            return xmldoc::child(parent, kSecurityNs, local);
        };
        const pugi::xml_node token =
            wsse(wsse(xmldoc::child(env, envelope.ns, "Header"), "Security"), "UsernameToken");
        if (token) {
            UsernameToken t;
            t.username = trimmed(wsse(token, "Username").child_value());
            const pugi::xml_node password = wsse(token, "Password");
            // Only a digest is ever accepted: a password in clear proves nothing here.
            if (std::string_view(password.attribute("Type").value()) == kDigestType)
                t.digest = trimmed(password.child_value());
            t.nonce = trimmed(wsse(token, "Nonce").child_value());
            t.created = trimmed(xmldoc::child(token, kUtilityNs, "Created").child_value());
            e.token = std::move(t);
        }
        return e;
    } catch (const Unparsable &) {
        return std::nullopt;
    }
}

UsernameToken makeToken(const std::string &username, std::string_view password,
                        std::chrono::system_clock::time_point deviceNow)
{
    const auto nonce = crypto::randomArray<16>();
    UsernameToken t;
    t.username = username;
    t.nonce = base64(nonce.data(), nonce.size());
    t.created = formatUtc(deviceNow);
    t.digest = passwordDigest(t.nonce, t.created, password);
    return t;
}

bool tokenProves(const UsernameToken &token, std::string_view password)
{
    if (token.digest.empty())
        return false;
    const std::string expected = passwordDigest(token.nonce, token.created, password);
    return !expected.empty() && expected.size() == token.digest.size()
        && sodium_memcmp(expected.data(), token.digest.data(), expected.size()) == 0;
}

std::string formatUtc(std::chrono::system_clock::time_point t)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::optional<std::chrono::system_clock::time_point> parseDateTime(std::string_view text)
{
    constexpr int kLastYear = 2200;
    std::tm tm{};
    int used = 0;
    const std::string s(text.substr(0, 40));
    if (s.size() < 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':'
        || std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                       &tm.tm_min, &tm.tm_sec, &used)
            != 6
        || used != 19)
        return std::nullopt;
    const auto offset = zoneOffset(std::string_view(s).substr(size_t(used)));
    // The clock counts nanoseconds: years past 2200 would overflow it, and no
    // device clock that far off is worth a time offset. "%2d" also reads "-1".
    if (!offset || text.size() > 40 || tm.tm_year < 1970 || tm.tm_year > kLastYear || tm.tm_mon < 1
        || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0
        || tm.tm_min > 59 || tm.tm_sec < 0 || tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(timegm(&tm)) - std::chrono::seconds(*offset);
}

} // namespace vexa::soap
