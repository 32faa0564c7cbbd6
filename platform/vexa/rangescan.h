#pragma once

// The order and pace of a range scan's directed probes, with no I/O: the
// caller asks which addresses are due at a time it passes in, sends them,
// and sleeps until the next is due. A steady rate with a small burst, so a
// /16 behind a site's router never arrives as a flood.

#include "addressrange.h"
#include "tokenbucket.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace vexa {

class RangeScan final {
public:
    using Clock = std::chrono::steady_clock;
    /** Probes a second: a /16 in under six minutes, a /24 in about a second. */
    static constexpr unsigned kDefaultRate = 200;
    static constexpr unsigned kMaxRate = 2000;

    /** Every address of `spans`, at `rate` probes a second (1..kMaxRate), the first due at `start`. */
    RangeScan(std::vector<addressrange::Span> spans, unsigned rate, Clock::time_point start);

    /** The addresses (host order) due by `now`, in ascending order; none once all were given out. */
    std::vector<uint32_t> due(Clock::time_point now);
    /** When the next address falls due; meaningless once finished(). */
    Clock::time_point nextDue() const;
    bool finished() const { return m_given == m_total; }
    uint64_t given() const { return m_given; }
    uint64_t total() const { return m_total; }

private:
    std::vector<addressrange::Span> m_spans;
    double m_rate;
    double m_burst;
    TokenBucket m_budget;
    size_t m_span = 0;      // the span being given out
    uint64_t m_offset = 0;  // within it
    uint64_t m_given = 0;
    uint64_t m_total;
};

} // namespace vexa
