#include "neighbourtable.h"

#include "address.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace vexa::neighbourtable {

namespace {

// The kernel writes lines of about 80 characters; anything longer is not one of them.
constexpr size_t kMaxLine = 256;
// Far above the kernel's default limit of 1024 neighbours; a bigger table is not read to its end.
constexpr size_t kMaxLines = 1 << 16;
constexpr unsigned kComplete = 0x2; // ATF_COM: the hardware address is resolved

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    size_t at = 0;
    while ((at = line.find_first_not_of(" \t\n", at)) != std::string_view::npos) {
        const size_t end = std::min(line.find_first_of(" \t\n", at), line.size());
        out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

std::optional<unsigned> hexFlags(std::string_view text)
{
    unsigned value = 0;
    if (!text.starts_with("0x") || text.size() < 3)
        return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

// "IP address  HW type  Flags  HW address  Mask  Device": the entry's MAC when it counts.
std::optional<wire::Mac> entryMac(std::string_view line, const wire::Ipv4 &addr)
{
    const auto w = words(line);
    if (w.size() != 6 || address::parseIpv4(w[0]) != addr)
        return std::nullopt;
    const auto flags = hexFlags(w[2]);
    if (!flags || !(*flags & kComplete))
        return std::nullopt;
    const auto mac = address::parseMac(w[3]);
    // Group addresses (bit 0 of the first octet) and all zeros name no single device.
    if (!mac || ((*mac)[0] & 1) || *mac == wire::Mac{})
        return std::nullopt;
    return mac;
}

} // namespace

std::optional<wire::Mac> macOf(const wire::Ipv4 &addr, const std::string &path)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "re"), &std::fclose);
    if (!file)
        return std::nullopt;
    std::optional<wire::Mac> found;
    std::string line;
    bool broken = false; // too long or holding a NUL byte: no entry, whatever it looks like
    size_t lines = 0;
    for (int c; lines < kMaxLines && (c = std::getc(file.get())) != EOF;) {
        if (c != '\n') {
            broken = broken || c == '\0' || line.size() == kMaxLine;
            if (!broken)
                line += char(c);
            continue;
        }
        ++lines;
        const auto mac = broken ? std::nullopt : entryMac(line, addr);
        line.clear();
        broken = false;
        if (!mac)
            continue;
        // One address resolved to different devices on two links: neither is known to be the one.
        if (found && *found != *mac)
            return std::nullopt;
        found = mac;
    }
    return found;
}

} // namespace vexa::neighbourtable
