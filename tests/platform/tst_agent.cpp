// vexa-agent without root: its configuration file (what the administrator
// writes is taken exactly, anything else refused with the line that is
// wrong), its state folder, the plan check and the change transaction
// against a fake kernel, the address probe's reading of ARP packets, and the
// demo keys it refuses to provision with.

#include "agentconfig.h"
#include "arpprobe.h"
#include "demokeys.h"
#include "networkchange.h"

#include <vexa/crypto.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

using agent::AgentConfig;
using agent::Backend;

TEST(AgentConfig, keysValuesCommentsAndDefaults)
{
    std::string error;
    const auto c = agent::parseConfig("# a device\n"
                                      "interface = eth1\n"
                                      "  serial=VXA-CAM-42  \n"
                                      "\n"
                                      "type-code = 0x9E10\n"
                                      "type-name = DIY-CAM\n"
                                      "port = 8100\n"
                                      "confirm-window = 0\n"
                                      "backend = hook\n"
                                      "hook = /usr/local/sbin/vexa-hook\n"
                                      "reboot-hook = /usr/local/sbin/vexa-reboot\n",
                                      error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->interface, "eth1");
    EXPECT_EQ(c->serial, "VXA-CAM-42");
    EXPECT_EQ(c->typeCode, 0x9E10u);
    EXPECT_EQ(c->typeName, "DIY-CAM");
    EXPECT_EQ(c->port, 8100);
    EXPECT_EQ(c->httpPort, 80);
    EXPECT_EQ(c->confirmWindowS, 0);
    EXPECT_EQ(c->backend, Backend::Hook);
    EXPECT_EQ(c->hook, "/usr/local/sbin/vexa-hook");
    EXPECT_EQ(c->rebootHook, "/usr/local/sbin/vexa-reboot");

    const auto defaults = agent::parseConfig("", error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->backend, Backend::Netlink);
    EXPECT_EQ(defaults->confirmWindowS, 20);
    EXPECT_EQ(defaults->statePath, "/var/lib/vexa-agent/state.json");
    EXPECT_EQ(defaults->rebootHook, "") << "the agent never restarts the machine unless told how";
}

struct BadConfig {
    const char *name;
    const char *text;
    const char *reason; // part of the error
};

class AgentConfigErrors : public testing::TestWithParam<BadConfig> {};

TEST_P(AgentConfigErrors, refusedWithTheLine)
{
    std::string error;
    EXPECT_FALSE(agent::parseConfig(GetParam().text, error));
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    AgentConfig, AgentConfigErrors,
    testing::Values(BadConfig{"noEquals", "port = 1\ninterface eth0\n", "line 2: expected key = value"},
                    BadConfig{"unknownKey", "colour = red\n", "line 1: unknown key \"colour\""},
                    BadConfig{"portZero", "port = 0\n", "bad value for port"},
                    BadConfig{"portWraps", "http-port = 65536\n", "bad value for http-port"},
                    BadConfig{"notANumber", "heartbeat = 30s\n", "bad value for heartbeat"},
                    BadConfig{"serialTooLong", "serial = 123456789012345678901234567890123456789012345678\n",
                              "bad value for serial"},
                    BadConfig{"typeNameTooLong", "type-name = 123456789012345678901234\n", "bad value for type-name"},
                    BadConfig{"controlCharacter", "type-name = a\tb\n", "bad value for type-name"},
                    BadConfig{"interfaceTooLong", "interface = abcdefghijklmnop\n", "bad value for interface"},
                    BadConfig{"unknownBackend", "backend = dbus\n", "bad value for backend"},
                    BadConfig{"relativeRebootHook", "reboot-hook = reboot.sh\n", "bad value for reboot-hook"},
                    BadConfig{"relativeHook", "backend = hook\nhook = hook.sh\n", "bad value for hook"},
                    BadConfig{"hookMissing", "backend = hook\n", "needs hook"},
                    BadConfig{"relativeState", "state = state.json\n", "bad value for state"}),
    [](const testing::TestParamInfo<BadConfig> &info) { return std::string(info.param.name); });


deviceside::NetworkState net(const char *address, const char *mask, const char *gateway)
{
    deviceside::NetworkState n;
    n.ipv4Addr = address;
    n.ipv4Mask = mask;
    n.ipv4Gateway = gateway;
    n.port = 8000;
    return n;
}

struct PlanCase {
    const char *name;
    deviceside::NetworkState from, to;
    const char *problem; // part of the reason; empty: the plan holds
};

class Plan : public testing::TestWithParam<PlanCase> {};

TEST_P(Plan, isCheckedBeforeTheKernelIsTouched)
{
    const auto problem = agent::planProblem(GetParam().from, GetParam().to);
    if (!*GetParam().problem)
        EXPECT_FALSE(problem) << *problem;
    else if (!problem)
        ADD_FAILURE() << "no problem found";
    else
        EXPECT_NE(problem->find(GetParam().problem), std::string::npos) << *problem;
}

const deviceside::NetworkState kHome = net("192.168.1.64", "255.255.255.0", "192.168.1.1");

INSTANTIATE_TEST_SUITE_P(
    Agent, Plan,
    testing::Values(
        PlanCase{"sameSubnet", kHome, net("192.168.1.65", "255.255.255.0", "192.168.1.1"), ""},
        PlanCase{"newSubnetWithItsGateway", kHome, net("10.0.0.100", "255.255.255.0", "10.0.0.1"), ""},
        PlanCase{"newSubnetWithoutGateway", kHome, net("10.0.0.100", "255.255.255.0", ""), ""},
        // The tool left the gateway alone: the old one lies outside the new subnet.
        PlanCase{"newSubnetKeepingTheOldGateway", kHome, net("172.16.9.100", "255.255.255.0", "192.168.1.1"),
                 "gateway 192.168.1.1 for 172.16.9.100/255.255.255.0: outside the subnet"},
        PlanCase{"narrowerMaskLeavesTheGatewayOut", kHome, net("192.168.1.64", "255.255.255.192", "192.168.1.254"),
                 "outside the subnet"},
        PlanCase{"gatewayIsTheAddress", kHome, net("192.168.1.64", "255.255.255.0", "192.168.1.64"),
                 "the device's own address"},
        PlanCase{"gatewayIsTheNetwork", kHome, net("192.168.1.64", "255.255.255.0", "192.168.1.0"),
                 "network or broadcast"},
        PlanCase{"gatewayIsTheBroadcast", kHome, net("192.168.1.64", "255.255.255.0", "192.168.1.255"),
                 "network or broadcast"},
        PlanCase{"pointToPoint31", kHome, net("10.9.0.0", "255.255.255.254", "10.9.0.1"), ""},
        PlanCase{"multicastGateway", kHome, net("192.168.1.64", "255.255.255.0", "224.0.0.1"),
                 "not an IPv4 unicast gateway"},
        PlanCase{"multicastAddress", kHome, net("239.1.1.1", "255.255.255.0", ""), "not an IPv4 unicast address"},
        PlanCase{"holeInTheMask", kHome, net("192.168.1.64", "255.0.255.0", ""), "not an IPv4 mask"},
        // Only the port changes: a gateway the administrator routes on-link stays theirs.
        PlanCase{"untouchedOddGateway", net("192.168.1.64", "255.255.255.255", "10.0.0.1"),
                 net("192.168.1.64", "255.255.255.255", "10.0.0.1"), ""}),
    [](const testing::TestParamInfo<PlanCase> &info) { return std::string(info.param.name); });

// The kernel as a script: records every step, fails the one it is told to.
class FakeKernel final : public agent::NetworkSteps
{
public:
    bool save(int, std::string &error) override { return step("save", error); }
    bool replaceAddress(int, const deviceside::NetworkState &, const deviceside::NetworkState &to, std::string &error) override
    {
        return step("address " + to.ipv4Addr, error);
    }
    bool replaceDefaultRoute(int, const std::string &gateway, std::string &error) override
    {
        return step("route " + (gateway.empty() ? std::string("-") : gateway), error);
    }
    bool restoreSaved(int, std::string &error) override { return step("restore", error); }

    std::string failing; // the steps that fail (first words, blank-separated)
    std::string steps;   // what was done, ';'-separated

private:
    bool step(const std::string &what, std::string &error)
    {
        steps += (steps.empty() ? "" : ";") + what;
        const std::string name = what.substr(0, what.find(' '));
        if ((" " + failing + " ").find(" " + name + " ") == std::string::npos)
            return true;
        error = what + " refused";
        return false;
    }
};

struct ChangeCase {
    const char *name;
    deviceside::NetworkState to;
    const char *failing;
    bool applied;
    const char *steps;
    const char *error; // part of it, when not applied
};

class Transaction : public testing::TestWithParam<ChangeCase> {};

TEST_P(Transaction, aFailedStepPutsBackWhatWasSaved)
{
    FakeKernel kernel;
    kernel.failing = GetParam().failing;
    agent::NetworkChanger changer(kernel, 3);
    std::string error;
    EXPECT_EQ(changer.apply(kHome, GetParam().to, error), GetParam().applied);
    EXPECT_EQ(kernel.steps, GetParam().steps);
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Agent, Transaction,
    testing::Values(
        ChangeCase{"allStepsTake", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "", true,
                   "save;address 10.0.0.100;route 10.0.0.1", ""},
        ChangeCase{"portOnlyTouchesNothing", net("192.168.1.64", "255.255.255.0", "192.168.1.1"), "", true, "save",
                   ""},
        ChangeCase{"gatewayOnly", net("192.168.1.64", "255.255.255.0", "192.168.1.254"), "", true,
                   "save;route 192.168.1.254", ""},
        ChangeCase{"gatewayDropped", net("192.168.1.64", "255.255.255.0", ""), "", true, "save;route -", ""},
        // The old address took its routes along: the same gateway is routed again.
        ChangeCase{"addressOnlySameGateway", net("192.168.1.65", "255.255.255.0", "192.168.1.1"), "", true,
                   "save;address 192.168.1.65;route 192.168.1.1", ""},
        ChangeCase{"routeStepFails", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "route", false,
                   "save;address 10.0.0.100;route 10.0.0.1;restore", "route 10.0.0.1 refused"},
        ChangeCase{"addressStepFails", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "address", false,
                   "save;address 10.0.0.100;restore", "address 10.0.0.100 refused"},
        ChangeCase{"nothingSavedNothingTouched", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "save", false,
                   "save", "save refused"},
        ChangeCase{"restoreFailsToo", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "route restore", false,
                   "save;address 10.0.0.100;route 10.0.0.1;restore",
                   "route 10.0.0.1 refused; putting back the saved state failed too: restore refused"},
        ChangeCase{"noRestoreWithoutAFailure", net("10.0.0.100", "255.255.255.0", "10.0.0.1"), "restore", true,
                   "save;address 10.0.0.100;route 10.0.0.1", ""}),
    [](const testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

TEST(Transaction, aRollbackRestoresWhatTheChangeSavedOrElseThePreviousParameters)
{
    FakeKernel kernel;
    agent::NetworkChanger changer(kernel, 3);
    std::string error;
    const auto first = net("10.0.0.100", "255.255.255.0", "10.0.0.1");
    ASSERT_TRUE(changer.apply(kHome, first, error));
    kernel.steps.clear();
    ASSERT_TRUE(changer.rollBack(first, kHome, error));
    EXPECT_EQ(kernel.steps, "restore") << "the change's own saved state";

    // Two unconfirmed changes: the state saved is the first one's result, not the confirmed one.
    const auto second = net("10.0.0.101", "255.255.255.0", "10.0.0.1");
    ASSERT_TRUE(changer.apply(kHome, first, error));
    ASSERT_TRUE(changer.apply(first, second, error));
    kernel.steps.clear();
    ASSERT_TRUE(changer.rollBack(second, kHome, error));
    EXPECT_EQ(kernel.steps, "address 192.168.1.64;route 192.168.1.1");
    kernel.steps.clear();
    ASSERT_TRUE(changer.rollBack(second, kHome, error));
    EXPECT_EQ(kernel.steps, "address 192.168.1.64;route 192.168.1.1") << "a saved state is used once";
}

TEST(Transaction, theRollbackOfAFailedChangeRetriesOnlyWhatWasNotPutBack)
{
    FakeKernel kernel;
    agent::NetworkChanger changer(kernel, 3);
    std::string error;
    const auto next = net("10.0.0.100", "255.255.255.0", "10.0.0.1");
    kernel.failing = "route";
    ASSERT_FALSE(changer.apply(kHome, next, error));
    kernel.steps.clear();
    EXPECT_TRUE(changer.rollBack(kHome, kHome, error));
    EXPECT_EQ(kernel.steps, "") << "put back at once: nothing left to roll back";

    kernel.failing = "route restore";
    ASSERT_FALSE(changer.apply(kHome, next, error));
    kernel.failing.clear();
    kernel.steps.clear();
    EXPECT_TRUE(changer.rollBack(kHome, kHome, error));
    EXPECT_EQ(kernel.steps, "restore") << "the restore that failed is tried again";
}

// An ARP packet (Ethernet, IPv4) from `sender`, as a packet socket gives it.
std::vector<uint8_t> arp(uint16_t op, uint8_t senderLast, const char *senderIp, const char *targetIp)
{
    std::vector<uint8_t> p{0, 1, 0x08, 0x00, 6, 4, uint8_t(op >> 8), uint8_t(op), 0x02, 0, 0, 0, 0, senderLast};
    const auto put = [&p](const char *ip) {
        const uint32_t v = *deviceside::parseIpv4(ip);
        const auto *b = reinterpret_cast<const uint8_t *>(&v);
        p.insert(p.end(), b, b + 4);
    };
    put(senderIp);
    p.insert(p.end(), 6, 0);
    put(targetIp);
    return p;
}

struct ArpCase {
    const char *name;
    std::vector<uint8_t> packet;
    bool claims;
};

class Claims : public testing::TestWithParam<ArpCase> {};

TEST_P(Claims, onlyAnotherHostNamingTheAddressClaimsIt)
{
    const agent::HardwareAddress own{0x02, 0, 0, 0, 0, 0x64};
    EXPECT_EQ(agent::claimsAddress(GetParam().packet, *deviceside::parseIpv4("10.0.0.100"), own), GetParam().claims);
}

std::vector<uint8_t> withByte(std::vector<uint8_t> p, size_t at, uint8_t value)
{
    p.at(at) = value;
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Agent, Claims,
    testing::Values(ArpCase{"replyFromTheHolder", arp(2, 0x07, "10.0.0.100", "0.0.0.0"), true},
                    ArpCase{"holderAsksSomeone", arp(1, 0x07, "10.0.0.100", "10.0.0.1"), true},
                    ArpCase{"someoneElseProbesForIt", arp(1, 0x07, "0.0.0.0", "10.0.0.100"), true},
                    ArpCase{"ourOwnProbeEchoed", arp(1, 0x64, "0.0.0.0", "10.0.0.100"), false},
                    ArpCase{"ourOwnReply", arp(2, 0x64, "10.0.0.100", "0.0.0.0"), false},
                    ArpCase{"replyForAnotherAddress", arp(2, 0x07, "10.0.0.101", "0.0.0.0"), false},
                    ArpCase{"someoneAsksForIt", arp(1, 0x07, "10.0.0.1", "10.0.0.100"), false},
                    ArpCase{"unknownOperation", arp(3, 0x07, "10.0.0.100", "0.0.0.0"), false},
                    ArpCase{"notEthernet", withByte(arp(2, 0x07, "10.0.0.100", "0.0.0.0"), 1, 6), false},
                    ArpCase{"notIpv4", withByte(arp(2, 0x07, "10.0.0.100", "0.0.0.0"), 3, 0xdd), false},
                    ArpCase{"oddAddressLength", withByte(arp(2, 0x07, "10.0.0.100", "0.0.0.0"), 5, 16), false},
                    ArpCase{"truncated", std::vector<uint8_t>(27, 0), false},
                    ArpCase{"empty", {}, false}),
    [](const testing::TestParamInfo<ArpCase> &info) { return std::string(info.param.name); });

TEST(DemoKeys, theDemoKeysAreKnownAndNoOthers)
{
    for (const char *file : {DEMO_KEY_DIR "/demo-manufacturer.key", DEMO_KEY_DIR "/demo-factory.key"}) {
        const auto key = vexa::crypto::readFactoryKey(file);
        ASSERT_TRUE(key) << file;
        EXPECT_TRUE(agent::isDemoKey(*key)) << file;
        auto other = *key;
        other[31] ^= 1;
        EXPECT_FALSE(agent::isDemoKey(other));
    }
    EXPECT_FALSE(agent::isDemoKey({}));
    EXPECT_FALSE(agent::isDemoKey(vexa::crypto::randomArray<32>()));
}

class StateFolder : public testing::TestWithParam<mode_t> {};

TEST_P(StateFolder, aFreshMachineGetsItWithItsModesWhateverTheUmask)
{
    char tmpl[] = "/tmp/tst_agent.XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    const mode_t saved = ::umask(GetParam());
    std::string error;
    const bool made = agent::makeStateDirectory(root + "/var/lib/vexa-agent/state.json", error);
    const bool again = agent::makeStateDirectory(root + "/var/lib/vexa-agent/state.json", error);
    ::umask(saved);
    EXPECT_TRUE(made) << error;
    EXPECT_TRUE(again) << error;
    const auto mode = [](const std::string &path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(root + "/var"), 0755u);
    EXPECT_EQ(mode(root + "/var/lib"), 0755u);
    EXPECT_EQ(mode(root + "/var/lib/vexa-agent"), 0700u);

    // A file where the folder should be: a clear error, not a crash.
    std::filesystem::create_directories(root + "/blocked");
    { std::ofstream(root + "/blocked/file") << "x"; }
    EXPECT_FALSE(agent::makeStateDirectory(root + "/blocked/file/sub/state.json", error));
    EXPECT_NE(error.find("cannot create the state folder"), std::string::npos) << error;
    std::filesystem::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Agent, StateFolder, testing::Values(mode_t(0), mode_t(022), mode_t(077)));

} // namespace
