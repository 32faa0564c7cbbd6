#pragma once

/**
 * Interface of the discovery library Vexa.
 *
 * Plain C, so that programs of any language and any device agent can bind to
 * it. Every function returns 1 on success and any other value on failure.
 * Text arguments are NUL-terminated 8-bit (Latin-1) strings. Records are
 * packed, little-endian, and keep their byte layout across versions.
 */

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <assert.h> /* static_assert in C11 */
#endif

#if defined(VEXA_BUILDING_LIBRARY)
#define VEXA_API __attribute__((visibility("default")))
#else
#define VEXA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    VEXA_EVENT_ONLINE = 1,   /**< first heard in answer to an inquiry of ours */
    VEXA_EVENT_UPDATE = 2,   /**< a reported field changed */
    VEXA_EVENT_OFFLINE = 3,  /**< goodbye received, or silent for too long */
    VEXA_EVENT_ANNOUNCE = 4, /**< first heard from an unsolicited announcement */
};

/** One device event as the library hands it to the report callback. */
typedef struct VEXA_DEVICE_REPORT {
    char protocol[12];        /**< "VXDP/1": the wire protocol the device speaks */
    char serialNo[48];
    char macAddr[20];         /**< "aa:bb:cc:dd:ee:ff" */
    char ipv4Addr[16];
    char ipv4Mask[16];
    int32_t typeCode;
    int32_t port;
    int32_t channelCount;
    int32_t extraValue;       /**< the device's HTTP port */
    char softwareVersion[48];
    char dspVersion[48];
    char startTime[48];
    int32_t eventCode;        /**< VEXA_EVENT_* */
    char typeName[24];
    char sourceAddr[24];      /**< IPv4 source address of the datagram that carried the report */
    char ipv4Gateway[16];
    char ipv6Addr[46];
    char ipv6Gateway[46];
    uint8_t ipv6PrefixLen;
    uint8_t capabilities;     /**< bit 0 IPv6, bit 1 IPv6 modifiable, bit 2 DHCP */
    uint8_t dhcpOn;
    uint8_t extInfo;          /**< 1: gateway, IPv6 fields, capabilities and DHCP are meaningful */
} VEXA_DEVICE_REPORT;

static_assert(sizeof(VEXA_DEVICE_REPORT) == 436, "report layout is fixed");
static_assert(offsetof(VEXA_DEVICE_REPORT, protocol) == 0, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, serialNo) == 12, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, macAddr) == 60, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv4Addr) == 80, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv4Mask) == 96, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, typeCode) == 112, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, port) == 116, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, channelCount) == 120, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, extraValue) == 124, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, softwareVersion) == 128, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, dspVersion) == 176, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, startTime) == 224, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, eventCode) == 272, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, typeName) == 276, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, sourceAddr) == 300, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv4Gateway) == 324, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv6Addr) == 340, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv6Gateway) == 386, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, ipv6PrefixLen) == 432, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, capabilities) == 433, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, dhcpOn) == 434, "report layout");
static_assert(offsetof(VEXA_DEVICE_REPORT, extInfo) == 435, "report layout");

/** New network parameters for VEXA_ModifyDeviceNetParam. Zero-fill before use. */
#pragma pack(push, 1)
typedef struct VEXA_NET_PARAM {
    char ipv4Addr[16];
    char ipv4Mask[16];
    char ipv4Gateway[16];     /**< empty: keep the device's gateway */
    char ipv6Addr[128];       /**< empty: IPv6 is left alone */
    char ipv6Gateway[128];
    uint16_t port;
    uint8_t ipv6PrefixLen;
    uint8_t reserved1;
    uint8_t reserved2[128];
} VEXA_NET_PARAM;
#pragma pack(pop)

static_assert(sizeof(VEXA_NET_PARAM) == 436, "net param layout is fixed");
static_assert(offsetof(VEXA_NET_PARAM, ipv4Addr) == 0, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, ipv4Mask) == 16, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, ipv4Gateway) == 32, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, ipv6Addr) == 48, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, ipv6Gateway) == 176, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, port) == 304, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, ipv6PrefixLen) == 306, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, reserved1) == 307, "net param layout");
static_assert(offsetof(VEXA_NET_PARAM, reserved2) == 308, "net param layout");

/** Called on the library's own thread, once per device event. The report is valid only during the call. */
typedef void (*VEXA_REPORT_CALLBACK)(const VEXA_DEVICE_REPORT *report, void *userData);

/** Starts discovery; `flags` must be 0. Fails while discovery already runs or when no packet driver is found. */
VEXA_API int VEXA_Start_V30(VEXA_REPORT_CALLBACK callback, int flags, void *userData);
/** Stops discovery and joins the library's thread: no callback runs after it returns. Harmless when not started. */
VEXA_API int VEXA_Stop(void);
/** Multicasts one inquiry on every chosen interface; devices answer through the callback. */
VEXA_API int VEXA_SendInquiry(void);
/** Changes a device's network parameters; 1 only when the device confirmed. Blocks up to 3 s
 *  (up to 12 s while the device answers that it is rate limited). */
VEXA_API int VEXA_ModifyDeviceNetParam(const char *macAddr, const char *password, const VEXA_NET_PARAM *param);
/** Restores a device's default password with a manufacturer's security code; 1 only when confirmed. */
VEXA_API int VEXA_ResetDefaultPasswd(const char *serialNo, const char *securityCode);

/**
 * Why a change of network parameters failed, as far as the device said.
 * Kept per calling thread, like errno: VEXA_ModifyDeviceNetParam and
 * VEXA_UpdateIpV20 set it on every return, success included.
 */
enum {
    VEXA_CAUSE_NONE = 0,           /**< the last call succeeded, or none was made on this thread */
    VEXA_CAUSE_UNSPECIFIED = 1,    /**< it failed and no cause is known: every failure of a VXDP device */
    VEXA_CAUSE_BAD_ARGUMENT = 2,   /**< a parameter was refused before anything was sent */
    VEXA_CAUSE_NOT_AUTHORIZED = 3, /**< the device refused the user name or password */
    VEXA_CAUSE_NOT_SUPPORTED = 4,  /**< the device does not offer the operation */
    VEXA_CAUSE_NO_ANSWER = 5,      /**< no answer, or none that answered the request */
    VEXA_CAUSE_REFUSED = 6,        /**< the device refused the new values */
};

/** The protocols a request for a device can take. */
enum {
    VEXA_PROTOCOL_VXDP = 1,  /**< the library's own protocol: device port 2000-65535 */
    VEXA_PROTOCOL_ONVIF = 2, /**< ONVIF device management: the one port is the HTTP port, 1-65535 */
};

/**
 * Stores in `*cause` (VEXA_CAUSE_*) why the calling thread's last
 * VEXA_ModifyDeviceNetParam or VEXA_UpdateIpV20 failed. Fails only for a null `cause`.
 */
VEXA_API int VEXA_GetLastModifyCause(int32_t *cause);
/**
 * Stores in `*protocol` (VEXA_PROTOCOL_*) the protocol a request for the
 * device listed with `macAddr` takes. Fails, storing nothing, for a null
 * argument, a malformed MAC, or a MAC no listed ONVIF device and no online
 * VXDP device reports; a request for such a MAC is a VXDP one.
 */
VEXA_API int VEXA_GetDeviceProtocol(const char *macAddr, int32_t *protocol);

/**
 * 1 when this process has checked the manufacturer's certificate of the
 * device with this serial number and MAC address (and, for a device that signs
 * its announcements, its signature): requests then go to its certified key
 * only. A device listed before its check is done is not certified yet.
 */
VEXA_API int VEXA_DeviceCertified(const char *serialNo, const char *macAddr);

/**
 * Chooses the interfaces discovery and requests use: `names` separated by
 * commas ("eth0,wlan0"), or null for every suitable one (the default). The
 * environment variable VEXA_INTERFACES, when set, still has the last word.
 * A running discovery follows within a moment and asks again on the
 * interfaces that came. Always 1.
 */
VEXA_API int VEXA_SetInterfaces(const char *names);

/** Earlier interface: the same as VEXA_Start_V30(callback, 0, userData). */
VEXA_API int VEXA_Start_V20(VEXA_REPORT_CALLBACK callback, void *userData);
/** Earlier interface: IPv4 parameters only; the four trailing values must be 0. */
VEXA_API int VEXA_UpdateIpV20(const char *macAddr, const char *ipv4Addr, const char *ipv4Mask,
                              const char *password, const char *port, const char *ipv4Gateway,
                              int32_t reserved1, int32_t reserved2, uint8_t reserved3, uint8_t reserved4);

/**
 * Looks for ONVIF devices beyond the tool's link, behind routers: sends a
 * WS-Discovery Probe by unicast to UDP port 3702 of every address of
 * `ranges`, `rate` a second, while discovery runs. Devices that answer are
 * reported through the callback like those multicast discovery finds (one
 * row per device, whichever found it first), after their details are read.
 * `ranges`: IPv4 ranges "a.b.c.d/n" (n 16..32) or single addresses,
 * separated by commas or blanks, at most 16 and 262 144 addresses in all;
 * no host bits below the prefix. `rate`: probes a second, 1..2000, or 0 for
 * the default 200. VXDP devices are link-local by design and never found
 * this way. Fails while discovery is stopped, while a scan runs, or for bad
 * arguments; then `error` (when not null) receives why, as a sentence for the
 * user, NUL-terminated within `errorSize` bytes.
 */
VEXA_API int VEXA_ScanRange(const char *ranges, int32_t rate, char *error, int32_t errorSize);
/**
 * The latest scan's progress: addresses probed so far of `*total`, and
 * `*running` 1 while probes go out or the last answers are awaited (about
 * 2 s after the last probe), else 0. All zero while discovery is stopped.
 * Fails only for a null argument.
 */
VEXA_API int VEXA_ScanProgress(uint32_t *probed, uint32_t *total, int32_t *running);
/** Ends a running scan within a moment; devices already found stay listed. Always 1. */
VEXA_API int VEXA_CancelScan(void);
/* ---- Commissioning jobs: device time, administrator password, restart ---- */

/** What VEXA_RunJobs asks of each device. */
enum {
    VEXA_JOB_READ_TIME = 1,    /**< reads the device's clock: its offset from this computer's */
    VEXA_JOB_SET_TIME = 2,     /**< sets the clock to `utcMs` (UTC); the device keeps its time zone */
    VEXA_JOB_SET_NTP = 3,      /**< the device keeps its time by `ntpServers` from now on */
    VEXA_JOB_SET_PASSWORD = 4, /**< replaces the administrator password with `newPassword` */
    VEXA_JOB_REBOOT = 5,       /**< restarts the device and, unless `waitS` is 0, waits for it to return */
};

/** Causes of a failed job, beside the VEXA_CAUSE_* above. */
enum {
    VEXA_CAUSE_BUSY = 7,         /**< the device kept answering that it is rate limited (a lock-out) */
    VEXA_CAUSE_NOT_RETURNED = 8, /**< a restarted device did not return within `waitS` */
    VEXA_CAUSE_CANCELLED = 9,    /**< not started: the progress callback asked to stop */
};

/** The most devices VEXA_RunJobs works on at a time. */
#define VEXA_JOB_PARALLEL 8

/** One job for every device of a batch. Zero-fill before use. */
#pragma pack(push, 1)
typedef struct VEXA_JOB {
    int32_t kind;              /**< VEXA_JOB_* */
    int32_t waitS;             /**< REBOOT: seconds to wait for the device to return; 0: do not wait */
    int64_t utcMs;             /**< SET_TIME: milliseconds since 1970-01-01 00:00 UTC; 0: this computer's
                                    clock as each device's request is built */
    char ntpServers[2][64];    /**< SET_NTP: one or two host names or addresses, first preferred; the second may be empty */
    char newPassword[65];      /**< SET_PASSWORD: 8 to 64 bytes, not the current password */
    uint8_t reserved[63];      /**< zero */
} VEXA_JOB;

/** What became of one device's job: written once, when the device is finished with. */
typedef struct VEXA_JOB_STATUS {
    int32_t done;              /**< 1 only when the device confirmed the job (and, for REBOOT with a wait, returned) */
    int32_t cause;             /**< VEXA_CAUSE_*: why not; VEXA_CAUSE_NONE when done */
    int64_t offsetMs;          /**< the device's clock minus this computer's, when hasOffset */
    int32_t hasOffset;         /**< 1: the device reported its clock (every answer of a VXDP device does) */
    int32_t rebootMs;          /**< REBOOT: how long the device was away until it answered again; -1 unknown */
    uint8_t reserved[40];
} VEXA_JOB_STATUS;
#pragma pack(pop)

static_assert(sizeof(VEXA_JOB) == 272, "job layout is fixed");
static_assert(offsetof(VEXA_JOB, utcMs) == 8, "job layout");
static_assert(offsetof(VEXA_JOB, ntpServers) == 16, "job layout");
static_assert(offsetof(VEXA_JOB, newPassword) == 144, "job layout");
static_assert(sizeof(VEXA_JOB_STATUS) == 64, "job status layout is fixed");
static_assert(offsetof(VEXA_JOB_STATUS, offsetMs) == 8, "job status layout");
static_assert(offsetof(VEXA_JOB_STATUS, rebootMs) == 20, "job status layout");

/**
 * Called once per device as it is finished with, on one of the library's
 * job threads (never two calls at once): `index` into the batch. Return 0
 * to cancel the devices not started yet (VEXA_CAUSE_CANCELLED), else 1.
 */
typedef int (*VEXA_JOB_CALLBACK)(int32_t index, const VEXA_JOB_STATUS *status, void *userData);

/**
 * Runs one job for `count` devices listed by MAC (VXDP devices with a
 * signed announcement that offers the job; ONVIF devices through device
 * management), at most VEXA_JOB_PARALLEL at a time, with the one
 * administrator password. Fills `statuses[0..count-1]`; blocks until every
 * device is finished with. Returns 1 when every device confirmed; 0 when any
 * failed, or for bad arguments (then nothing is sent and every status says
 * VEXA_CAUSE_BAD_ARGUMENT). The passwords are not kept after the call.
 * `callback` may be null.
 */
VEXA_API int VEXA_RunJobs(const char *const *macAddrs, int32_t count, const char *password, const VEXA_JOB *job,
                          VEXA_JOB_STATUS *statuses, VEXA_JOB_CALLBACK callback, void *userData);

#ifdef __cplusplus
}
#endif
