#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

struct MHD_Daemon;

namespace deviceside {

/**
 * The HTTP side of the simulated ONVIF devices: one embedded HTTP server
 * (libmicrohttpd) for all of them, fed by one listening socket per device
 * address and port, so a thousand devices need two threads, not a thousand.
 */
class OnvifHttp
{
public:
    /** One POST to a device: the local address it reached (network order; 0 over IPv6), its port, its body. */
    struct Call {
        uint32_t addr = 0;
        bool v6 = false; ///< it came over IPv6 (to one of the host's link-local addresses)
        uint16_t port = 0;
        std::string_view body;
        /** Checks the request's HTTP Digest answer against `password`: 1 proven, 0 absent or wrong, -1 stale nonce. */
        std::function<int(const std::string &password)> digest;
    };
    struct Reply {
        int status = 200;
        std::string body;
        bool challenge = false; // 401 with a Digest challenge
        bool stale = false;
    };
    using Serve = std::function<Reply(const Call &)>;
    static constexpr const char *kRealm = "ONVIF";

    explicit OnvifHttp(Serve serve);
    ~OnvifHttp();
    OnvifHttp(const OnvifHttp &) = delete;
    OnvifHttp &operator=(const OnvifHttp &) = delete;

    /** Starts the server and the accept thread; false with a reason when that fails. */
    bool start(std::string &error);
    /** Accepts connections to `addr`:`port` (network order, host order); false with a reason when it cannot bind. */
    bool listen(uint32_t addr, uint16_t port, std::string &error);
    /** Accepts connections over IPv6 to `port` on any of the host's addresses; false with a reason. */
    bool listen6(uint16_t port, std::string &error);
    /** Stops accepting on `addr`:`port`; connections already open finish. */
    void unlisten(uint32_t addr, uint16_t port);

private:
    static int answer(void *self, void *connection, const char *url, const char *method, const char *version,
                      const char *data, size_t *size, void **context);
    void acceptLoop();
    /** Accepts on listening socket `fd` under `key`; false when there is none (-1: listening failed). */
    bool keep(int fd, uint64_t key);
    void wake();

    Serve m_serve;
    MHD_Daemon *m_daemon = nullptr;
    std::mutex m_mutex;
    std::map<uint64_t, int> m_listeners; // addr << 16 | port -> socket; IPv6: 1 << 48 | port
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace deviceside
