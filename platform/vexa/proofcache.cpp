#include "proofcache.h"

#include "crypto.h"
#include "keypins.h"

#include <sodium.h>

#include <cstring>

namespace vexa {

namespace {

void hashBytes(crypto_generichash_state &state, std::span<const uint8_t> bytes)
{
    crypto_generichash_update(&state, bytes.data(), bytes.size());
}

} // namespace

Claim Claim::of(const wire::Announce &a, std::span<const uint8_t> datagram)
{
    Claim claim;
    const wire::DeviceInfo &info = a.info;
    if (info.deviceCertificate && a.signature)
        claim.kind = Kind::Signed;
    else if (info.certificate)
        claim.kind = Kind::Certificate;
    else
        return claim;
    // Every byte the check covers: the same digest means the same check and the same outcome.
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, claim.digest.size());
    const uint8_t kind = uint8_t(claim.kind);
    hashBytes(state, std::span(&kind, 1));
    hashBytes(state, a.publicKey);
    hashBytes(state, info.mac);
    hashBytes(state, std::span(reinterpret_cast<const uint8_t *>(info.serial.data()), info.serial.size()));
    if (claim.kind == Kind::Certificate) {
        hashBytes(state, *info.certificate);
    } else {
        claim.counter = a.signature->counter;
        uint8_t fixed[10];
        for (int i = 0; i < 8; ++i)
            fixed[i] = uint8_t(claim.counter >> (56 - 8 * i));
        fixed[8] = uint8_t(a.heartbeatS >> 8);
        fixed[9] = uint8_t(a.heartbeatS);
        hashBytes(state, fixed);
        hashBytes(state, info.deviceCertificate->signingKey);
        hashBytes(state, info.deviceCertificate->signature);
        hashBytes(state, wire::announceSignedTlvs(datagram));
        hashBytes(state, a.signature->signature);
    }
    crypto_generichash_final(&state, claim.digest.data(), claim.digest.size());
    return claim;
}

bool Claim::check(const wire::Announce &a, std::span<const uint8_t> datagram)
{
    const wire::DeviceInfo &info = a.info;
    if (info.deviceCertificate && a.signature) {
        const wire::DeviceCertificate &cert = *info.deviceCertificate;
        return keypins::manufacturerSigned(
                   crypto::deviceCertificateMessage(a.publicKey, cert.signingKey, info.serial, info.mac),
                   cert.signature)
            && crypto::verifySignature(cert.signingKey,
                                       crypto::announceMessage(a.signature->counter, a.heartbeatS, a.publicKey,
                                                               wire::announceSignedTlvs(datagram)),
                                       a.signature->signature);
    }
    return keypins::certified(info, a.publicKey);
}

void Claim::pin(const wire::Announce &a)
{
    const bool signing = a.info.deviceCertificate && a.signature;
    keypins::announced(a.info.serial, a.info.mac, a.publicKey,
                       {true, signing, signing ? a.signature->counter : 0, a.info.confirmWindowS, a.info.jobs});
}

size_t ClaimDigestHash::operator()(const Claim::Digest &d) const
{
    size_t h;
    std::memcpy(&h, d.data(), sizeof h); // already a cryptographic digest
    return h;
}

ProofCache &ProofCache::instance()
{
    // Never destroyed: a discovery still running at exit may record a verdict after static destructors ran.
    static ProofCache *cache = new ProofCache;
    return *cache;
}

ProofCache::Verdict ProofCache::lookup(const Claim::Digest &digest) const
{
    std::lock_guard lock(m_mutex);
    if (m_valid.members.contains(digest))
        return Verdict::Valid;
    return m_invalid.members.contains(digest) ? Verdict::Invalid : Verdict::Unknown;
}

void ProofCache::record(const Claim::Digest &digest, bool valid)
{
    std::lock_guard lock(m_mutex);
    if (valid)
        m_valid.add(digest, kMaxValid);
    else
        m_invalid.add(digest, kMaxInvalid);
}

void ProofCache::Set::add(const Claim::Digest &digest, size_t limit)
{
    if (!members.insert(digest).second)
        return;
    order.push_back(digest);
    if (order.size() > limit) {
        members.erase(order.front());
        order.pop_front();
    }
}

} // namespace vexa
