#include "rangescan.h"

#include <algorithm>

namespace vexa {

RangeScan::RangeScan(std::vector<addressrange::Span> spans, unsigned rate, Clock::time_point start)
    : m_spans(std::move(spans)), m_rate(std::clamp(rate, 1u, kMaxRate)),
      // A tenth of a second's worth at once: the sender wakes twenty times a second, not once per probe.
      m_burst(std::max(1.0, m_rate / 10)), m_total(addressrange::count(m_spans))
{
    m_budget.tokens = 1;
    m_budget.refilled = start;
}

std::vector<uint32_t> RangeScan::due(Clock::time_point now)
{
    std::vector<uint32_t> out;
    while (!finished() && m_budget.take(m_rate, m_burst, now)) {
        const addressrange::Span &span = m_spans[m_span];
        out.push_back(uint32_t(span.first + m_offset));
        ++m_given;
        if (++m_offset == span.size()) {
            ++m_span;
            m_offset = 0;
        }
    }
    return out;
}

RangeScan::Clock::time_point RangeScan::nextDue() const
{
    const double missing = std::max(0.0, 1 - m_budget.tokens);
    // Rounded up: a budget a rounding error short of a token is not due yet.
    return m_budget.refilled + std::chrono::ceil<Clock::duration>(std::chrono::duration<double>(missing / m_rate));
}

} // namespace vexa
