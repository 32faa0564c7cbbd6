// ONVIF devices beside VXDP ones, through the library's C interface against
// the real simulator on loopback: one report per device whatever it speaks,
// the record's fields from WS-Discovery, Bye and the clean exit.

#include "vexa.h"

#include "devsimprocess.h"
#include "onvifsim.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>
#include <fstream>
#include <map>
#include <mutex>
#include <cstdlib>
#include <unistd.h>

namespace {

// Nothing this test sends may leave the machine, even when it runs outside CTest.
const int g_loopbackOnly = setenv("VEXA_INTERFACES", "lo", 1);

using namespace std::chrono_literals;
using devsim::DevsimProcess;

// Every report, by device, with how many rows the device has in the page.
class Rows {
public:
    // Reports under `serial` are about the device known as `device`.
    void alias(const std::string &serial, const std::string &device) { m_alias[serial] = device; }
    static void callback(const VEXA_DEVICE_REPORT *r, void *user) { static_cast<Rows *>(user)->add(*r); }
    void add(const VEXA_DEVICE_REPORT &r)
    {
        std::lock_guard lock(m_mutex);
        const auto alias = m_alias.find(r.serialNo);
        const std::string key = alias == m_alias.end() ? std::string(r.serialNo) : alias->second;
        int &rows = m_rows[key];
        if (r.eventCode == VEXA_EVENT_ONLINE || r.eventCode == VEXA_EVENT_ANNOUNCE)
            ++rows;
        else if (r.eventCode == VEXA_EVENT_OFFLINE)
            --rows;
        m_maxRows[key] = std::max(m_maxRows[key], rows);
        m_last[key] = r;
        m_cv.notify_all();
    }
    // Waits until `serial` shows `rows` rows; its last report.
    std::optional<VEXA_DEVICE_REPORT> waitFor(const std::string &serial, int rows)
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, 10s, [&] { return m_rows[serial] == rows && m_last.count(serial); }))
            return std::nullopt;
        return m_last[serial];
    }
    int maxRows(const std::string &serial)
    {
        std::lock_guard lock(m_mutex);
        return m_maxRows[serial];
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<std::string, std::string> m_alias;
    std::map<std::string, int> m_rows, m_maxRows;
    std::map<std::string, VEXA_DEVICE_REPORT> m_last;
};

nlohmann::json device(const std::string &serial, int last, const std::string &addr, const char *protocols)
{
    const unsigned pid = unsigned(getpid());
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:%02x:%02x:%02x:4f:%02x", pid >> 16 & 0xFF, pid >> 8 & 0xFF, pid & 0xFF, last);
    return {{"serialNo", serial}, {"macAddr", mac}, {"ipv4Addr", addr}, {"ipv4Mask", "255.0.0.0"},
            {"typeCode", "0x2011"}, {"typeName", "IPC 2120/W"}, {"port", 8000}, {"httpPort", 8080},
            {"protocols", protocols}};
}

TEST(OnvifE2E, everyDeviceOnceWhateverItSpeaksAndByeRemovesTheOnvifOne)
{
    const std::string tag = "OE" + std::to_string(getpid());
    // Addresses of this process's own on loopback.
    const std::string net = "127.77." + std::to_string(getpid() % 250) + ".";
    const nlohmann::json devices = {device(tag + "V", 1, net + "1", "vxdp"), device(tag + "O", 2, net + "2", "onvif"),
                                    device(tag + "B", 3, net + "3", "both")};
    const std::string path = testing::TempDir() + tag + ".json";
    std::ofstream(path) << nlohmann::json{{"password", "demo1234"}, {"devices", devices}}.dump();

    devsim::DeviceInfo onvifInfo, bothInfo;
    onvifInfo.serialNo = tag + "O";
    bothInfo.serialNo = tag + "B";
    const std::string onvifSerial = devsim::OnvifSimulator::endpointOf(onvifInfo);
    const std::string bothEndpoint = devsim::OnvifSimulator::endpointOf(bothInfo);

    auto sim = std::make_unique<DevsimProcess>(DevsimProcess::programDir() + "/vexa-devsim",
                                               std::vector<std::string>{"--devices", path, "--no-boot-announce"});
    ASSERT_TRUE(sim->running());
    ASSERT_EQ(sim->line(), "ready 3 devices");

    Rows rows;
    rows.alias(bothEndpoint, tag + "B");
    ASSERT_EQ(VEXA_Start_V30(&Rows::callback, 0, &rows), 1);
    ASSERT_EQ(VEXA_SendInquiry(), 1);
    const auto onvif = rows.waitFor(onvifSerial, 1);
    ASSERT_TRUE(onvif);
    EXPECT_STREQ(onvif->protocol, "ONVIF");
    EXPECT_EQ(onvif->eventCode, VEXA_EVENT_ONLINE);
    EXPECT_EQ(std::string(onvif->ipv4Addr), net + "2");
    EXPECT_EQ(onvif->typeCode, 0x2F00);
    EXPECT_STREQ(onvif->typeName, "IPC 2120/W");
    EXPECT_EQ(onvif->port, 8080);
    EXPECT_STREQ(onvif->sourceAddr, "127.0.0.1");
    ASSERT_TRUE(rows.waitFor(tag + "V", 1));
    // The device speaking both protocols is listed by its VXDP record, and never twice.
    std::this_thread::sleep_for(1500ms);
    const auto both = rows.waitFor(tag + "B", 1);
    ASSERT_TRUE(both);
    EXPECT_STREQ(both->protocol, "VXDP/1");
    EXPECT_EQ(rows.maxRows(tag + "B"), 1);
    EXPECT_EQ(rows.maxRows(onvifSerial), 1);

    // A clean exit: Bye takes the ONVIF device's row away, VXDP goodbyes the others.
    EXPECT_EQ(sim->quit(), 0);
    const auto gone = rows.waitFor(onvifSerial, 0);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->eventCode, VEXA_EVENT_OFFLINE);
    EXPECT_TRUE(rows.waitFor(tag + "B", 0));
    EXPECT_EQ(VEXA_Stop(), 1);
}

} // namespace
