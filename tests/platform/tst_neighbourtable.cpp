// The neighbour table names an ONVIF device's MAC only from a complete entry
// for its own address with one unicast MAC; anything else names none.

#include <vexa/address.h>
#include <vexa/neighbourtable.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using namespace vexa;

const std::string kHeader = "IP address       HW type     Flags       HW address            Mask     Device\n";

std::string entry(const std::string &ip, const std::string &flags, const std::string &mac,
                  const std::string &dev = "vx0")
{
    return ip + "        0x1         " + flags + "         " + mac + "     *        " + dev + "\n";
}

struct TableCase {
    const char *name;
    std::optional<std::string> table; // nothing: no file at all
    std::string mac;                  // expected for 10.0.0.64; empty: none
};

class NeighbourTable : public testing::TestWithParam<TableCase> {};

TEST_P(NeighbourTable, namesTheMacOfACompleteUnicastEntryOnly)
{
    const TableCase &c = GetParam();
    const std::string path = testing::TempDir() + "arp-" + std::to_string(getpid()) + "-" + c.name;
    if (c.table)
        std::ofstream(path, std::ios::binary) << *c.table;
    const auto mac = neighbourtable::Table::read(path).macOf(*address::parseIpv4("10.0.0.64"));
    EXPECT_EQ(mac ? address::formatMac(*mac) : std::string(), c.mac);
    std::remove(path.c_str());
}

const std::string kOverlongPrefix(300, ' ');

INSTANTIATE_TEST_SUITE_P(
    Entries, NeighbourTable,
    testing::Values(
        TableCase{"complete", kHeader + entry("10.0.0.6", "0x2", "02:00:00:00:00:06")
                      + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01") + entry("110.0.0.64", "0x2", "02:00:00:00:00:07"),
                  "02:4e:53:00:00:01"},
        TableCase{"permanentUpperCase", kHeader + entry("10.0.0.64", "0x6", "02:4E:53:0A:0B:0C"), "02:4e:53:0a:0b:0c"},
        TableCase{"incomplete", kHeader + entry("10.0.0.64", "0x0", "02:4e:53:00:00:01"), ""},
        TableCase{"allZero", kHeader + entry("10.0.0.64", "0x2", "00:00:00:00:00:00"), ""},
        TableCase{"multicast", kHeader + entry("10.0.0.64", "0x2", "01:00:5e:00:00:01"), ""},
        TableCase{"otherAddressOnly", kHeader + entry("10.0.0.65", "0x2", "02:4e:53:00:00:01"), ""},
        TableCase{"twoLinksDisagree",
                  kHeader + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01")
                      + entry("10.0.0.64", "0x2", "02:4e:53:00:00:02", "vx1"),
                  ""},
        TableCase{"twoLinksAgree",
                  kHeader + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01")
                      + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01", "vx1"),
                  "02:4e:53:00:00:01"},
        // Each broken line is dropped alone: the good entry after them still counts.
        TableCase{"malformedLinesSkipped",
                  kHeader + "10.0.0.64 0x1 2 02:4e:53:00:00:09 * vx0\n" + "10.0.0.64 0x1 0x2z 02:4e:53:00:00:09 * vx0\n"
                      + "10.0.0.64 0x1 0x 02:4e:53:00:00:09 * vx0\n" + "10.0.0.64 0x1 0x2 02:4e:53:00:00 * vx0\n"
                      + "10.0.0.64 0x1 0x2 02:4e:53:00:00:09 * vx0 extra\n"
                      + "010.0.0.64 0x1 0x2 02:4e:53:00:00:09 * vx0\n"
                      + std::string("10.0.0.64\0 0x1 0x2 02:4e:53:00:00:09 * vx0\n", 43)
                      + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01"),
                  "02:4e:53:00:00:01"},
        // An overlong line is no entry, not even its end that looks like one.
        TableCase{"overlongLine", kHeader + kOverlongPrefix + entry("10.0.0.64", "0x2", "02:4e:53:00:00:01"), ""},
        TableCase{"missingFile", std::nullopt, ""}),
    [](const testing::TestParamInfo<TableCase> &info) { return std::string(info.param.name); });

} // namespace
