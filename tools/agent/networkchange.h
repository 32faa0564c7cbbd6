#pragma once

// A change of the machine's IPv4 address and default route as one
// transaction: the plan is checked before the kernel is touched, the state
// before the change is saved, and a step that fails puts it back, so the
// machine is never left half way (a new address without its route).

#include <deviceside/statefile.h>

#include <optional>
#include <string>

namespace agent {

/**
 * Why the move from `from` to `to` cannot work, before anything is touched:
 * an address or mask that is no IPv4 unicast address or mask, or a gateway
 * outside the new subnet, on its network or broadcast address, or equal to
 * the new address. Nothing when the plan holds.
 */
std::optional<std::string> planProblem(const deviceside::NetworkState &from, const deviceside::NetworkState &to);

/** The kernel steps a change is made of, on one interface (rtnetlink; a fake in the tests). */
class NetworkSteps
{
public:
    virtual ~NetworkSteps() = default;
    /** Remembers the interface's IPv4 addresses and default routes as they are now. */
    virtual bool save(int index, std::string &error) = 0;
    /** Replaces the IPv4 address and mask of `from` by those of `to`. */
    virtual bool replaceAddress(int index, const deviceside::NetworkState &from, const deviceside::NetworkState &to,
                                std::string &error) = 0;
    /** Replaces the interface's IPv4 default routes by one via `gateway` (none when empty). */
    virtual bool replaceDefaultRoute(int index, const std::string &gateway, std::string &error) = 0;
    /** Puts back exactly what save() remembered. */
    virtual bool restoreSaved(int index, std::string &error) = 0;
};

/** Changes and rolls back an interface's IPv4 parameters through `steps`. */
class NetworkChanger
{
public:
    NetworkChanger(NetworkSteps &steps, int index) : m_steps(steps), m_index(index) {}

    /**
     * Makes the change; true only when every step took. After a failed step
     * the saved state is put back; `error` names the step, and the restore
     * when that failed too (the rollback then tries it again).
     */
    bool apply(const deviceside::NetworkState &from, const deviceside::NetworkState &to, std::string &error);
    /**
     * Back from `current` to `previous` (a change that was not confirmed, or
     * failed): the state saved by the change that started from `previous`;
     * nothing for a failed change already put back; after several
     * unconfirmed changes, `previous`'s address and gateway.
     */
    bool rollBack(const deviceside::NetworkState &current, const deviceside::NetworkState &previous, std::string &error);

private:
    NetworkSteps &m_steps;
    int m_index;
    std::optional<deviceside::NetworkState> m_savedAt; // the parameters the saved state belongs to
};

} // namespace agent
