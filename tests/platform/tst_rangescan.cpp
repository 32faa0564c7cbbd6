// What a person types as address ranges, how fast their probes go out, and
// the C interface's refusals: read strictly, paced within the rate, merged.

#include <vexa.h>

#include <vexa/addressrange.h>
#include <vexa/rangescan.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vexa;
using addressrange::Span;
using namespace std::chrono_literals;

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

struct ParseCase {
    const char *name;
    const char *text;
    std::vector<Span> spans; // empty: refused
    const char *error = "";  // a part of the sentence the user reads
};

class Parse : public testing::TestWithParam<ParseCase> {};

TEST_P(Parse, readsStrictlyWithASentenceForEachRefusal)
{
    const ParseCase &c = GetParam();
    std::string error = "stale";
    const auto spans = addressrange::parse(c.text, error);
    if (c.spans.empty()) {
        ASSERT_FALSE(spans) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    } else {
        ASSERT_TRUE(spans) << error;
        EXPECT_EQ(*spans, c.spans);
        EXPECT_EQ(error, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Parse,
    testing::Values(
        // Network and broadcast addresses of a subnet are left out; /31 and /32 keep both.
        ParseCase{"slash24", "192.168.7.0/24", {{ip(192, 168, 7, 1), ip(192, 168, 7, 254)}}},
        ParseCase{"slash16", "10.1.0.0/16", {{ip(10, 1, 0, 1), ip(10, 1, 255, 254)}}},
        ParseCase{"slash30", "10.0.0.4/30", {{ip(10, 0, 0, 5), ip(10, 0, 0, 6)}}},
        ParseCase{"slash31", "10.0.0.4/31", {{ip(10, 0, 0, 4), ip(10, 0, 0, 5)}}},
        ParseCase{"oneAddress", "172.16.0.9", {{ip(172, 16, 0, 9), ip(172, 16, 0, 9)}}},
        ParseCase{"slash32", "172.16.0.9/32", {{ip(172, 16, 0, 9), ip(172, 16, 0, 9)}}},
        ParseCase{"loopbackForTests", "127.0.3.0/24", {{ip(127, 0, 3, 1), ip(127, 0, 3, 254)}}},
        ParseCase{"topOfUnicast", "223.255.255.255", {{ip(223, 255, 255, 255), ip(223, 255, 255, 255)}}},
        // Sorted, overlaps and neighbours merged, separators mixed.
        ParseCase{"sortedAndMerged",
                  " 10.0.1.0/24,10.0.0.0/23\t10.0.0.7 ,, 10.0.2.1\n",
                  {{ip(10, 0, 0, 1), ip(10, 0, 1, 254)}, {ip(10, 0, 2, 1), ip(10, 0, 2, 1)}}},
        ParseCase{"adjacentSingles", "10.0.0.1 10.0.0.2", {{ip(10, 0, 0, 1), ip(10, 0, 0, 2)}}},
        ParseCase{"fourSlash16s", "10.0.0.0/16 10.1.0.0/16 10.2.0.0/16 10.3.0.0/16",
                  {{ip(10, 0, 0, 1), ip(10, 0, 255, 254)}, {ip(10, 1, 0, 1), ip(10, 1, 255, 254)},
                   {ip(10, 2, 0, 1), ip(10, 2, 255, 254)}, {ip(10, 3, 0, 1), ip(10, 3, 255, 254)}}},
        // Refused, each with its reason.
        ParseCase{"empty", "", {}, "no address range given"},
        ParseCase{"onlySeparators", " , \t", {}, "no address range given"},
        ParseCase{"tooWide", "10.0.0.0/8", {}, "at most a /16"},
        ParseCase{"slash15", "10.0.0.0/15", {}, "at most a /16"},
        ParseCase{"prefixAbove32", "10.0.0.0/33", {}, "from 16 to 32"},
        ParseCase{"prefixEmpty", "10.0.0.0/", {}, "from 16 to 32"},
        ParseCase{"prefixLeadingZero", "10.0.0.0/024", {}, "from 16 to 32"},
        ParseCase{"prefixSigned", "10.0.0.0/+24", {}, "from 16 to 32"},
        ParseCase{"prefixNotNumber", "10.0.0.0/2x", {}, "from 16 to 32"},
        ParseCase{"hostBits", "10.1.0.5/24", {}, "host bits set: the range is 10.1.0.0/24"},
        ParseCase{"hostBits16", "10.1.2.0/16", {}, "the range is 10.1.0.0/16"},
        ParseCase{"octetAbove255", "10.0.0.256", {}, "not an IPv4 address"},
        ParseCase{"octetLeadingZero", "10.0.0.010", {}, "not an IPv4 address"},
        ParseCase{"threeOctets", "10.0.0/24", {}, "not an IPv4 address"},
        ParseCase{"fiveOctets", "10.0.0.0.0", {}, "not an IPv4 address"},
        ParseCase{"trailingDot", "10.0.0.", {}, "not an IPv4 address"},
        ParseCase{"emptyOctet", "10..0.0", {}, "not an IPv4 address"},
        ParseCase{"hexOctet", "0x0a.0.0.1", {}, "not an IPv4 address"},
        ParseCase{"signedOctet", "10.+1.0.0/16", {}, "not an IPv4 address"},
        ParseCase{"ipv6", "fe80::/64", {}, "not an IPv4 address"},
        ParseCase{"hostName", "camera.local", {}, "not an IPv4 address"},
        ParseCase{"dashRange", "10.0.0.1-10.0.0.9", {}, "not an IPv4 address"},
        ParseCase{"zeroNetwork", "0.0.0.0/16", {}, "not a range of unicast"},
        ParseCase{"multicast", "239.255.0.0/16", {}, "not a range of unicast"},
        ParseCase{"broadcast", "255.255.255.255", {}, "not a range of unicast"},
        ParseCase{"reserved", "240.0.0.1", {}, "not a range of unicast"},
        ParseCase{"oneBadAmongGood", "10.0.0.0/24 10.0.1.300", {}, "\"10.0.1.300\""},
        ParseCase{"seventeenRanges",
                  "10.0.0.1 10.0.0.2 10.0.0.3 10.0.0.4 10.0.0.5 10.0.0.6 10.0.0.7 10.0.0.8 10.0.0.9 10.0.0.10 "
                  "10.0.0.11 10.0.0.12 10.0.0.13 10.0.0.14 10.0.0.15 10.0.0.16 10.0.0.17",
                  {}, "at most 16 ranges"},
        ParseCase{"fiveSlash16s", "10.0.0.0/16 10.1.0.0/16 10.2.0.0/16 10.3.0.0/16 10.4.0.0/16", {},
                  "more than 262144 addresses"}),
    [](const testing::TestParamInfo<ParseCase> &info) { return std::string(info.param.name); });

TEST(Parse, overlapsCountOnce)
{
    std::string error;
    // Five /16s, four of them the same: within the bound once merged.
    const auto spans = addressrange::parse("10.0.0.0/16 10.0.0.0/16 10.0.0.0/16 10.0.0.0/16 10.1.0.0/16", error);
    ASSERT_TRUE(spans) << error;
    EXPECT_EQ(addressrange::count(*spans), 2u * 65534);
}

struct PaceCase {
    const char *name;
    unsigned rate;
    std::chrono::milliseconds step; // how often the sender asks
    std::chrono::milliseconds length;
};

class Pace : public testing::TestWithParam<PaceCase> {};

// In every window of time no more than the rate allows plus one burst (a
// tenth of a second's worth), overall no slower than the rate less a burst,
// every address exactly once and in order, whatever the sender's wake-ups.
TEST_P(Pace, staysWithinTheRateAndGivesEachAddressOnce)
{
    const PaceCase &c = GetParam();
    const auto t0 = RangeScan::Clock::time_point() + 1h;
    std::string error;
    const auto spans = addressrange::parse("10.0.0.0/16 10.2.0.0/16", error);
    ASSERT_TRUE(spans);
    RangeScan scan(*spans, c.rate, t0);
    const unsigned rate = std::min(std::max(c.rate, 1u), RangeScan::kMaxRate);
    const double burst = std::max(1.0, rate / 10.0);
    std::vector<std::pair<std::chrono::nanoseconds, uint32_t>> sent;
    for (auto t = t0; t - t0 <= c.length; t += c.step) {
        for (const uint32_t addr : scan.due(t))
            sent.emplace_back(t - t0, addr);
        ASSERT_TRUE(scan.finished() || scan.nextDue() > t);
    }
    const double lengthS = std::chrono::duration<double>(c.length).count();
    const double stepS = std::chrono::duration<double>(c.step).count();
    // A sender that wakes less often than a burst lasts loses the time between: never faster, only slower.
    const double reached = std::min(double(rate), std::max(burst, 1.0) / stepS);
    EXPECT_GE(double(sent.size()), reached * (lengthS - stepS) - burst);
    EXPECT_LE(double(sent.size()), rate * lengthS + burst + 1);
    // Sliding windows of a quarter second.
    const auto window = 250ms;
    for (size_t i = 0, j = 0; i < sent.size(); ++i) {
        while (sent[i].first - sent[j].first > window)
            ++j;
        ASSERT_LE(double(i - j + 1), rate * 0.25 + burst + 1) << "at " << sent[i].first.count() << " ns";
    }
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().second, ip(10, 0, 0, 1));
    for (size_t i = 1; i < sent.size(); ++i) {
        const uint32_t expected = sent[i - 1].second == ip(10, 0, 255, 254) ? ip(10, 2, 0, 1) : sent[i - 1].second + 1;
        ASSERT_EQ(sent[i].second, expected);
    }
    EXPECT_EQ(scan.given(), sent.size());
    EXPECT_EQ(scan.total(), 2u * 65534);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, Pace,
    testing::Values(PaceCase{"defaultRate", RangeScan::kDefaultRate, 50ms, 10s},
                    PaceCase{"defaultRateBusyCaller", RangeScan::kDefaultRate, 1ms, 3s},
                    PaceCase{"defaultRateLateWakes", RangeScan::kDefaultRate, 700ms, 10s},
                    PaceCase{"maxRate", RangeScan::kMaxRate, 50ms, 5s},
                    PaceCase{"aboveMaxIsMax", 50000, 50ms, 2s},
                    PaceCase{"slowest", 1, 100ms, 20s},
                    PaceCase{"zeroIsOne", 0, 100ms, 5s}),
    [](const testing::TestParamInfo<PaceCase> &info) { return std::string(info.param.name); });

TEST(Pace, endsAfterTheLastAddress)
{
    const auto t0 = RangeScan::Clock::time_point() + 1h;
    std::string error;
    RangeScan scan(*addressrange::parse("10.0.0.0/30 10.0.0.9", error), 2000, t0);
    EXPECT_EQ(scan.due(t0), std::vector<uint32_t>{ip(10, 0, 0, 1)}); // the first at once
    EXPECT_EQ(scan.due(t0 + 1s), (std::vector<uint32_t>{ip(10, 0, 0, 2), ip(10, 0, 0, 9)}));
    EXPECT_TRUE(scan.finished());
    EXPECT_TRUE(scan.due(t0 + 2s).empty());
    EXPECT_EQ(scan.given(), 3u);
}

// Refusals of the C interface come with the user's sentence, cut to the caller's buffer.
struct ApiCase {
    const char *name;
    const char *ranges;
    int32_t rate;
    const char *error;
};

class ScanRange : public testing::TestWithParam<ApiCase> {};

TEST_P(ScanRange, refusesWithItsReason)
{
    const ApiCase &c = GetParam();
    char error[128];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(VEXA_ScanRange(c.ranges, c.rate, error, sizeof error), 0);
    EXPECT_NE(std::string(error).find(c.error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ScanRange,
    testing::Values(ApiCase{"nullRanges", nullptr, 0, "no address range given"},
                    ApiCase{"badRange", "10.0.0.0/8", 0, "at most a /16"},
                    ApiCase{"negativeRate", "10.0.0.0/24", -1, "1..2000"},
                    ApiCase{"rateAboveMax", "10.0.0.0/24", 2001, "1..2000"},
                    ApiCase{"notRunning", "10.0.0.0/24", 2000, "discovery is not running"},
                    ApiCase{"notRunningDefaultRate", "10.0.0.0/24", 0, "discovery is not running"}),
    [](const testing::TestParamInfo<ApiCase> &info) { return std::string(info.param.name); });

TEST(ScanRange, errorTextFitsTheBuffer)
{
    char error[8];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(VEXA_ScanRange("10.0.0.0/8", 0, error, 5), 0);
    EXPECT_STREQ(error, "\"10.");
    EXPECT_EQ(error[5], 'x');
    EXPECT_EQ(VEXA_ScanRange("10.0.0.0/8", 0, nullptr, 0), 0);
    EXPECT_EQ(VEXA_ScanRange("10.0.0.0/8", 0, error, 0), 0);
}

TEST(ScanRange, progressWithoutDiscoveryIsNothing)
{
    uint32_t probed = 7, total = 7;
    int32_t running = 7;
    EXPECT_EQ(VEXA_ScanProgress(&probed, &total, &running), 1);
    EXPECT_EQ(probed, 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(VEXA_ScanProgress(nullptr, &total, &running), 0);
    EXPECT_EQ(VEXA_ScanProgress(&probed, nullptr, &running), 0);
    EXPECT_EQ(VEXA_ScanProgress(&probed, &total, nullptr), 0);
    EXPECT_EQ(VEXA_CancelScan(), 1);
}

} // namespace
