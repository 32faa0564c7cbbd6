// Request security: nonces the device keeps no state for until one is used,
// requester ids and lock-outs, the check lanes, the answer cache for
// retransmissions, and the security-code reset of the password.

#include "engine.h"

#include <algorithm>

namespace deviceside {

wire::NonceBytes Simulator::Impl::makeNonce(const Device &device, uint32_t requestId, Clock::time_point now)
{
    wire::NonceBytes nonce{};
    const auto issued = uint64_t(now.time_since_epoch().count());
    for (size_t i = 0; i < 8; ++i)
        nonce[i] = uint8_t(issued >> (56 - 8 * i));
    crypto::randomBytes(std::span(nonce).subspan(8, 4));
    const auto tag = nonceTag(device, requestId, std::span(nonce).first(12));
    std::copy(tag.begin(), tag.begin() + kNonceTagSize, nonce.begin() + 12);
    return nonce;
}

wire::Tag Simulator::Impl::nonceTag(const Device &device, uint32_t requestId, std::span<const uint8_t> head) const
{
    std::array<uint8_t, 6 + 4 + 4 + 12> input{};
    std::copy(device.mac.begin(), device.mac.end(), input.begin());
    for (size_t i = 0; i < 4; ++i) {
        input[6 + i] = uint8_t(requestId >> (24 - 8 * i));
        input[10 + i] = uint8_t(device.generation >> (24 - 8 * i));
    }
    std::copy(head.begin(), head.end(), input.begin() + 14);
    return crypto::hmac(input, nonceKey);
}

bool Simulator::Impl::nonceValid(const Device &device, uint32_t requestId, const wire::NonceBytes &nonce,
                                 Clock::time_point now)
{
    uint64_t issued = 0;
    for (size_t i = 0; i < 8; ++i)
        issued = issued << 8 | nonce[i];
    const auto age = now - Clock::time_point(Clock::duration(Clock::rep(issued)));
    const auto tag = nonceTag(device, requestId, std::span(nonce).first(12));
    return age >= Clock::duration::zero() && age < kNonceLifetime
        && sodium_memcmp(tag.data(), nonce.data() + 12, kNonceTagSize) == 0
        && std::none_of(device.usedNonces.begin(), device.usedNonces.end(), [&](const UsedNonce &used) {
               return used.nonce == nonce;
           });
}

void Simulator::Impl::onNonceRequest(const wire::NonceRequest &request, Clock::time_point now)
{
    Device *device = findTarget(request.target);
    if (!device)
        return;
    wire::Nonce answer;
    answer.requestId = request.requestId;
    answer.nonce = makeNonce(*device, request.requestId, now);
    answer.publicKey = keysOf(*device).publicKey;
    answer.serial = device->info.serialNo;
    answer.mac = device->mac;
    answer.target = request.target;
    sendMessage(answer);
}

bool Simulator::Impl::takeNonce(Device &device, uint32_t requestId, const wire::NonceBytes &nonce,
                                Clock::time_point now)
{
    std::erase_if(device.usedNonces, [now](const UsedNonce &n) { return n.expires <= now; });
    // Never forget a nonce that could still be used: full (which the ceiling
    // does not let happen) means no more this round.
    if (!nonceValid(device, requestId, nonce, now) || device.usedNonces.size() >= kMaxUsedNonces)
        return false;
    device.usedNonces.push_back({nonce, now + kNonceLifetime});
    return true;
}

bool Simulator::Impl::resendCached(Device &device, uint32_t requestId, const std::array<uint8_t, 32> &hash,
                  Clock::time_point now)
{
    std::erase_if(device.results, [now](const CachedResult &r) { return r.expires <= now; });
    for (const CachedResult &cached : device.results) {
        if (cached.requestId == requestId && cached.requestHash == hash) {
            send(cached.reply);
            return true;
        }
    }
    return false;
}

void Simulator::Impl::answer(Device &device, uint32_t requestId, wire::Bytes reply,
                             const std::array<uint8_t, 32> &hash, Clock::time_point now)
{
    if (reply.empty())
        return;
    if (device.results.size() >= kMaxCachedResults)
        device.results.erase(device.results.begin());
    device.results.push_back({requestId, hash, reply, now + kResultCacheLifetime});
    send(reply);
}

Requester Simulator::Impl::requesterOf(const std::optional<wire::RequesterId> &sealed) const
{
    Requester r;
    r.sealed = sealed.has_value();
    if (sealed)
        r.id = *sealed;
    else
        r.id = source.bytes();
    return r;
}

SourceLock *Simulator::Impl::lockOf(Device &device, const Requester &requester, Clock::time_point now)
{
    const auto it = std::find_if(device.locks.begin(), device.locks.end(),
                                 [&](const SourceLock &l) { return l.requester == requester; });
    if (it == device.locks.end())
        return nullptr;
    const auto quietMinutes = unsigned((now - it->lastFailure) / kFailureDecay);
    if (quietMinutes > 0) {
        it->failures -= std::min(it->failures, quietMinutes);
        it->lastFailure += quietMinutes * kFailureDecay;
    }
    return &*it;
}

bool Simulator::Impl::trusted(Device &device, const Requester &requester, Clock::time_point now)
{
    std::erase_if(device.trusted, [now](const TrustedRequester &t) { return t.until <= now; });
    return requester.sealed && std::any_of(device.trusted.begin(), device.trusted.end(), [&](const TrustedRequester &t) {
               return t.id == requester.id;
           });
}

Lane *Simulator::Impl::laneFor(Device &device, const Requester &requester, bool cheap, Clock::time_point now)
{
    if (cheap)
        return device.codes.ready(kCodeChecksPerSecond, kCodeBurst, now) ? &device.codes : nullptr;
    if (const SourceLock *lock = lockOf(device, requester, now); lock && now < lock->lockedUntil)
        return nullptr;
    if (device.checks.ready(kChecksPerSecond, kCheckBurst, now))
        return &device.checks;
    if (trusted(device, requester, now) && device.reserved.ready(kReservedChecksPerSecond, kReservedBurst, now))
        return &device.reserved;
    return nullptr;
}

void Simulator::Impl::recordCheck(Device &device, const Requester &requester, bool wrong, Clock::time_point now)
{
    SourceLock *lock = lockOf(device, requester, now);
    if (!wrong) {
        if (lock)
            lock->failures = 0;
        if (requester.sealed) {
            std::erase_if(device.trusted, [&](const TrustedRequester &t) { return t.id == requester.id; });
            if (device.trusted.size() >= kMaxTrustedRequesters)
                device.trusted.erase(device.trusted.begin()); // the one trusted longest ago
            device.trusted.push_back({requester.id, now + kTrustedFor});
        }
        return;
    }
    if (!lock) {
        // A stranger cycling through forged addresses only pushes out its own oldest records.
        if (device.locks.size() >= kMaxLockedSources)
            device.locks.erase(std::min_element(device.locks.begin(), device.locks.end(),
                                                [](const SourceLock &a, const SourceLock &b) {
                                                    return a.lockedUntil < b.lockedUntil;
                                                }));
        device.locks.push_back({requester, 0, now, now});
        lock = &device.locks.back();
    }
    ++lock->failures;
    lock->lastFailure = now;
    const int lockS = lock->failures > 7 ? kMaxLockoutS : std::min(kMaxLockoutS, 1 << (lock->failures - 1));
    lock->lockedUntil = now + seconds(lockS);
}

bool Simulator::Impl::checkPassword(Device &device, const std::string &password, const Requester &requester,
                                    Clock::time_point now)
{
    const bool right = device.passwordHash && crypto::verifyPassword(*device.passwordHash, password);
    recordCheck(device, requester, !right, now);
    return right;
}

void Simulator::Impl::onReset(const wire::Reset &request, std::span<const uint8_t> datagram, Clock::time_point now)
{
    auto apply = [this](Device &device, const wire::ResetBody &body, const Requester &) {
        // The device holds only its own code key, never the master key.
        const auto wallNow = std::chrono::system_clock::now();
        const auto codeKey = device.codeKey ? device.codeKey
            : config.masterKey ? std::optional(crypto::deviceCodeKey(*config.masterKey, device.info.serialNo))
                               : std::nullopt;
        const auto date = codeKey
            ? crypto::checkSecurityCode(*codeKey, device.info.serialNo, body.securityCode, wallNow)
            : std::nullopt;
        DeviceState updated = state.device(device.info.key());
        // Dates before yesterday can no longer be used: forget them.
        std::erase_if(updated.usedCodeDates, [yesterday = crypto::utcDate(wallNow - std::chrono::hours(24))](
                                                 const std::string &d) { return d < yesterday; });
        if (!date || std::find(updated.usedCodeDates.begin(), updated.usedCodeDates.end(), *date) !=
                         updated.usedCodeDates.end())
            return wire::Status::WrongSecurityCode;
        updated.usedCodeDates.push_back(*date);
        const auto defaultHash = hashFor(labelPassword(device));
        updated.passwordHash = defaultHash ? std::optional(*defaultHash) : std::nullopt;
        if (!defaultHash || !persist(device, updated))
            return wire::Status::InvalidParameters;
        device.passwordHash = defaultHash;
        device.locks.clear();
        return wire::Status::Ok;
    };
    serveRequest(request, wire::Target::bySerial(request.targetSerial), datagram, now, &wire::decodeResetBody,
                 apply);
}

} // namespace deviceside
