#pragma once

// A budget that refills at a steady rate up to a burst: the rate limits of
// both protocol sides (newcomers per source, answers, password checks).

#include <algorithm>
#include <chrono>

namespace vexa {

struct TokenBucket {
    double tokens = 0;
    std::chrono::steady_clock::time_point refilled{};

    /** Refills for the time since the last call, `rate` a second up to `burst`; true when a token is left. */
    bool ready(double rate, double burst, std::chrono::steady_clock::time_point now)
    {
        const double elapsedS = std::chrono::duration<double>(now - refilled).count();
        tokens = std::min(burst, tokens + std::max(0.0, elapsedS) * rate);
        refilled = now;
        return tokens >= 1;
    }
    /** Takes a token when one is left. */
    bool take(double rate, double burst, std::chrono::steady_clock::time_point now)
    {
        if (!ready(rate, burst, now))
            return false;
        tokens -= 1;
        return true;
    }
};

} // namespace vexa
