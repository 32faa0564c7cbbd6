#pragma once

// One running discovery: a socket on the tool group, the receive thread and
// the table of devices heard, turned into report callbacks.

#include <packet/netaddress.h>
#include "proofcache.h"
#include "tokenbucket.h"
#include "vexa.h"
#include "wire.h"

#include <atomic>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct PKT_Driver;

namespace packet {
class Socket;
struct Received;
} // namespace packet

namespace vexa {

class ClaimChecker;
class OnvifDiscovery;

class Discovery final {
public:
    /** Opens the socket and starts the receive thread; null on failure. */
    static std::unique_ptr<Discovery> start(const PKT_Driver *driver, VEXA_REPORT_CALLBACK callback,
                                            void *userData);
    /** Stops and joins the receive thread: no callback runs after it returns. */
    ~Discovery();
    Discovery(const Discovery &) = delete;
    Discovery &operator=(const Discovery &) = delete;

    /** Multicasts one inquiry, repeated for the devices not heard in the following
     *  second; callable from any thread, the callback included. */
    bool sendInquiry();

    /** Whether an online VXDP device reports `mac`; callable from any thread. */
    bool holdsMac(const wire::Mac &mac) const;

    /** The ONVIF side of this discovery. */
    OnvifDiscovery &onvif() { return *m_onvif; }

    /** True on the receive thread of any discovery: where Start and Stop must not be called. */
    static bool onReceiveThread();

private:
    using Clock = std::chrono::steady_clock;

    struct Key {
        std::string serial;
        wire::Mac mac;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key &k) const;
    };
    // Who keeps a place in a full table, lowest first: a newcomer may take
    // the place of the least recently heard device of a lower rank.
    enum class Rank : uint8_t { Offline, Unsolicited, Solicited, Certified };
    static constexpr size_t kRanks = 4;
    struct Device {
        wire::DeviceInfo info;
        wire::PublicKey publicKey{};
        packet::Address sourceAddr;
        packet::Address linkLocal; // the device's IPv6 link-local source, with its zone; none until heard so
        Clock::time_point lastHeard;
        Clock::duration heartbeat;
        Clock::duration silenceLimit;
        Clock::time_point lastProbe;
        std::optional<Clock::time_point> goodbyeAt; // a GOODBYE heard since the device was last heard
        uint32_t hint = 0; // the device's answer hint for this run's tool id
        bool online = false;
        bool solicited = false; // answered this run's inquiry
        bool certified = false; // its claim checked: listed as the certificate (and signature) say
        bool checking = false;  // its claim is being checked: it holds its identity against ONVIF records meanwhile
        bool signedAnnounce = false; // revision 5: only a checked signature may change its listing
        Claim::Digest proof{};       // the checked claim it is listed by
        uint64_t counter = 0;        // of the signed announcement it is listed by
        std::optional<packet::Address> charged; // source whose newcomer budget it took while unchecked
        std::optional<packet::Address> owing;   // source that listed it past its budget: charged if its claim fails
        packet::Address reportedAddr; // the address this device holds in m_vxdpAddrs; none when it holds none
        bool holdsMac = false;     // counted in m_vxdpMacs
        bool holdsIdentity = false; // certified and online: counted in m_certifiedIds
        Rank listed = Rank::Offline;            // whose list `place` is in
        std::list<const Key *>::iterator place; // in m_byRank[listed]
        Rank rank() const;
    };
    // New identities one source may bring: a burst as big as a large simulator, then a steady rate.
    struct Bucket {
        TokenBucket budget;
        std::list<packet::Address>::iterator place; // in m_sourceOrder
        bool claimFailed = false; // a claim from it failed its check: no more listing on trust
    };
    // How a newcomer got its place: on its source's budget, or past it on the
    // strength of a claim still being checked from a source whose claims all held.
    enum class Admission : uint8_t { Refused, Free, Charged, Owing };
    // The inquiry whose repeat rounds are running.
    struct Burst {
        uint16_t number = 0; // 0: no inquiry sent yet
        Clock::time_point nextRound;
        uint8_t roundsSent = 0;
    };

    Discovery(std::unique_ptr<packet::Socket> socket, VEXA_REPORT_CALLBACK callback, void *userData);
    bool startOnvif(const PKT_Driver *driver);
    void run();
    int msUntilRepeat(Clock::time_point now);
    /** Sends the next round when due; `drained`: no answer is waiting on the socket. */
    void repeatInquiry(Clock::time_point now, bool drained);
    void sendTwice(const std::vector<wire::Bytes> &datagrams);
    void probe(const std::vector<uint32_t> &hints);
    std::vector<wire::Bytes> repeatDatagrams(uint16_t burst, uint8_t round) const;
    void handle(std::span<const uint8_t> datagram, const packet::Received &info, Clock::time_point now);
    /** `heard`: when the datagram arrived; earlier than `now` for a claim handled again once checked. */
    void onAnnounce(const wire::Announce &announce, std::span<const uint8_t> datagram,
                    const packet::Address &sourceAddr, Clock::time_point now, Clock::time_point heard);
    enum class ClaimState : uint8_t { None, Checking, Proven };
    /** Whether the claim is proven; queues its check when it is unknown. */
    ClaimState proven(const Claim &claim, const Device *known, std::span<const uint8_t> datagram,
                      const packet::Address &sourceAddr, Clock::time_point heard);
    void onChecked(Clock::time_point now);
    bool charge(const packet::Address &sourceAddr, Clock::time_point now);
    void refund(const packet::Address &sourceAddr);
    void onGoodbye(const wire::Goodbye &goodbye, Clock::time_point now);
    void heard(const std::string &serial, const wire::Mac &mac, Clock::time_point now);
    Admission admitNewcomer(Rank rank, bool claimant, const packet::Address &sourceAddr, Clock::time_point now);
    bool makeRoom(Rank rank, Clock::time_point now);
    void evict(std::unordered_map<Key, Device, KeyHash>::iterator device);
    void claimFailed(const wire::Announce &announce, const packet::Address &sourceAddr, Clock::time_point now);
    void rerank(Device &device);
    void expireSilent(Clock::time_point now);
    void report(Device &device, int eventCode);
    void updateHoldings(Device &device, bool online);

    std::unique_ptr<packet::Socket> m_socket;
    VEXA_REPORT_CALLBACK m_callback;
    void *m_userData;
    wire::ToolId m_toolId;
    std::unordered_map<Key, Device, KeyHash> m_devices; // receive thread only
    Clock::time_point m_lastNewDevice; // receive thread only: when a device last came online
    std::mutex m_burstMutex; // guards m_burst and m_probeRound, orders the inquiry datagrams
    Burst m_burst;
    uint8_t m_probeRound = 5; // cycles through the rounds above an inquiry's own
    std::array<std::list<const Key *>, kRanks> m_byRank; // least recently heard first
    std::unordered_map<packet::Address, Bucket, packet::AddressHash> m_buckets; // by source address
    std::list<packet::Address> m_sourceOrder;                   // sources, least recently charged first
    std::unordered_set<Claim::Digest, ClaimDigestHash> m_pending; // claims being checked: receive thread only
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    // Serialises the callback between this thread and the ONVIF ones, and
    // guards the addresses online VXDP devices hold (one device, two protocols).
    std::mutex m_gate;
    std::unordered_map<packet::Address, uint32_t, packet::AddressHash> m_vxdpAddrs; // -> certified devices holding it
    std::unordered_map<std::string, uint32_t> m_certifiedIds; // "s" serial, "m" MAC -> certified devices online
    mutable std::mutex m_macMutex; // taken alone, never around another lock
    std::map<wire::Mac, uint32_t> m_vxdpMacs; // MACs online devices report -> how many report it
    std::unique_ptr<OnvifDiscovery> m_onvif;
    std::unique_ptr<ClaimChecker> m_checker; // its workers wake the receive thread when checks are done
};

} // namespace vexa
