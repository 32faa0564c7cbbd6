#include "onvifhttp.h"

#include <vexa/soap.h>

#include <microhttpd.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace deviceside {

namespace {

// The body of the request being read; dropped when it grows past the cap.
struct Upload {
    std::string body;
    bool tooLarge = false;
};

MHD_Result queue(MHD_Connection *connection, const OnvifHttp::Reply &reply)
{
    MHD_Response *response = MHD_create_response_from_buffer(reply.body.size(), const_cast<char *>(reply.body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", "application/soap+xml; charset=utf-8");
    const MHD_Result rc = reply.challenge
        ? MHD_queue_auth_fail_response2(connection, OnvifHttp::kRealm, "devsim", response, reply.stale ? MHD_YES : MHD_NO,
                                        MHD_DIGEST_ALG_MD5)
        : MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return rc;
}

// A listening socket on `local`, or -1 with errno telling why (EADDRNOTAVAIL: the host does not hold the address).
int listening(int family, const sockaddr *local, socklen_t length, const std::string &name, std::string &error)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    // IPv6 alone: IPv4 connections go to the devices' own IPv4 addresses.
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || (family == AF_INET6 && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0)
        || bind(fd, local, length) != 0 || ::listen(fd, 64) != 0) {
        const int why = errno;
        error = "cannot listen on " + name + ": " + std::strerror(why);
        if (fd >= 0)
            ::close(fd);
        errno = why;
        return -1;
    }
    return fd;
}

} // namespace

OnvifHttp::OnvifHttp(Serve serve) : m_serve(std::move(serve)) {}

OnvifHttp::~OnvifHttp()
{
    if (m_thread.joinable()) {
        m_stop = true;
        wake();
        m_thread.join();
    }
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    for (const auto &[key, fd] : m_listeners)
        ::close(fd);
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

int OnvifHttp::answer(void *self, void *rawConnection, const char *, const char *method, const char *,
                      const char *data, size_t *size, void **context)
{
    auto *http = static_cast<OnvifHttp *>(self);
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    if (!*context) {
        *context = new Upload;
        return MHD_YES;
    }
    auto *upload = static_cast<Upload *>(*context);
    if (*size > 0) {
        upload->tooLarge |= upload->body.size() + *size > vexa::soap::kMaxMessage;
        if (!upload->tooLarge)
            upload->body.append(data, *size);
        *size = 0;
        return MHD_YES;
    }
    if (std::strcmp(method, "POST") != 0 || upload->tooLarge)
        return queue(connection, {upload->tooLarge ? 413 : 405, {}, false, false});

    Call call;
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (!info || getsockname(info->connect_fd, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return MHD_NO;
    if (local.ss_family == AF_INET6) {
        call.v6 = true;
        call.port = ntohs(reinterpret_cast<const sockaddr_in6 &>(local).sin6_port);
    } else {
        call.addr = reinterpret_cast<const sockaddr_in &>(local).sin_addr.s_addr;
        call.port = ntohs(reinterpret_cast<const sockaddr_in &>(local).sin_port);
    }
    call.body = upload->body;
    call.digest = [connection](const std::string &password) {
        char *user = MHD_digest_auth_get_username(connection);
        if (!user)
            return 0;
        const int rc = MHD_digest_auth_check2(connection, kRealm, user, password.c_str(), 300, MHD_DIGEST_ALG_MD5);
        MHD_free(user);
        return rc == MHD_YES ? 1 : rc == MHD_INVALID_NONCE ? -1 : 0;
    };
    return queue(connection, http->m_serve(call));
}

bool OnvifHttp::start(std::string &error)
{
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot make the wake-up pipe: ") + std::strerror(errno);
        return false;
    }
    std::array<uint8_t, 32> random{};
    {
        const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && ::read(fd, random.data(), random.size()) == ssize_t(random.size());
        if (fd >= 0)
            ::close(fd);
        if (!ok) {
            error = "cannot read random bytes for the digest nonces";
            return false;
        }
    }
    const MHD_AccessHandlerCallback handler = [](void *self, MHD_Connection *c, const char *url, const char *method,
                                                 const char *version, const char *data, size_t *size,
                                                 void **context) {
        return MHD_Result(answer(self, c, url, method, version, data, size, context));
    };
    const MHD_RequestCompletedCallback completed = [](void *, MHD_Connection *, void **context,
                                                      MHD_RequestTerminationCode) {
        delete static_cast<Upload *>(*context);
        *context = nullptr;
    };
    m_daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC
                                    | MHD_USE_NO_LISTEN_SOCKET,
                                0, nullptr, nullptr, handler, this, MHD_OPTION_NOTIFY_COMPLETED, completed, nullptr,
                                MHD_OPTION_DIGEST_AUTH_RANDOM, random.size(), random.data(),
                                MHD_OPTION_NONCE_NC_SIZE, 4096u, MHD_OPTION_CONNECTION_TIMEOUT, 10u,
                                MHD_OPTION_CONNECTION_LIMIT, 1024u, MHD_OPTION_END);
    if (!m_daemon) {
        error = "cannot start the HTTP server";
        return false;
    }
    m_thread = std::thread([this] { acceptLoop(); });
    return true;
}

bool OnvifHttp::listen(uint32_t addr, uint16_t port, std::string &error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = addr;
    local.sin_port = htons(port);
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return keep(listening(AF_INET, reinterpret_cast<const sockaddr *>(&local), sizeof local,
                          std::string(text) + ":" + std::to_string(port), error),
                uint64_t(addr) << 16 | port);
}

bool OnvifHttp::listen6(uint16_t port, std::string &error)
{
    sockaddr_in6 local{};
    local.sin6_family = AF_INET6;
    local.sin6_addr = in6addr_any;
    local.sin6_port = htons(port);
    return keep(listening(AF_INET6, reinterpret_cast<const sockaddr *>(&local), sizeof local,
                          "[::]:" + std::to_string(port), error),
                uint64_t(1) << 48 | port);
}

bool OnvifHttp::keep(int fd, uint64_t key)
{
    if (fd < 0)
        return false;
    std::lock_guard lock(m_mutex);
    m_listeners[key] = fd;
    wake();
    return true;
}

void OnvifHttp::unlisten(uint32_t addr, uint16_t port)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listeners.find(uint64_t(addr) << 16 | port);
    if (it == m_listeners.end())
        return;
    // Closed by the accept loop's next turn would race with its poll: close here and wake it.
    ::close(it->second);
    m_listeners.erase(it);
    wake();
}

void OnvifHttp::wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
}

void OnvifHttp::acceptLoop()
{
    std::vector<pollfd> fds;
    while (!m_stop) {
        {
            std::lock_guard lock(m_mutex);
            fds.assign(1, pollfd{m_wake[0], POLLIN, 0});
            for (const auto &[key, fd] : m_listeners)
                fds.push_back(pollfd{fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 1000) <= 0)
            continue;
        if (fds[0].revents) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
            continue; // the set of listeners may have changed
        }
        std::lock_guard lock(m_mutex);
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int client = ::accept4(fds[i].fd, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_CLOEXEC);
            if (client >= 0)
                MHD_add_connection(m_daemon, client, reinterpret_cast<const sockaddr *>(&peer), length);
        }
    }
}

} // namespace deviceside
