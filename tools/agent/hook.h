#pragma once

#include <deviceside/statefile.h>

#include <chrono>
#include <string>

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

} // namespace agent
