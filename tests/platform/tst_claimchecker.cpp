// What an announcement claims, and the checks of claims off the receive
// thread: digests, verdicts kept per process, fair turns between sources.

#include <vexa/claimchecker.h>
#include <vexa/crypto.h>
#include <vexa/proofcache.h>
#include "wiresamples.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace {

using namespace vexa;
using namespace std::chrono_literals;

// A signing device's announcement, signed as a device signs it.
struct SignedAnnouncement {
    crypto::SigningSecretKey signingKey = crypto::signingKeyFromSeed(crypto::randomArray<32>());
    wire::Announce announce = std::get<wire::Announce>(samples::messages()[1].second);

    wire::Bytes datagram(uint64_t counter = 7) const
    {
        wire::Announce a = announce;
        a.info.deviceCertificate = wire::DeviceCertificate{crypto::signingPublicKey(signingKey), {}};
        a.signature.reset();
        wire::Bytes b = wire::encode(a);
        const auto message = crypto::announceMessage(counter, a.heartbeatS, a.publicKey, wire::announceSignedTlvs(b));
        return wire::appendAnnounceSignature(std::move(b), {counter, crypto::sign(signingKey, message)});
    }
};

Claim claimOf(const wire::Bytes &datagram)
{
    return Claim::of(std::get<wire::Announce>(*wire::decode(datagram)), datagram);
}

TEST(Claim, DigestCoversEverySignedByteAndNothingElse)
{
    ASSERT_TRUE(crypto::init());
    SignedAnnouncement device;
    const wire::Bytes original = device.datagram();
    const Claim claim = claimOf(original);
    EXPECT_EQ(claim.kind, Claim::Kind::Signed);
    EXPECT_EQ(claim.counter, 7u);

    // Reason and tool id change per answer: the same claim.
    wire::Bytes answer = original;
    answer[wire::kAnnounceReasonOffset] = uint8_t(wire::AnnounceReason::InquiryAnswer);
    answer[wire::kAnnounceToolIdOffset + 3] ^= 0xFF;
    EXPECT_EQ(claimOf(answer).digest, claim.digest);

    const struct {
        const char *what;
        std::function<void(wire::Announce &)> change;
    } changes[] = {
        {"port", [](wire::Announce &a) { a.info.port ^= 1; }},
        {"heartbeat", [](wire::Announce &a) { a.heartbeatS ^= 1; }},
        {"key", [](wire::Announce &a) { a.publicKey[0] ^= 1; }},
        {"counter", [](wire::Announce &a) { a.signature->counter ^= 1; }},
        {"signature", [](wire::Announce &a) { a.signature->signature[0] ^= 1; }},
        {"device certificate", [](wire::Announce &a) { a.info.deviceCertificate->signature[0] ^= 1; }},
        {"serial", [](wire::Announce &a) { a.info.serial += "X"; }},
    };
    for (const auto &c : changes) {
        auto a = std::get<wire::Announce>(*wire::decode(original));
        c.change(a);
        EXPECT_NE(claimOf(wire::encode(a)).digest, claim.digest) << c.what;
    }

    // An older device's claim is its certificate; an uncertified one claims nothing.
    auto older = std::get<wire::Announce>(*wire::decode(original));
    older.signature.reset();
    EXPECT_EQ(claimOf(wire::encode(older)).kind, Claim::Kind::Certificate);
    older.info.certificate.reset();
    EXPECT_EQ(claimOf(wire::encode(older)).kind, Claim::Kind::None);
}

TEST(Claim, CheckNeedsBothTheManufacturersAndTheDevicesSignature)
{
    SignedAnnouncement device;
    // Signed by the device, its key certified by no one this build trusts.
    const wire::Bytes uncertified = device.datagram();
    EXPECT_FALSE(Claim::check(std::get<wire::Announce>(*wire::decode(uncertified)), uncertified));
    // The sample's bogus revision 2 certificate fails too.
    auto older = std::get<wire::Announce>(*wire::decode(uncertified));
    older.signature.reset();
    const wire::Bytes olderDatagram = wire::encode(older);
    EXPECT_FALSE(Claim::check(older, olderDatagram));
}

TEST(ProofCache, KeepsVerdictsAndForgetsTheOldestFirst)
{
    ProofCache &cache = ProofCache::instance();
    const auto digest = [](uint32_t i) {
        Claim::Digest d{};
        d[0] = 0xC0;
        for (int b = 0; b < 4; ++b)
            d[size_t(1 + b)] = uint8_t(i >> (8 * b));
        return d;
    };
    EXPECT_EQ(cache.lookup(digest(1)), ProofCache::Verdict::Unknown);
    cache.record(digest(1), true);
    cache.record(digest(2), false);
    EXPECT_EQ(cache.lookup(digest(1)), ProofCache::Verdict::Valid);
    EXPECT_EQ(cache.lookup(digest(2)), ProofCache::Verdict::Invalid);
    // A flood of bogus claims pushes out bogus ones only.
    for (uint32_t i = 0; i < ProofCache::kMaxInvalid; ++i)
        cache.record(digest(1000 + i), false);
    EXPECT_EQ(cache.lookup(digest(2)), ProofCache::Verdict::Unknown);
    EXPECT_EQ(cache.lookup(digest(1)), ProofCache::Verdict::Valid);
}

TEST(ClaimChecker, SourcesTakeTurnsAndTheQueueIsBounded)
{
    SignedAnnouncement device;
    const wire::Bytes datagram = device.datagram();
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    // No workers yet: the queue only fills.
    {
        ClaimChecker idle(0, [] {});
        size_t queued = 0;
        while (idle.submit({{}, packet::Address::v4HostOrder(1), {}}))
            ++queued;
        EXPECT_EQ(queued, ClaimChecker::kMaxQueued);
        EXPECT_EQ(idle.queued(), ClaimChecker::kMaxQueued);
    }

    ClaimChecker checker(1, [&] {
        std::lock_guard lock(mutex);
        ++wakes;
        woken.notify_all();
    });
    // A busy source queues first; the other source's one claim still comes second.
    for (uint8_t i = 0; i < 50; ++i)
        ASSERT_TRUE(checker.submit({datagram, packet::Address::v4HostOrder(0x0A000001), Claim::Digest{0xA0, i}}));
    ASSERT_TRUE(checker.submit({datagram, packet::Address::v4HostOrder(0x0A000002), Claim::Digest{0xB0}}));
    std::vector<ClaimChecker::Job> finished;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (finished.size() < 51 && std::chrono::steady_clock::now() < deadline) {
        std::unique_lock lock(mutex);
        woken.wait_for(lock, 100ms);
        lock.unlock();
        for (auto &job : checker.takeFinished())
            finished.push_back(std::move(job));
    }
    ASSERT_EQ(finished.size(), 51u);
    EXPECT_GE(wakes, 1);
    const auto other = std::find_if(finished.begin(), finished.end(),
                                    [](const ClaimChecker::Job &j) { return j.source == packet::Address::v4HostOrder(0x0A000002); });
    ASSERT_NE(other, finished.end());
    EXPECT_LE(other - finished.begin(), 2) << "waited behind the busy source";
    // The verdicts went to the cache: this build trusts no key of this test's making.
    for (const auto &job : finished) {
        EXPECT_FALSE(job.valid);
        EXPECT_EQ(ProofCache::instance().lookup(job.digest), ProofCache::Verdict::Invalid);
    }
}

} // namespace
