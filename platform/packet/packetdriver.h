#pragma once

/**
 * Packet driver: everything socket-level the discovery platform needs, behind a
 * plain C function table so that it can be loaded at run time by name:
 *
 *     void *h = TUM_LoadDSo("PACKET.dll");
 *     PKT_GetDriverFn get = (PKT_GetDriverFn)TUM_GetSymbol(h, PKT_GET_DRIVER_SYMBOL);
 *     const PKT_Driver *drv = get();
 *     if (drv->version < PKT_DRIVER_VERSION) ...   // too old for this caller
 *
 * Code of this tree does not do that itself: packet::driver() (transport.h)
 * does it for every caller, with the checks of version and table size, and
 * picks the back end (each a library exporting PKT_GetDriver alone) from
 * VEXA_TRANSPORT. Every back end keeps every rule below.
 *
 * Conventions:
 * - IPv4 addresses are uint32_t in network byte order, exactly as in
 *   struct in_addr's s_addr (inet_pton/inet_ntop work on them directly).
 *   Ports are uint16_t in host byte order.
 * - Functions returning int give 0 or a positive count on success and a
 *   negative errno value (-EINVAL, -ENODEV, ...) on failure.
 * - Chosen interfaces: the environment variable VEXA_INTERFACES lists interface
 *   names separated by commas ("lo", "eth0,eth1"); names that do not exist or
 *   carry no IPv4 address are skipped. Unset, every interface that is up,
 *   multicast-capable and has an IPv4 address is chosen. The list is read when
 *   `interfaces` or `open` is called; every back end chooses alike.
 * - The table only ever grows: new entries are appended and `version` raised;
 *   existing entries keep their meaning.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PKT_DRIVER_VERSION 2
#define PKT_GET_DRIVER_SYMBOL "PKT_GetDriver"
#define PKT_IFNAME_SIZE 16 /* IFNAMSIZ, terminator included */

enum {
    PKT_IF_LOOPBACK = 1 << 0,  /**< the loopback interface */
    PKT_IF_MULTICAST = 1 << 1, /**< the interface carries the MULTICAST flag */
    PKT_IF_HAS_MAC = 1 << 2,   /**< `mac` holds a hardware address */
};

/** One chosen interface (an interface with several IPv4 addresses is listed with its first). */
typedef struct PKT_Interface {
    char name[PKT_IFNAME_SIZE]; /**< always NUL-terminated */
    uint32_t index;             /**< kernel interface index, never 0 */
    uint32_t addr;              /**< IPv4 address, network byte order */
    uint32_t netmask;           /**< network byte order */
    uint32_t flags;             /**< PKT_IF_* bits */
    uint8_t mac[6];             /**< all zero unless PKT_IF_HAS_MAC */
    uint8_t reserved[2];
} PKT_Interface;

/** What a receive learnt about the datagram besides its bytes. */
typedef struct PKT_RecvInfo {
    uint32_t sourceAddr; /**< sender's IPv4 address, network byte order */
    uint32_t destAddr;   /**< destination (the group, for multicast), network byte order; 0 if unknown */
    uint32_t ifIndex;    /**< arrival interface index; 0 if unknown */
    int32_t ttl;         /**< received IP TTL; -1 if the kernel did not report it */
    uint16_t sourcePort; /**< host byte order */
    uint8_t reserved[2];
} PKT_RecvInfo;

/** An open UDP socket with its wake-up channel and its chosen interfaces. */
typedef struct PKT_Socket PKT_Socket;

typedef struct PKT_Driver {
    uint32_t version;    /**< PKT_DRIVER_VERSION of the driver; always first */
    uint32_t structSize; /**< sizeof(PKT_Driver) of the driver; entries beyond it are absent */

    /**
     * Fills up to `capacity` entries of `out` with the chosen interfaces and
     * returns how many are chosen in total (may exceed `capacity`; `out` may be
     * null when `capacity` is 0). 0 when none is chosen.
     */
    int (*interfaces)(PKT_Interface *out, size_t capacity);

    /**
     * Opens a UDP socket bound to INADDR_ANY:`port` (0: any free port) with
     * SO_REUSEADDR and SO_REUSEPORT, so that several processes on one host share
     * the port, and joins each of the `groupCount` multicast `groups` on every
     * chosen interface. Only datagrams to joined groups and unicast to the port
     * are received. Outgoing multicast has TTL 255 and loops back to this host.
     * `receiveBuffer` is the wished receive buffer in bytes (0: system default);
     * a smaller size granted by the system is not an error, see
     * `receiveBufferSize`. Fails with -ENODEV when no interface is chosen.
     * On success stores the socket in *out and returns 0.
     */
    int (*open)(uint16_t port, const uint32_t *groups, size_t groupCount, int receiveBuffer,
                PKT_Socket **out);

    /**
     * Sends one datagram to `group`:`port` out of every chosen interface
     * (`ifIndex` 0) or only out of the chosen interface with that index.
     * Returns the number of interfaces it went out on; a negative error when it
     * went out on none (-ENODEV: `ifIndex` is not a chosen interface).
     */
    int (*send)(PKT_Socket *socket, uint32_t group, uint16_t port, const void *data, size_t size,
                uint32_t ifIndex);

    /**
     * Waits up to `timeoutMs` milliseconds (negative: without limit) for one
     * datagram, copies it into `buffer` and returns its size (0 is a valid,
     * empty datagram). `info` may be null.
     * -ETIMEDOUT: nothing arrived in time. -ECANCELED: `wake` was called.
     * -EMSGSIZE: the datagram did not fit into `capacity` and was dropped
     * (`info` is still filled). Only one thread may receive at a time.
     */
    int (*receive)(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs,
                   PKT_RecvInfo *info);

    /**
     * Callable from any thread: makes the receive blocked on `socket` return
     * -ECANCELED promptly. A wake-up that finds no receive waiting ends the
     * next receive instead, so a stop request cannot slip between two receives.
     */
    void (*wake)(PKT_Socket *socket);

    /** The receive buffer size the system granted, in bytes (as getsockopt reports it). */
    int (*receiveBufferSize)(PKT_Socket *socket);

    /**
     * Fills up to `capacity` entries with the interfaces `socket` was opened on
     * and returns their number, like `interfaces`.
     */
    int (*socketInterfaces)(PKT_Socket *socket, PKT_Interface *out, size_t capacity);

    /** Closes the socket. No other call on it may be running or follow. Null is ignored. */
    void (*close)(PKT_Socket *socket);

    /* Version 2. */

    /**
     * Sends one datagram by unicast to `addr`:`port` with IP TTL 255, the way
     * the system routes it (interface and source address are the kernel's
     * choice). Returns 0, or a negative error (-EINVAL for a multicast,
     * broadcast or zero `addr`; -ENETUNREACH when there is no route).
     */
    int (*sendTo)(PKT_Socket *socket, uint32_t addr, uint16_t port, const void *data, size_t size);
} PKT_Driver;

typedef const PKT_Driver *(*PKT_GetDriverFn)(void);

/** The driver's one entry point; the table lives as long as the library stays loaded. */
#if defined(PKT_BUILDING_DRIVER)
__attribute__((visibility("default")))
#endif
const PKT_Driver *PKT_GetDriver(void);

#ifdef __cplusplus
}
#endif
