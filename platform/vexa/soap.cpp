#include "soap.h"

#include "crypto.h"
#include "xmldoc.h"

#include <openssl/evp.h>
#include <pugixml.hpp>
#include <sodium.h>

#include <cstdio>
#include <ctime>

namespace vexa::soap {

namespace {

constexpr const char *kSoapNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr const char *kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
constexpr const char *kSchemaNs = "http://www.onvif.org/ver10/schema";
constexpr const char *kErrorNs = "http://www.onvif.org/ver10/error";
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

std::string_view localName(std::string_view name)
{
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node &parent, std::string_view name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && localName(c.name()) == name)
            return c;
    }
    return {};
}

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
    const pugi::xml_node c = child(node, segments[from]);
    return c && hasPath(c, segments, from + 1);
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
        const std::string name = std::string(i == 0 ? topPrefix : innerPrefix) + s;
        pugi::xml_node last;
        for (pugi::xml_node c = node.last_child(); c; c = c.previous_sibling()) {
            if (c.type() == pugi::node_element && localName(c.name()) == s) {
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

// "Z", or fractions of a second and "Z" (clients send milliseconds).
bool fractionThenZ(std::string_view rest)
{
    if (!rest.empty() && rest[0] == '.') {
        const size_t digits = rest.find_first_not_of("0123456789", 1);
        if (digits == 1 || digits > 10)
            return false;
        rest.remove_prefix(digits == std::string_view::npos ? rest.size() : digits);
    }
    return rest == "Z";
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

std::string encode(const Envelope &e)
{
    pugi::xml_document doc;
    pugi::xml_node env = doc.append_child("s:Envelope");
    env.append_attribute("xmlns:s") = kSoapNs;
    env.append_attribute("xmlns:tds") = kDeviceNs;
    env.append_attribute("xmlns:tt") = kSchemaNs;
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
        const bool fault = e.operation == "Fault";
        if (fault)
            env.append_attribute("xmlns:ter") = kErrorNs;
        if (e.operation.empty() || e.operation.size() > kMaxText || e.fields.size() > kMaxFields)
            return {};
        pugi::xml_node op = body.append_child(((fault ? "s:" : "tds:") + e.operation).c_str());
        for (const auto &[path, value] : e.fields)
            build(op, path, value, fault ? "s:" : "tt:", fault ? "s:" : "tds:");
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
        if (localName(env.name()) != "Envelope")
            return std::nullopt;
        pugi::xml_node op;
        for (pugi::xml_node c = child(env, "Body").first_child(); c && !op; c = c.next_sibling()) {
            if (c.type() == pugi::node_element)
                op = c;
        }
        if (!op)
            return std::nullopt;
        Envelope e;
        e.operation = trimmed(localName(op.name()));
        flatten(op, {}, 0, e.fields);
        const pugi::xml_node token = child(child(child(env, "Header"), "Security"), "UsernameToken");
        if (token) {
            UsernameToken t;
            t.username = trimmed(child(token, "Username").child_value());
            const pugi::xml_node password = child(token, "Password");
            // Only a digest is ever accepted: a password in clear proves nothing here.
            if (std::string_view(password.attribute("Type").value()) == kDigestType)
                t.digest = trimmed(password.child_value());
            t.nonce = trimmed(child(token, "Nonce").child_value());
            t.created = trimmed(child(token, "Created").child_value());
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

std::optional<std::chrono::system_clock::time_point> parseUtc(std::string_view text)
{
    std::tm tm{};
    int used = 0;
    const std::string s(text.substr(0, 40));
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &used)
            != 6
        || !fractionThenZ(std::string_view(s).substr(size_t(used))) || tm.tm_year < 1970 || tm.tm_year > 9999 || tm.tm_mon < 1 || tm.tm_mon > 12
        || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return std::chrono::system_clock::from_time_t(timegm(&tm));
}

} // namespace vexa::soap
