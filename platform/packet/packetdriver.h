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
 * - Version 3 adds IPv6 beside IPv4 (PKT_Address: family, 16 bytes, scope)
 *   and a caller's choice of interfaces. An interface serves a family when it
 *   is up and multicast-capable and holds an address of it: for IPv4 any, for
 *   IPv6 a link-local one (fe80::/64), since the protocols speak link-local
 *   IPv6 only. A caller's choice (names as VEXA_INTERFACES writes them; null:
 *   every suitable interface) narrows that; VEXA_INTERFACES, when set, has the
 *   last word over it, naming interfaces multicast-capable or not.
 * - The table only ever grows: new entries are appended and `version` raised;
 *   existing entries keep their meaning.
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PKT_DRIVER_VERSION 3
#define PKT_GET_DRIVER_SYMBOL "PKT_GetDriver"
#define PKT_IFNAME_SIZE 16 /* IFNAMSIZ, terminator included */

enum {
    PKT_IF_LOOPBACK = 1 << 0,  /**< the loopback interface */
    PKT_IF_MULTICAST = 1 << 1, /**< the interface carries the MULTICAST flag */
    PKT_IF_HAS_MAC = 1 << 2,   /**< `mac` holds a hardware address */
    /* Version 3, in PKT_Link.flags. */
    PKT_IF_UP = 1 << 3,        /**< administratively up */
    PKT_IF_CHOSEN_V4 = 1 << 4, /**< chosen for IPv4 under the choice asked about */
    PKT_IF_CHOSEN_V6 = 1 << 5, /**< chosen for IPv6 under the choice asked about */
};

/* Version 3. */

/** Address families, as PKT_Address.family and as bits of the families a socket is opened for. */
enum {
    PKT_FAMILY_V4 = 1 << 0,
    PKT_FAMILY_V6 = 1 << 1,
};

/** One address of either family. */
typedef struct PKT_Address {
    uint8_t family;      /**< PKT_FAMILY_V4 or PKT_FAMILY_V6; 0: no address */
    uint8_t reserved[3];
    uint32_t scope;      /**< interface index of a link-local IPv6 address (sin6_scope_id); else 0 */
    uint8_t bytes[16];   /**< network order; IPv4 in bytes 0-3, the rest zero */
} PKT_Address;

/** What an interface is, as far as the system tells (for people choosing among them). */
enum {
    PKT_KIND_OTHER = 0,
    PKT_KIND_LOOPBACK = 1,
    PKT_KIND_WIRED = 2,    /**< Ethernet with a device behind it */
    PKT_KIND_WIRELESS = 3,
    PKT_KIND_BRIDGE = 4,   /**< a software bridge (container networks, virtual machines) */
    PKT_KIND_VIRTUAL = 5,  /**< Ethernet without a device: veth, dummy, macvlan */
    PKT_KIND_TUNNEL = 6,   /**< no link layer: VPNs, tun, PPP */
};

#define PKT_LINK_ADDRESSES 8

typedef struct PKT_LinkAddress {
    PKT_Address addr;
    uint8_t prefixLength;
    uint8_t reserved[3];
} PKT_LinkAddress;

/** One interface with its addresses (its first PKT_LINK_ADDRESSES). */
typedef struct PKT_Link {
    char name[PKT_IFNAME_SIZE]; /**< always NUL-terminated */
    uint32_t index;             /**< never 0 */
    uint32_t flags;             /**< PKT_IF_* bits */
    uint32_t kind;              /**< PKT_KIND_* */
    uint8_t mac[6];             /**< all zero unless PKT_IF_HAS_MAC */
    uint8_t addressCount;       /**< valid entries of `addresses` */
    uint8_t reserved;
    PKT_LinkAddress addresses[PKT_LINK_ADDRESSES];
} PKT_Link;

/** What a receive learnt about a datagram of either family. */
typedef struct PKT_Datagram {
    PKT_Address source;      /**< sender; its scope is the arrival interface for a link-local source */
    PKT_Address destination; /**< the group for multicast; family 0 if unknown */
    uint32_t ifIndex;        /**< arrival interface index; 0 if unknown */
    int32_t hopLimit;        /**< received IPv4 TTL or IPv6 hop limit; -1 if unknown */
    uint16_t sourcePort;     /**< host byte order */
    uint8_t reserved[2];
} PKT_Datagram;

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

    /* Version 3. A socket opened by `open` serves IPv4 alone, as before; the
     * version 2 calls on a socket of `openFamilies` act on its IPv4 side (a
     * version 2 `receive` never reports an IPv6 datagram). */

    /**
     * Fills up to `capacity` entries of `out` with every interface that is up,
     * with its addresses, its kind and which families `choice` chooses it for
     * (PKT_IF_CHOSEN_*), and returns how many there are (like `interfaces`).
     */
    int (*links)(const char *choice, PKT_Link *out, size_t capacity);

    /**
     * Opens a socket for each family of `families` (PKT_FAMILY_* bits) that
     * has a chosen interface under `choice`, as `open` does for IPv4: bound to
     * `port` of that family's any-address (IPv6 only on IPv6), the groups of
     * that family joined on each of its chosen interfaces. Outgoing IPv6 has
     * hop limit 255, multicast and unicast alike, and loops back. Fails with
     * -ENODEV when no asked family has a chosen interface; -EINVAL for a
     * group that is not multicast or of no asked family.
     */
    int (*openFamilies)(uint16_t port, const PKT_Address *groups, size_t groupCount, uint32_t families,
                        const char *choice, int receiveBuffer, PKT_Socket **out);

    /** `send` for a group of either family: out of every interface chosen for its family, or only `ifIndex`.
     *  -EAFNOSUPPORT when the socket was not opened for that family. */
    int (*sendGroup)(PKT_Socket *socket, const PKT_Address *group, uint16_t port, const void *data, size_t size,
                     uint32_t ifIndex);

    /** `sendTo` for either family; a link-local IPv6 `to` needs its scope (-EINVAL without one). */
    int (*sendToAddress)(PKT_Socket *socket, const PKT_Address *to, uint16_t port, const void *data, size_t size);

    /**
     * `receive` over both families of the socket. -ENETRESET (`info` not
     * filled): the system's interfaces or addresses changed since the last
     * receive; `rechoose` brings the socket up to date. A back end that cannot
     * watch the system never returns it.
     */
    int (*receiveFrom)(PKT_Socket *socket, void *buffer, size_t capacity, int timeoutMs, PKT_Datagram *info);

    /**
     * Chooses the socket's interfaces afresh under `choice` (null: every
     * suitable one) and VEXA_INTERFACES: joins its groups on interfaces that
     * came, leaves them on those that went. A family the socket was not
     * opened for stays closed. Returns the number of interfaces it is on
     * afterwards (0 is no error: none suits now), or a negative error.
     * Not while a receive on the socket runs (the receiving thread calls it).
     */
    int (*rechoose)(PKT_Socket *socket, const char *choice);
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
