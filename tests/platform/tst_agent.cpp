// vexa-agent's configuration file: what the administrator writes is taken
// exactly, and anything else is refused with the line that is wrong.

#include "agentconfig.h"

#include <gtest/gtest.h>

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
                                      "hook = /usr/local/sbin/vexa-hook\n",
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

    const auto defaults = agent::parseConfig("", error);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->backend, Backend::Netlink);
    EXPECT_EQ(defaults->confirmWindowS, 20);
    EXPECT_EQ(defaults->statePath, "/var/lib/vexa-agent/state.json");
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
                    BadConfig{"relativeHook", "backend = hook\nhook = hook.sh\n", "bad value for hook"},
                    BadConfig{"hookMissing", "backend = hook\n", "needs hook"},
                    BadConfig{"relativeState", "state = state.json\n", "bad value for state"}),
    [](const testing::TestParamInfo<BadConfig> &info) { return std::string(info.param.name); });

} // namespace
