#include "devicefile.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace deviceside {

namespace {

using nlohmann::json;

// Thrown only inside this file and turned into the caller's error text.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const std::set<std::string> knownFields = {
    "serialNo", "macAddr", "ipv4Addr", "ipv4Mask", "ipv4Gateway", "typeCode", "typeName",
    "port", "httpPort", "channelCount", "softwareVersion", "dspVersion", "startTime",
    "ipv6Addr", "ipv6Gateway", "ipv6PrefixLen", "capabilities", "dhcpOn", "extInfo", "password", "protocols",
    "onvifTypes", "onvifHttpDelay", "onvifUnsupported",
};

class EntryReader
{
public:
    EntryReader(const json &object, std::string where)
        : m_object(object), m_where(std::move(where))
    {
    }

    [[noreturn]] void fail(const std::string &field, const std::string &what) const
    {
        throw FileError(m_where + "." + field + ": " + what);
    }

    const json *find(const std::string &field, bool required) const
    {
        const auto it = m_object.find(field);
        if (it == m_object.end()) {
            if (required)
                throw FileError(m_where + ": missing field \"" + field + "\"");
            return nullptr;
        }
        return &*it;
    }

    std::string text(const std::string &field, size_t maxLength, bool required,
                     std::string fallback = {}) const
    {
        const json *value = find(field, required);
        if (!value)
            return fallback;
        if (!value->is_string())
            fail(field, "must be a text");
        std::string s = value->get<std::string>();
        if (s.size() > maxLength)
            fail(field, "longer than " + std::to_string(maxLength) + " bytes");
        if (s.find('\0') != std::string::npos)
            fail(field, "contains a NUL character");
        return s;
    }

    // Accepts a JSON integer, or a text in decimal or 0x-hexadecimal (type codes read best in hex).
    int64_t integer(const std::string &field, int64_t min, int64_t max, bool required,
                    int64_t fallback) const
    {
        const json *value = find(field, required);
        if (!value)
            return fallback;
        int64_t n = 0;
        if (value->is_number_integer()) {
            n = value->get<int64_t>();
        } else if (value->is_boolean()) {
            n = value->get<bool>() ? 1 : 0;
        } else if (value->is_string()) {
            const std::string s = value->get<std::string>();
            size_t used = 0;
            try {
                n = std::stoll(s, &used, 0);
            } catch (const std::exception &) {
                used = 0;
            }
            if (s.empty() || used != s.size())
                fail(field, "\"" + s + "\" is not a number");
        } else {
            fail(field, "must be an integer");
        }
        if (n < min || n > max)
            fail(field, "must lie in " + std::to_string(min) + ".." + std::to_string(max));
        return n;
    }

    std::string ipv4(const std::string &field, bool required, bool mask) const
    {
        const std::string s = text(field, 15, required);
        if (s.empty() && !required)
            return s;
        const auto addr = parseIpv4(s);
        if (!addr || (mask && !isValidMask(*addr)))
            fail(field, "\"" + s + "\" is not a valid IPv4 " + (mask ? "mask" : "address"));
        return s;
    }

    std::string ipv6(const std::string &field) const
    {
        const std::string s = text(field, limits::ipv6, false);
        if (s.empty())
            return s;
        const auto canonical = canonicalIpv6(s);
        if (!canonical)
            fail(field, "\"" + s + "\" is not a valid IPv6 address");
        return *canonical;
    }

private:
    const json &m_object;
    std::string m_where;
};

DeviceEntry readEntry(const json &object, const std::string &where)
{
    if (!object.is_object())
        throw FileError(where + ": must be an object");
    for (const auto &item : object.items()) {
        if (!knownFields.count(item.key()))
            throw FileError(where + ": unknown field \"" + item.key() + "\"");
    }
    const EntryReader r(object, where);
    DeviceEntry entry;
    DeviceInfo &d = entry.info;
    d.serialNo = r.text("serialNo", limits::serialNo, true);
    if (d.serialNo.empty())
        r.fail("serialNo", "must not be empty");
    const std::string mac = r.text("macAddr", 17, true);
    const auto canonical = canonicalMac(mac);
    if (!canonical)
        r.fail("macAddr", "\"" + mac + "\" is not a MAC address like aa:bb:cc:dd:ee:ff");
    d.macAddr = *canonical;
    d.ipv4Addr = r.ipv4("ipv4Addr", true, false);
    d.ipv4Mask = r.ipv4("ipv4Mask", true, true);
    d.ipv4Gateway = r.ipv4("ipv4Gateway", false, false);
    d.typeCode = int32_t(r.integer("typeCode", 0, INT32_MAX, true, 0));
    d.typeName = r.text("typeName", limits::typeName, true);
    d.port = uint16_t(r.integer("port", 1, 65535, true, 0));
    d.httpPort = uint16_t(r.integer("httpPort", 1, 65535, false, 80));
    d.channelCount = int32_t(r.integer("channelCount", 0, 4096, false, 1));
    d.softwareVersion = r.text("softwareVersion", limits::version, false);
    d.dspVersion = r.text("dspVersion", limits::version, false);
    d.startTime = r.text("startTime", limits::version, false);
    d.ipv6Addr = r.ipv6("ipv6Addr");
    d.ipv6Gateway = r.ipv6("ipv6Gateway");
    d.ipv6PrefixLen = uint8_t(r.integer("ipv6PrefixLen", 0, 128, false, 0));
    d.capabilities = uint8_t(r.integer("capabilities", 0, 7, false, 0));
    d.dhcpOn = uint8_t(r.integer("dhcpOn", 0, 1, false, 0));
    d.extInfo = uint8_t(r.integer("extInfo", 0, 1, false, 1));
    if (r.find("password", false))
        entry.password = r.text("password", 64, false);
    const std::string protocols = r.text("protocols", 10, false, "vxdp");
    if (protocols == "onvif" || protocols == "both")
        entry.protocols = protocols == "onvif" ? Protocols::Onvif : Protocols::Both;
    else if (protocols != "vxdp")
        r.fail("protocols", "must be \"vxdp\", \"onvif\" or \"both\"");
    const std::string types = r.text("onvifTypes", 12, false, "both");
    if (types == "device" || types == "transmitter")
        entry.onvif.types = types == "device" ? OnvifQuirks::Types::DeviceOnly : OnvifQuirks::Types::TransmitterOnly;
    else if (types != "both")
        r.fail("onvifTypes", "must be \"device\", \"transmitter\" or \"both\"");
    entry.onvif.httpDelaySeconds = uint32_t(r.integer("onvifHttpDelay", 0, 3600, false, 0));
    if (const json *calls = r.find("onvifUnsupported", false)) {
        if (!calls->is_array() || calls->size() > 32)
            r.fail("onvifUnsupported", "must be a list of at most 32 call names");
        for (const json &call : *calls) {
            if (!call.is_string() || call.get<std::string>().empty() || call.get<std::string>().size() > 64)
                r.fail("onvifUnsupported", "must be a list of call names such as \"SetNetworkInterfaces\"");
            entry.onvif.unsupported.push_back(call.get<std::string>());
        }
    }
    return entry;
}

DeviceFile readFile(const json &root)
{
    if (!root.is_object())
        throw FileError("the top level must be an object with a \"devices\" array");
    for (const auto &item : root.items()) {
        if (item.key() != "devices" && item.key() != "password" && item.key() != "onvifOpenReads")
            throw FileError("unknown top-level field \"" + item.key() + "\"");
    }
    DeviceFile file;
    if (const auto it = root.find("password"); it != root.end()) {
        if (!it->is_string() || it->get<std::string>().empty())
            throw FileError("password: must be a non-empty text");
        file.password = it->get<std::string>();
    }
    if (const auto it = root.find("onvifOpenReads"); it != root.end()) {
        if (!it->is_boolean())
            throw FileError("onvifOpenReads: must be true or false");
        file.onvifOpenReads = it->get<bool>();
    }
    const auto devices = root.find("devices");
    if (devices == root.end() || !devices->is_array())
        throw FileError("missing the \"devices\" array");

    // VXDP requests name a device by MAC, a reset by serial: both must be
    // unique. ONVIF requests go to the device's own address, so a device that
    // speaks only ONVIF may claim any MAC, as an impostor on the link would.
    std::set<std::string> serials, macs;
    for (size_t i = 0; i < devices->size(); ++i) {
        const std::string where = "devices[" + std::to_string(i) + "]";
        DeviceEntry entry = readEntry((*devices)[i], where);
        if (!serials.insert(entry.info.serialNo).second)
            throw FileError(where + ": serial number " + entry.info.serialNo + " used twice");
        if (entry.protocols != Protocols::Onvif && !macs.insert(entry.info.macAddr).second)
            throw FileError(where + ": MAC address " + entry.info.macAddr + " used twice");
        file.devices.push_back(std::move(entry));
    }
    return file;
}

} // namespace

std::optional<DeviceFile> parseDeviceFile(std::string_view text, std::string &error)
{
    try {
        return readFile(json::parse(text));
    } catch (const json::parse_error &e) {
        error = "not valid JSON: byte " + std::to_string(e.byte) + ": " +
                (e.id == 101 ? "syntax error" : "parse error");
    } catch (const FileError &e) {
        error = e.what();
    } catch (const json::exception &e) {
        error = e.what();
    }
    return std::nullopt;
}

std::optional<std::string> readTextFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return content.str();
}

std::optional<DeviceFile> loadDeviceFile(const std::string &path, std::string &error)
{
    const auto text = readTextFile(path);
    if (!text) {
        error = path + ": cannot read the file";
        return std::nullopt;
    }
    auto file = parseDeviceFile(*text, error);
    if (!file)
        error = path + ": " + error;
    return file;
}

} // namespace deviceside
