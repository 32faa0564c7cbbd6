#pragma once

// What an ANNOUNCE claims to prove (a manufacturer's certificate, revision 5:
// the device's signature over what it announces) and the verdicts of the
// checks made so far. A claim is named by a digest of every byte its check
// covers, so the same certificate or signed announcement heard again, from
// any discovery of the process, is never checked twice.

#include "wire.h"

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_set>

namespace vexa {

struct Claim {
    enum class Kind : uint8_t {
        None,        // nothing to check: an uncertified device
        Certificate, // revision 2: the manufacturer's signature of key, MAC and serial number
        Signed,      // revision 5: a device certificate and the device's signature of the announcement
    };
    using Digest = std::array<uint8_t, 16>;

    Kind kind = Kind::None;
    Digest digest{};
    uint64_t counter = 0; // Signed only

    /** The claim of a decoded ANNOUNCE and the datagram it came in: digests only, no signature checked. */
    static Claim of(const wire::Announce &announce, std::span<const uint8_t> datagram);
    /** The expensive part: every signature of the claim checked. */
    static bool check(const wire::Announce &announce, std::span<const uint8_t> datagram);
    /**
     * Pins the key of an announcement whose claim was checked, with what it
     * proves: a request to the device can use it even if the discovery that
     * heard it has stopped meanwhile.
     */
    static void pin(const wire::Announce &announce);
};

struct ClaimDigestHash {
    size_t operator()(const Claim::Digest &d) const;
};

/** Verdicts of claims checked in this process, bounded; thread-safe. */
class ProofCache final {
public:
    enum class Verdict : uint8_t { Unknown, Valid, Invalid };

    static ProofCache &instance();

    Verdict lookup(const Claim::Digest &digest) const;
    void record(const Claim::Digest &digest, bool valid);

    // A genuine network fits in the valid half; invalid claims are only remembered
    // against replays of the same bogus datagram.
    static constexpr size_t kMaxValid = 1 << 18;
    static constexpr size_t kMaxInvalid = 1 << 14;

private:
    struct Set {
        std::unordered_set<Claim::Digest, ClaimDigestHash> members;
        std::deque<Claim::Digest> order; // oldest first: the first to go when full
        void add(const Claim::Digest &digest, size_t limit);
    };
    mutable std::mutex m_mutex;
    Set m_valid;
    Set m_invalid;
};

} // namespace vexa
