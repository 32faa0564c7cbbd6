#include "statefile.h"

#include "devicefile.h"

#include <vexa/crypto.h>

#include <nlohmann/json.hpp>
#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <unistd.h>

namespace deviceside {

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

// A whole number within [min, max]: a plain get<uint16_t>() would take 65537 as 1.
std::optional<int64_t> number(const json &j, const char *field, int64_t min, int64_t max)
{
    const json &value = j.at(field);
    if (!value.is_number_integer())
        return std::nullopt;
    const bool negative = value.is_number_unsigned() ? false : value.get<int64_t>() < 0;
    if (!negative && value.get<uint64_t>() > uint64_t(max))
        return std::nullopt;
    const int64_t n = value.get<int64_t>();
    return n >= min && n <= max ? std::optional(n) : std::nullopt;
}

// An optional field of exactly N bytes in hex; false when present but malformed.
template <size_t N>
bool readHex(const json &entry, const char *field, std::optional<std::array<uint8_t, N>> &out)
{
    const auto it = entry.find(field);
    if (it == entry.end())
        return true;
    const std::string text = it->get<std::string>();
    std::array<uint8_t, N> bytes{};
    size_t length = 0;
    if (text.size() != 2 * N || sodium_hex2bin(bytes.data(), N, text.data(), text.size(), nullptr, &length,
                                                nullptr) != 0 || length != N)
        return false;
    out = bytes;
    return true;
}

template <size_t N>
std::string hex(const std::array<uint8_t, N> &bytes)
{
    std::string text(2 * N + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), bytes.data(), N);
    text.pop_back();
    return text;
}

// The file is ours, but a hand edit or a foreign file must still not slip
// malformed values into a device.
std::optional<NetworkState> networkFromJson(const json &j)
{
    NetworkState n;
    n.ipv4Addr = j.at("ipv4Addr").get<std::string>();
    n.ipv4Mask = j.at("ipv4Mask").get<std::string>();
    n.ipv4Gateway = j.at("ipv4Gateway").get<std::string>();
    n.ipv6Addr = j.at("ipv6Addr").get<std::string>();
    n.ipv6Gateway = j.at("ipv6Gateway").get<std::string>();
    const auto port = number(j, "port", 1, 65535);
    const auto prefix = number(j, "ipv6PrefixLen", 0, 128);
    const auto dhcp = number(j, "dhcpOn", 0, 1);
    if (!port || !prefix || !dhcp)
        return std::nullopt;
    n.port = uint16_t(*port);
    n.ipv6PrefixLen = uint8_t(*prefix);
    n.dhcpOn = uint8_t(*dhcp);
    const auto mask = parseIpv4(n.ipv4Mask);
    const bool ok = parseIpv4(n.ipv4Addr) && mask && isValidMask(*mask) &&
                    (n.ipv4Gateway.empty() || parseIpv4(n.ipv4Gateway)) &&
                    (n.ipv6Addr.empty() || canonicalIpv6(n.ipv6Addr)) &&
                    (n.ipv6Gateway.empty() || canonicalIpv6(n.ipv6Gateway));
    return ok ? std::optional(n) : std::nullopt;
}

bool isDate(const std::string &text)
{
    return text.size() == 10 && text.find_first_not_of("0123456789-") == std::string::npos && text[4] == '-' &&
           text[7] == '-';
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
    // The state holds secrets: a symlink in its place is refused, not followed.
    if (std::filesystem::is_symlink(m_path, ec)) {
        error = m_path + ": is a symbolic link; refusing to read or replace it";
        return false;
    }
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
            if (const auto it = entry.find("passwordHash"); it != entry.end()) {
                state.passwordHash = it->get<std::string>();
                // Bounded parameters: a planted hash must not cost the device gigabytes per check.
                if (!vexa::crypto::plausibleHash(*state.passwordHash)) {
                    error = m_path + ": device " + key + ": password hash with unsupported parameters";
                    return false;
                }
            }
            if (const auto it = entry.find("usedCodeDates"); it != entry.end()) {
                state.usedCodeDates = it->get<std::vector<std::string>>();
                if (!std::all_of(state.usedCodeDates.begin(), state.usedCodeDates.end(), isDate)) {
                    error = m_path + ": device " + key + ": malformed used code date";
                    return false;
                }
            }
            if (!readHex(entry, "certificate", state.certificate) || !readHex(entry, "codeKey", state.codeKey)
                || !readHex(entry, "deviceCertificate", state.deviceCertificate)) {
                error = m_path + ": device " + key + ": malformed certificate or code key";
                return false;
            }
            if (const auto it = entry.find("announceCounter"); it != entry.end()) {
                if (!it->is_number_unsigned()) {
                    error = m_path + ": device " + key + ": malformed announcement counter";
                    return false;
                }
                state.announceCounter = it->get<uint64_t>();
            }
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
        if (!state.usedCodeDates.empty())
            entry["usedCodeDates"] = state.usedCodeDates;
        if (state.certificate)
            entry["certificate"] = hex(*state.certificate);
        if (state.codeKey)
            entry["codeKey"] = hex(*state.codeKey);
        if (state.deviceCertificate)
            entry["deviceCertificate"] = hex(*state.deviceCertificate);
        if (state.announceCounter != 0)
            entry["announceCounter"] = state.announceCounter;
        devices[key] = std::move(entry);
    }
    json root{{"version", kFormatVersion}, {"devices", devices}};
    if (!m_keySecret.empty())
        root["keySecret"] = m_keySecret;
    const std::string text = root.dump(1) + "\n";

    // A fresh file of our own (never one planted under a predictable name, nor
    // a symlink), private before the key secret goes into it.
    std::string temp = m_path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = m_path + ": cannot create a temporary file: " + std::strerror(errno);
        return false;
    }
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
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
    const bool synced = dirFd >= 0 && ::fsync(dirFd) == 0;
    const int syncErrno = errno;
    if (dirFd >= 0)
        ::close(dirFd);
    if (!synced) {
        error = (dir.empty() ? std::string(".") : dir) + ": the saved state may not survive a power cut: " +
                std::strerror(syncErrno);
        return false;
    }
    return true;
}

} // namespace deviceside
