#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace agent {

/** How a MODIFY becomes real on the machine. */
enum class Backend { Netlink, Hook };

/**
 * The agent's configuration file (docs/agent.md): "key = value" lines, "#"
 * comments. What the kernel cannot tell (identity, versions, ports) and how
 * changes are made.
 */
struct AgentConfig {
    std::string interface; ///< empty: the interface holding the IPv4 default route
    std::string serial;    ///< default: from /etc/machine-id
    uint32_t typeCode = 0x2001;
    std::string typeName = "Linux device";
    std::string softwareVersion; ///< default: the OS release's PRETTY_NAME
    std::string dspVersion;      ///< default: the kernel release
    uint16_t port = 8000;
    uint16_t httpPort = 80;
    uint16_t channels = 1;
    uint16_t heartbeatS = 30;
    uint16_t confirmWindowS = 20;
    Backend backend = Backend::Netlink;
    std::string hook; ///< the script of the hook back end; it also sets the clock (commissioning jobs)
    std::string rebootHook; ///< empty: the agent never restarts the machine
    std::string statePath = "/var/lib/vexa-agent/state.json";
};

/** Parses a configuration file's text; nothing and a one-line reason in `error` when it is wrong. */
std::optional<AgentConfig> parseConfig(std::string_view text, std::string &error);
/** Reads the file (a missing one gives the defaults) and fills in the defaults from the system. */
std::optional<AgentConfig> loadConfig(const std::string &path, std::string &error);

/**
 * Makes the folder of the state file at `statePath` on a fresh machine:
 * missing parents with mode 0755, the folder itself 0700 (it holds the
 * device's secrets), whatever the umask. An existing folder is left as it is.
 */
bool makeStateDirectory(const std::string &statePath, std::string &error);

} // namespace agent
