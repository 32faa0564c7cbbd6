#include "statefile.h"

#include "devicefile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace devsim {

namespace {

using nlohmann::json;

constexpr int kFormatVersion = 1;

json toJson(const NetworkState &n)
{
    return {{"ipv4Addr", n.ipv4Addr},       {"ipv4Mask", n.ipv4Mask},
            {"ipv4Gateway", n.ipv4Gateway}, {"port", n.port},
            {"ipv6Addr", n.ipv6Addr},       {"ipv6Gateway", n.ipv6Gateway},
            {"ipv6PrefixLen", n.ipv6PrefixLen}, {"dhcpOn", n.dhcpOn}};
}

// The file is ours, but a hand edit or a foreign file must still not slip
// malformed values into a device.
std::optional<NetworkState> networkFromJson(const json &j)
{
    NetworkState n;
    n.ipv4Addr = j.at("ipv4Addr").get<std::string>();
    n.ipv4Mask = j.at("ipv4Mask").get<std::string>();
    n.ipv4Gateway = j.at("ipv4Gateway").get<std::string>();
    n.port = j.at("port").get<uint16_t>();
    n.ipv6Addr = j.at("ipv6Addr").get<std::string>();
    n.ipv6Gateway = j.at("ipv6Gateway").get<std::string>();
    n.ipv6PrefixLen = j.at("ipv6PrefixLen").get<uint8_t>();
    n.dhcpOn = j.at("dhcpOn").get<uint8_t>();
    const auto mask = parseIpv4(n.ipv4Mask);
    const bool ok = parseIpv4(n.ipv4Addr) && mask && isValidMask(*mask) &&
                    (n.ipv4Gateway.empty() || parseIpv4(n.ipv4Gateway)) && n.port != 0 &&
                    (n.ipv6Addr.empty() || canonicalIpv6(n.ipv6Addr)) &&
                    (n.ipv6Gateway.empty() || canonicalIpv6(n.ipv6Gateway)) &&
                    n.ipv6PrefixLen <= 128 && n.dhcpOn <= 1;
    return ok ? std::optional(n) : std::nullopt;
}

bool writeAll(int fd, const std::string &data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

NetworkState NetworkState::of(const DeviceInfo &d)
{
    return {d.ipv4Addr, d.ipv4Mask, d.ipv4Gateway, d.port,
            d.ipv6Addr, d.ipv6Gateway, d.ipv6PrefixLen, d.dhcpOn};
}

void NetworkState::applyTo(DeviceInfo &d) const
{
    d.ipv4Addr = ipv4Addr;
    d.ipv4Mask = ipv4Mask;
    d.ipv4Gateway = ipv4Gateway;
    d.port = port;
    d.ipv6Addr = ipv6Addr;
    d.ipv6Gateway = ipv6Gateway;
    d.ipv6PrefixLen = ipv6PrefixLen;
    d.dhcpOn = dhcpOn;
}

StateFile::StateFile(std::string path) : m_path(std::move(path)) {}

bool StateFile::load(std::string &error)
{
    m_devices.clear();
    m_keySecret.clear();
    if (m_path.empty())
        return true;
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec))
        return true;
    // Only the state itself is read: a temporary file left by a crash during a
    // save is incomplete by definition and is simply overwritten next time.
    const auto text = readTextFile(m_path);
    if (!text) {
        error = m_path + ": cannot read the state file";
        return false;
    }
    try {
        const json root = json::parse(*text);
        if (root.at("version").get<int>() != kFormatVersion) {
            error = m_path + ": unsupported state file version";
            return false;
        }
        if (const auto it = root.find("keySecret"); it != root.end())
            m_keySecret = it->get<std::string>();
        for (const auto &[key, entry] : root.at("devices").items()) {
            DeviceState state;
            if (const auto it = entry.find("network"); it != entry.end()) {
                state.network = networkFromJson(*it);
                if (!state.network) {
                    error = m_path + ": device " + key + ": invalid network parameters";
                    return false;
                }
            }
            if (const auto it = entry.find("passwordHash"); it != entry.end())
                state.passwordHash = it->get<std::string>();
            m_devices[key] = std::move(state);
        }
    } catch (const json::exception &e) {
        error = m_path + ": damaged state file (" + e.what() + ")";
        m_devices.clear();
        return false;
    }
    return true;
}

bool StateFile::save(std::string &error) const
{
    if (m_path.empty())
        return true;
    json devices = json::object();
    for (const auto &[key, state] : m_devices) {
        json entry = json::object();
        if (state.network)
            entry["network"] = toJson(*state.network);
        if (state.passwordHash)
            entry["passwordHash"] = *state.passwordHash;
        devices[key] = std::move(entry);
    }
    json root{{"version", kFormatVersion}, {"devices", devices}};
    if (!m_keySecret.empty())
        root["keySecret"] = m_keySecret;
    const std::string text = root.dump(1) + "\n";

    const std::string temp = tempPath();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        error = temp + ": " + std::strerror(savedErrno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), m_path.c_str()) != 0) {
        error = m_path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself must reach the disk, or a power cut could bring back the old state.
    const std::string dir = std::filesystem::path(m_path).parent_path().string();
    const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace devsim
