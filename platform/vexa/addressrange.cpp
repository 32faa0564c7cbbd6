#include "addressrange.h"

#include <algorithm>

namespace vexa::addressrange {

namespace {

// A decimal number of at most `digits` digits, without sign or leading zero.
std::optional<unsigned> number(std::string_view text, size_t digits)
{
    if (text.empty() || text.size() > digits || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    unsigned n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + unsigned(c - '0');
    }
    return n;
}

std::optional<uint32_t> dottedQuad(std::string_view text)
{
    uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos)
            return std::nullopt;
        const auto octet = number(text.substr(0, dot), 3);
        if (!octet || *octet > 255)
            return std::nullopt;
        value = value << 8 | *octet;
        text.remove_prefix(std::min(text.size(), dot + 1));
    }
    return value;
}

std::string quoted(std::string_view item)
{
    return "\"" + std::string(item) + "\"";
}

std::string formatQuad(uint32_t a)
{
    return std::to_string(a >> 24) + '.' + std::to_string(a >> 16 & 255) + '.' + std::to_string(a >> 8 & 255) + '.'
        + std::to_string(a & 255);
}

std::optional<Span> item(std::string_view text, std::string &error)
{
    const size_t slash = text.find('/');
    const auto base = dottedQuad(text.substr(0, slash));
    if (!base) {
        error = quoted(text) + " is not an IPv4 address (four decimal numbers 0-255, e.g. 10.1.0.0/16)";
        return std::nullopt;
    }
    unsigned prefix = 32;
    if (slash != std::string_view::npos) {
        const auto n = number(text.substr(slash + 1), 2);
        if (!n || *n > 32) {
            error = quoted(text) + ": the prefix length after '/' must be a number from 16 to 32";
            return std::nullopt;
        }
        if (*n < kMinPrefix) {
            error = quoted(text) + ": a range may be at most a /16 (65536 addresses); split it into /16s";
            return std::nullopt;
        }
        prefix = *n;
    }
    const uint32_t hostMask = prefix == 32 ? 0 : ~uint32_t(0) >> prefix;
    if (*base & hostMask) {
        error = quoted(text) + " has host bits set: the range is " + formatQuad(*base & ~hostMask) + '/'
            + std::to_string(prefix);
        return std::nullopt;
    }
    const uint32_t last = *base | hostMask;
    if (*base >> 24 == 0 || last >> 28 >= 0xE) {
        error = quoted(text) + " is not a range of unicast addresses";
        return std::nullopt;
    }
    // The network and broadcast addresses of a subnet are no device's.
    if (prefix <= 30)
        return Span{*base + 1, last - 1};
    return Span{*base, last};
}

} // namespace

std::optional<std::vector<Span>> parse(std::string_view text, std::string &error)
{
    std::vector<Span> spans;
    size_t items = 0;
    constexpr std::string_view kSeparators = ", \t\r\n";
    while (true) {
        const size_t start = text.find_first_not_of(kSeparators);
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        const size_t end = std::min(text.size(), text.find_first_of(kSeparators));
        const auto span = item(text.substr(0, end), error);
        if (!span)
            return std::nullopt;
        if (++items > kMaxRanges) {
            error = "at most " + std::to_string(kMaxRanges) + " ranges at once";
            return std::nullopt;
        }
        spans.push_back(*span);
        text.remove_prefix(end);
    }
    if (spans.empty()) {
        error = "no address range given (e.g. 10.1.0.0/16)";
        return std::nullopt;
    }
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.first < b.first; });
    std::vector<Span> merged;
    for (const Span &s : spans) {
        if (!merged.empty() && uint64_t(s.first) <= uint64_t(merged.back().last) + 1)
            merged.back().last = std::max(merged.back().last, s.last);
        else
            merged.push_back(s);
    }
    if (count(merged) > kMaxAddresses) {
        error = "the ranges hold more than " + std::to_string(kMaxAddresses) + " addresses; scan fewer at once";
        return std::nullopt;
    }
    error.clear();
    return merged;
}

uint64_t count(const std::vector<Span> &spans)
{
    uint64_t n = 0;
    for (const Span &s : spans)
        n += s.size();
    return n;
}

} // namespace vexa::addressrange
