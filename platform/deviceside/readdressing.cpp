// Readdressing: a MODIFY checked and made, the change made real only after the
// RESULT went out, and with a confirmation window, confirmed by unicast at the
// new address or rolled back.

#include "engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace deviceside {

namespace {

uint32_t ipv4Value(const wire::Ipv4 &bytes)
{
    uint32_t addr;
    std::memcpy(&addr, bytes.data(), sizeof addr);
    return addr;
}

bool isZero(std::span<const uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}


} // namespace

std::optional<NetworkState> Simulator::Impl::applyModify(const Device &device, const wire::ModifyBody &body)
{
    if (!isUnicastIpv4(ipv4Value(body.ipv4Addr)) || !isValidMask(ipv4Value(body.ipv4Mask)) ||
        body.port == 0)
        return std::nullopt;
    NetworkState next = NetworkState::of(device.info);
    next.ipv4Addr = address::formatIpv4(body.ipv4Addr);
    next.ipv4Mask = address::formatIpv4(body.ipv4Mask);
    next.port = body.port;
    next.dhcpOn = 0; // a static address switches DHCP off
    if (body.setGateway) {
        const uint32_t gateway = ipv4Value(body.ipv4Gateway);
        if (gateway != 0 && !isUnicastIpv4(gateway))
            return std::nullopt;
        next.ipv4Gateway = gateway ? address::formatIpv4(body.ipv4Gateway) : std::string();
    }
    if (body.setIpv6) {
        const bool modifiable = device.info.extInfo == 1 &&
                                (device.info.capabilities & (CapIpv6 | CapIpv6Modifiable)) ==
                                    (CapIpv6 | CapIpv6Modifiable);
        if (!modifiable || isZero(body.ipv6Addr) || body.ipv6Addr[0] == 0xFF ||
            body.ipv6PrefixLen == 0 || body.ipv6PrefixLen > 128)
            return std::nullopt;
        next.ipv6Addr = address::formatIpv6(body.ipv6Addr);
        next.ipv6Gateway = address::formatIpv6(body.ipv6Gateway);
        next.ipv6PrefixLen = body.ipv6PrefixLen;
    }
    return next;
}

void Simulator::Impl::onModify(const wire::Modify &request, std::span<const uint8_t> datagram, Clock::time_point now)
{
    NetworkState previous;
    std::optional<wire::ModifyBody> accepted;
    auto apply = [&](Device &device, const wire::ModifyBody &body, const Requester &requester) {
        if (!checkPassword(device, body.password, requester, now))
            return wire::Status::WrongPassword;
        const auto next = applyModify(device, body);
        DeviceState updated = state.device(device.info.key());
        if (next)
            updated.network = next;
        // The flag is only sent to devices that announce a confirmation window.
        if (!next || (body.confirm && config.confirmWindowS == 0)
            || (config.checkNetwork && !config.checkNetwork(NetworkState::of(device.info), *next))
            || !persist(device, updated))
            return wire::Status::InvalidParameters;
        previous = NetworkState::of(device.info);
        next->applyTo(device.info);
        changed(device);
        accepted = body;
        return wire::Status::Ok;
    };
    const auto target = wire::Target::byMac(request.target);
    Device *changed = serveRequest(request, target, datagram, now, &wire::decodeModifyBody, apply);
    if (!changed)
        return;
    // The RESULT has gone out from the old address; only now does the change become real.
    const NetworkState next = NetworkState::of(changed->info);
    const bool made = !config.changeNetwork || config.changeNetwork(NetworkChange::Apply, previous, next);
    if (!made) {
        std::fprintf(stderr, "error: the change to %s could not be made; keeping %s\n", next.ipv4Addr.c_str(),
                     previous.ipv4Addr.c_str());
        restore(*changed, previous);
    }
    // A failed change is rolled back too: whatever of it the back end could not undo at once.
    if (accepted->confirm) {
        // A change on top of an unconfirmed one still rolls back to the last confirmed parameters.
        const NetworkState confirmed = changed->pendingChange && !changed->pendingChange->confirmed
            ? changed->pendingChange->previous : previous;
        changed->pendingChange = PendingChange{request.requestId, accepted->replyKey, confirmed, false, !made};
        timers.push(Timer{now + seconds(config.confirmWindowS), indexOf(*changed), changed->generation,
                          TimerKind::Rollback, 0, {}, request.requestId});
    }
    announceNews(*changed, TimerKind::Changed, kAnnounceRepeats, now);
}

void Simulator::Impl::restore(Device &device, const NetworkState &parameters)
{
    DeviceState updated = state.device(device.info.key());
    updated.network = parameters;
    persist(device, updated);
    parameters.applyTo(device.info);
    changed(device);
}

void Simulator::Impl::onConfirm(const wire::Confirm &confirm, std::span<const uint8_t> datagram,
                                 const packet::Address &destination)
{
    Device *device = findTarget(wire::Target::byMac(confirm.target));
    if (!device || !device->pendingChange || device->pendingChange->requestId != confirm.requestId
        || device->pendingChange->failed)
        return;
    const auto address = parseIpv4(device->info.ipv4Addr);
    if (!address || packet::Address::v4NetworkOrder(*address) != destination
        || !crypto::verifyResult(datagram, device->pendingChange->replyKey))
        return;
    device->pendingChange->confirmed = true;
    // Answered for every copy: the tool retransmits until one answer arrives.
    send(crypto::encodeSignedResult({confirm.requestId, wire::Status::Confirmed, wire::Target::byMac(device->mac), {}},
                                    device->pendingChange->replyKey));
}

void Simulator::Impl::rollBack(Device &device, uint32_t requestId, Clock::time_point now)
{
    if (!device.pendingChange || device.pendingChange->requestId != requestId)
        return; // a later change has its own timer
    const PendingChange change = *std::exchange(device.pendingChange, std::nullopt);
    if (change.confirmed)
        return;
    const NetworkState current = NetworkState::of(device.info);
    if (!change.failed)
        std::fprintf(stderr, "warning: the change to %s was not confirmed within %u s; back to %s\n",
                     current.ipv4Addr.c_str(), unsigned(config.confirmWindowS), change.previous.ipv4Addr.c_str());
    if (config.changeNetwork && !config.changeNetwork(NetworkChange::Rollback, current, change.previous))
        std::fprintf(stderr, "error: the rollback to %s failed\n", change.previous.ipv4Addr.c_str());
    restore(device, change.previous);
    if (!(current == change.previous))
        announceNews(device, TimerKind::Changed, kAnnounceRepeats, now);
}

} // namespace deviceside
