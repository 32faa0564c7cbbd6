// Commissioning jobs (revision 6): the device's clock read and set, its NTP
// servers, its administrator password and its restart. A JOB is served like
// a MODIFY (sealed body, nonce, lock-outs); its answer carries the device's
// clock and uptime, so a tool reads the clock from any answer and tells a
// restart by the uptime.

#include "engine.h"

#include <algorithm>
#include <cctype>

namespace deviceside {

namespace {

using SystemClock = std::chrono::system_clock;

// A clock set outside these years is a typing slip, not a time to record evidence by.
constexpr auto kEarliestClock = SystemClock::time_point(seconds(946684800));  // 2000-01-01
constexpr auto kLatestClock = SystemClock::time_point(seconds(4102444800));   // 2100-01-01
constexpr size_t kMinPasswordLength = 8;

bool hostName(const std::string &text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':';
    });
}

} // namespace

uint16_t Simulator::Impl::offeredJobs() const
{
    return config.jobs.value_or(wire::jobBit(wire::JobKind::ReadClock) | wire::jobBit(wire::JobKind::SetClock)
                                | wire::jobBit(wire::JobKind::SetNtp) | wire::jobBit(wire::JobKind::SetPassword)
                                | wire::jobBit(wire::JobKind::Reboot));
}

SystemClock::time_point Simulator::Impl::deviceClock(const Device &device) const
{
    return SystemClock::now() + device.clockOffset;
}

uint32_t Simulator::Impl::uptimeS(const Device &device, Clock::time_point now) const
{
    return uint32_t(std::chrono::duration_cast<seconds>(now - device.startedAt).count());
}

wire::Bytes Simulator::Impl::signedAnswer(const Device &, const wire::Modify &, uint32_t requestId,
                                          wire::Status status, const wire::Target &target,
                                          const wire::ReplyKey &key, Clock::time_point) const
{
    return crypto::encodeSignedResult({requestId, status, target, {}}, key);
}

wire::Bytes Simulator::Impl::signedAnswer(const Device &device, const wire::Reset &, uint32_t requestId,
                                          wire::Status status, const wire::Target &target,
                                          const wire::ReplyKey &key, Clock::time_point now) const
{
    return signedAnswer(device, wire::Modify{}, requestId, status, target, key, now);
}

wire::Bytes Simulator::Impl::signedAnswer(const Device &device, const wire::Job &, uint32_t requestId,
                                          wire::Status status, const wire::Target &target,
                                          const wire::ReplyKey &key, Clock::time_point now) const
{
    wire::JobResult result;
    result.requestId = requestId;
    result.status = status;
    result.target = target;
    result.clockMs = std::chrono::duration_cast<milliseconds>(deviceClock(device).time_since_epoch()).count();
    result.uptimeS = uptimeS(device, now);
    return crypto::encodeSignedJobResult(result, key);
}

void Simulator::Impl::onJob(const wire::Job &request, std::span<const uint8_t> datagram, Clock::time_point now)
{
    uint8_t kind = 0;
    auto apply = [&](Device &device, const wire::JobBody &body, const Requester &requester) {
        kind = body.kind;
        return runJob(device, body, requester, now);
    };
    Device *done = serveRequest(request, wire::Target::byMac(request.target), datagram, now, &wire::decodeJobBody,
                                apply);
    // The JOB_RESULT has gone out: only now does the device go away.
    if (done && kind == uint8_t(wire::JobKind::Reboot))
        restart(*done, now);
}

wire::Status Simulator::Impl::runJob(Device &device, const wire::JobBody &body, const Requester &requester,
                                     Clock::time_point now)
{
    const auto kind = wire::JobKind(body.kind);
    if (body.kind > 15 || !(offeredJobs() & wire::jobBit(kind)))
        return wire::Status::NotOffered;
    // Every answer carries the clock: a read asks for nothing else and needs no password.
    if (kind == wire::JobKind::ReadClock)
        return wire::Status::Ok;
    if (!checkPassword(device, body.password, requester, now))
        return wire::Status::WrongPassword;
    switch (kind) {
    case wire::JobKind::SetClock:
        if (!body.utcMs)
            return wire::Status::InvalidParameters;
        return setClock(device, SystemClock::time_point(milliseconds(*body.utcMs)));
    case wire::JobKind::SetNtp: return setNtp(device, body.ntpServers);
    case wire::JobKind::SetPassword: return setPassword(device, body);
    case wire::JobKind::Reboot: return wire::Status::Ok; // after the answer: see onJob
    default: return wire::Status::NotOffered;
    }
}

wire::Status Simulator::Impl::setClock(Device &device, SystemClock::time_point utc)
{
    if (utc < kEarliestClock || utc >= kLatestClock)
        return wire::Status::InvalidParameters;
    // A real clock (the agent's hook) is the host's own: nothing to keep beside it.
    if (config.setClock && !config.setClock(utc, {}))
        return wire::Status::InvalidParameters;
    if (!config.setClock)
        device.clockOffset = std::chrono::duration_cast<milliseconds>(utc - SystemClock::now());
    device.ntpServers.clear(); // a clock set by hand is no longer kept by NTP
    return wire::Status::Ok;
}

wire::Status Simulator::Impl::setNtp(Device &device, const std::vector<std::string> &servers)
{
    if (servers.empty() || !std::all_of(servers.begin(), servers.end(), hostName))
        return wire::Status::InvalidParameters;
    if (config.setClock && !config.setClock(std::nullopt, servers))
        return wire::Status::InvalidParameters;
    device.ntpServers = servers;
    // A simulated device reaches its servers at once and keeps the host's time from then on.
    device.clockOffset = milliseconds(0);
    return wire::Status::Ok;
}

wire::Status Simulator::Impl::setPassword(Device &device, const wire::JobBody &body)
{
    // The rule a tool states to its user: long enough, and neither the
    // password it replaces nor the one printed on the label, which anyone who
    // saw the device knows.
    if (!body.newPassword || body.newPassword->size() < kMinPasswordLength || *body.newPassword == body.password
        || *body.newPassword == labelPassword(device))
        return wire::Status::InvalidParameters;
    // Not through hashFor(): its cache is keyed by the password text, and a
    // device keeps no password, only its hash.
    const auto hash = crypto::hashPassword(*body.newPassword);
    if (!hash)
        return wire::Status::InvalidParameters;
    DeviceState updated = state.device(device.info.key());
    updated.passwordHash = *hash;
    if (!persist(device, updated))
        return wire::Status::InvalidParameters;
    device.passwordHash = internHash(*hash);
    return wire::Status::Ok;
}

void Simulator::Impl::restart(Device &device, Clock::time_point now)
{
    // A restart ends a confirmation window: the unconfirmed change does not survive it.
    if (device.pendingChange)
        rollBack(device, device.pendingChange->requestId, now);
    if (config.restart) {
        config.restart();
        return;
    }
    goodbye(device);
    setMode(device, Mode::Restarting);
    schedule(device, TimerKind::Return, now + seconds(config.restartS));
}

void Simulator::Impl::comeBack(Device &device, Clock::time_point now)
{
    device.startedAt = now;
    bringOnline(device, now);
}

} // namespace deviceside
