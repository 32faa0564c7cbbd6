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

struct Entry {
    wire::Ipv4 addr;
    wire::Mac mac;
};

// "IP address  HW type  Flags  HW address  Mask  Device": the entry when it counts.
std::optional<Entry> entryOf(std::string_view line)
{
    const auto w = words(line);
    const auto addr = w.size() == 6 ? address::parseIpv4(w[0]) : std::nullopt;
    if (!addr)
        return std::nullopt;
    const auto flags = hexFlags(w[2]);
    if (!flags || !(*flags & kComplete))
        return std::nullopt;
    const auto mac = address::parseMac(w[3]);
    // Group addresses (bit 0 of the first octet) and all zeros name no single device.
    if (!mac || ((*mac)[0] & 1) || *mac == wire::Mac{})
        return std::nullopt;
    return Entry{*addr, *mac};
}

} // namespace

Table Table::read(const std::string &path)
{
    Table table;
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "re"), &std::fclose);
    if (!file)
        return table;
    // Large reads: the kernel walks the table from its start for every read of /proc/net/arp.
    std::vector<char> chunk(1 << 18);
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    std::string line;
    bool broken = false; // too long or holding a NUL byte: no entry, whatever it looks like
    size_t lines = 0;
    for (size_t n; lines < kMaxLines && (n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;) {
        for (size_t i = 0; i < n && lines < kMaxLines; ++i) {
            const char c = chunk[i];
            if (c != '\n') {
                broken = broken || c == '\0' || line.size() == kMaxLine;
                if (!broken)
                    line += c;
                continue;
            }
            ++lines;
            const auto entry = broken ? std::nullopt : entryOf(line);
            line.clear();
            broken = false;
            if (!entry)
                continue;
            // One address resolved to different devices on two links: neither is known to be the one.
            const auto [at, fresh] = table.m_entries.try_emplace(address::toHostOrder(entry->addr), entry->mac);
            if (!fresh && at->second != entry->mac)
                at->second.reset();
        }
    }
    return table;
}

std::optional<wire::Mac> Table::macOf(const wire::Ipv4 &addr) const
{
    const auto it = m_entries.find(address::toHostOrder(addr));
    return it == m_entries.end() ? std::nullopt : it->second;
}

} // namespace vexa::neighbourtable
