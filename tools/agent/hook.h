#pragma once

#include <statefile.h>

#include <string>

namespace agent {

/**
 * Runs the hook back end's script: `SCRIPT apply|rollback` with the old and
 * new parameters in its environment (docs/agent.md), for sites where
 * NetworkManager, systemd-networkd or ifupdown own the configuration. True
 * when it exits with status 0 within 10 s (it is killed after that).
 */
bool runHook(const std::string &script, const char *action, const std::string &interface,
             const devsim::NetworkState &from, const devsim::NetworkState &to, std::string &error);

} // namespace agent
