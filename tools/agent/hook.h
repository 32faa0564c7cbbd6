#pragma once

#include <deviceside/statefile.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace agent {

inline constexpr std::chrono::milliseconds kHookLimit = std::chrono::seconds(10);

/**
 * Runs the hook back end's script: `SCRIPT apply|rollback` with the old and
 * new parameters in its environment (docs/agent.md), for sites where
 * NetworkManager, systemd-networkd or ifupdown own the configuration. True
 * when it exits with status 0 within `limit` (it is killed after that).
 */
bool runHook(const std::string &script, const char *action, const std::string &interface,
             const deviceside::NetworkState &from, const deviceside::NetworkState &to, std::string &error,
             std::chrono::milliseconds limit = kHookLimit);

/**
 * Runs `SCRIPT time` with VEXA_UTC ("YYYY-MM-DDThh:mm:ssZ", the new UTC
 * time), or `SCRIPT ntp` with VEXA_NTP_SERVERS (space-separated, first
 * preferred): a commissioning job's clock setting. True as runHook.
 */
bool runClockHook(const std::string &script, std::optional<std::chrono::system_clock::time_point> utc,
                  const std::vector<std::string> &ntpServers, std::string &error,
                  std::chrono::milliseconds limit = kHookLimit);

/** Runs `SCRIPT reboot` (the configured reboot hook), with the same small environment. */
bool runRebootHook(const std::string &script, std::string &error, std::chrono::milliseconds limit = kHookLimit);

} // namespace agent
