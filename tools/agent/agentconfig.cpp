#include "agentconfig.h"

#include <deviceside/devicefile.h>
#include <deviceside/deviceinfo.h>
#include <vexa/wire.h>

#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

namespace agent {

namespace {

std::string_view trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool number(std::string_view text, uint64_t min, uint64_t max, uint64_t &out)
{
    int base = 10;
    if (text.starts_with("0x")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < min || value > max)
        return false;
    out = value;
    return true;
}

// A text the announcement can carry: printable, no longer than its field.
bool text(std::string_view value, size_t max, std::string &out)
{
    if (value.size() > max ||
        !std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20; }))
        return false;
    out = value;
    return true;
}

std::string osRelease()
{
    for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
        const auto file = deviceside::readTextFile(path);
        if (!file)
            continue;
        std::string_view rest = *file;
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (!line.starts_with("PRETTY_NAME="))
                continue;
            line.remove_prefix(12);
            if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
                line = line.substr(1, line.size() - 2);
            return std::string(line.substr(0, vexa::wire::kMaxVersionText));
        }
    }
    return "Linux";
}

// A stable serial number of the machine: its machine id, shortened.
std::string machineSerial()
{
    const auto id = deviceside::readTextFile("/etc/machine-id");
    std::string serial = "VXA-";
    if (id)
        for (char c : *id)
            if (std::isxdigit(static_cast<unsigned char>(c)) && serial.size() < 16)
                serial += char(std::toupper(static_cast<unsigned char>(c)));
    return serial.size() > 4 ? serial : "VXA-UNKNOWN";
}

} // namespace

std::optional<AgentConfig> parseConfig(std::string_view text_, std::string &error)
{
    AgentConfig c;
    int lineNo = 0;
    while (!text_.empty()) {
        ++lineNo;
        const size_t end = text_.find('\n');
        std::string_view line = trim(text_.substr(0, end));
        text_ = end == std::string_view::npos ? std::string_view() : text_.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const size_t eq = line.find('=');
        const auto fail = [&](const std::string &why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return std::nullopt;
        };
        if (eq == std::string_view::npos)
            return fail("expected key = value");
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        uint64_t n = 0;
        bool ok = true;
        if (key == "interface") {
            ok = value.size() < 16 && text(value, 15, c.interface);
        } else if (key == "serial") {
            ok = !value.empty() && text(value, vexa::wire::kMaxSerial, c.serial);
        } else if (key == "type-code") {
            ok = number(value, 0, UINT32_MAX, n);
            c.typeCode = uint32_t(n);
        } else if (key == "type-name") {
            ok = text(value, vexa::wire::kMaxTypeName, c.typeName);
        } else if (key == "software-version") {
            ok = text(value, vexa::wire::kMaxVersionText, c.softwareVersion);
        } else if (key == "dsp-version") {
            ok = text(value, vexa::wire::kMaxVersionText, c.dspVersion);
        } else if (key == "port" || key == "http-port" || key == "channels" || key == "heartbeat" ||
                   key == "confirm-window") {
            ok = number(value, key == "confirm-window" ? 0 : 1, 65535, n);
            (key == "port" ? c.port : key == "http-port" ? c.httpPort : key == "channels" ? c.channels
             : key == "heartbeat" ? c.heartbeatS : c.confirmWindowS) = uint16_t(n);
        } else if (key == "backend") {
            ok = value == "netlink" || value == "hook";
            c.backend = value == "hook" ? Backend::Hook : Backend::Netlink;
        } else if (key == "hook" || key == "reboot-hook") {
            ok = !value.empty() && value.front() == '/' && text(value, 4096, key == "hook" ? c.hook : c.rebootHook);
        } else if (key == "state") {
            ok = !value.empty() && value.front() == '/' && text(value, 4096, c.statePath);
        } else {
            return fail("unknown key \"" + std::string(key) + "\"");
        }
        if (!ok)
            return fail("bad value for " + std::string(key));
    }
    if (c.backend == Backend::Hook && c.hook.empty()) {
        error = "backend = hook needs hook = /path/to/script";
        return std::nullopt;
    }
    return c;
}

std::optional<AgentConfig> loadConfig(const std::string &path, std::string &error)
{
    std::string contents;
    if (!path.empty()) {
        std::error_code ec;
        const bool exists = std::filesystem::exists(path, ec);
        const auto file = exists ? deviceside::readTextFile(path) : std::optional<std::string>(std::string());
        if (!file) {
            error = path + ": cannot be read";
            return std::nullopt;
        }
        contents = *file;
    }
    auto config = parseConfig(contents, error);
    if (!config) {
        error = path + ": " + error;
        return std::nullopt;
    }
    if (config->serial.empty())
        config->serial = machineSerial();
    if (config->softwareVersion.empty())
        config->softwareVersion = osRelease();
    if (config->dspVersion.empty()) {
        utsname u{};
        if (uname(&u) == 0)
            config->dspVersion = std::string(u.release).substr(0, vexa::wire::kMaxVersionText);
    }
    return config;
}

bool makeStateDirectory(const std::string &statePath, std::string &error)
{
    const std::filesystem::path dir = std::filesystem::path(statePath).parent_path();
    std::error_code ec;
    if (dir.empty() || std::filesystem::is_directory(dir, ec))
        return true;
    // Top down, each made with its mode set explicitly: the umask may be anything.
    std::filesystem::path made;
    for (const auto &part : dir) {
        made /= part;
        const mode_t mode = made == dir ? 0700 : 0755;
        const bool createdNow = ::mkdir(made.c_str(), mode) == 0;
        if (!createdNow && errno == EEXIST && std::filesystem::is_directory(made, ec))
            continue; // there already, or made meanwhile
        if (!createdNow || ::chmod(made.c_str(), mode) != 0) {
            error = made.string() + ": cannot create the state folder: " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

} // namespace agent
