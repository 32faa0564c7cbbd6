#pragma once

#include "deviceinfo.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace deviceside {

/** The network parameters a MODIFY can change. */
struct NetworkState {
    std::string ipv4Addr;
    std::string ipv4Mask;
    std::string ipv4Gateway;
    uint16_t port = 0;
    std::string ipv6Addr;
    std::string ipv6Gateway;
    uint8_t ipv6PrefixLen = 0;
    uint8_t dhcpOn = 0;

    static NetworkState of(const DeviceInfo &device);
    void applyTo(DeviceInfo &device) const;
    bool operator==(const NetworkState &) const = default;
};

/** Everything the network changed on one device since it left its devices file or generator. */
struct DeviceState {
    std::optional<NetworkState> network;
    std::optional<std::string> passwordHash; ///< Argon2id string after a password restore
    std::vector<std::string> usedCodeDates;  ///< dates ("YYYY-MM-DD") of security codes already used
    /// Provisioned at the factory (vexa-agent --provision): the manufacturer's signature of the
    /// device key and the device's own security-code key, so the device needs neither master key.
    std::optional<std::array<uint8_t, 64>> certificate;
    std::optional<std::array<uint8_t, 32>> codeKey;
    /// Revision 5, provisioned likewise: the manufacturer's signature of both device keys.
    std::optional<std::array<uint8_t, 64>> deviceCertificate;
    /// The last counter the device signed an announcement with: never used again, even if the clock goes back.
    uint64_t announceCounter = 0;
    bool operator==(const DeviceState &) const = default;
};

/**
 * The simulator's persistent memory, keyed by DeviceInfo::key(). Entries of
 * devices absent from the current run are kept, so switching networks and
 * back loses nothing.
 */
class StateFile
{
public:
    /** Without a path nothing is persisted and save() always succeeds. */
    explicit StateFile(std::string path = {});

    /**
     * Reads the state; a missing file is an empty state. A file that exists but
     * cannot be understood is an error: starting over would destroy it.
     */
    bool load(std::string &error);
    /**
     * Replaces the file atomically: a new private temporary file (mkstemp),
     * fsync, rename, fsync of the directory; any failed step is an error.
     */
    bool save(std::string &error) const;

    bool persistent() const { return !m_path.empty(); }
    const std::map<std::string, DeviceState> &devices() const { return m_devices; }
    /** Secret the device key pairs derive from, so a restart keeps every device's key; hex. */
    const std::string &keySecret() const { return m_keySecret; }
    void setKeySecret(std::string hex) { m_keySecret = std::move(hex); }
    DeviceState &device(const std::string &key) { return m_devices[key]; }

private:
    std::string m_path;
    std::map<std::string, DeviceState> m_devices;
    std::string m_keySecret;
};

} // namespace deviceside
