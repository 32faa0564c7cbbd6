#pragma once

#include "vexadevice_export.h"

#include <vexa.h>

#include <QStringList>

#include <cstdint>
#include <optional>

/**
 * The one wrapper through which the tool calls the discovery library. Every
 * operation returns true exactly when the library returned 1.
 */
class VEXADEVICE_EXPORT CVexaClient final
{
public:
    CVexaClient() = default;
    ~CVexaClient();
    CVexaClient(const CVexaClient &) = delete;
    CVexaClient &operator=(const CVexaClient &) = delete;

    void SetCallback(VEXA_REPORT_CALLBACK callback, void *userData);
    bool Start();
    bool Stop();
    bool SendInquiry();
#ifndef VEXA_OLDER_EDITION
    /** The interfaces discovery uses: their names, or every suitable one when empty (VEXA_SetInterfaces). */
    bool SetInterfaces(const QStringList &names);
    /** Starts a scan of address ranges for ONVIF devices behind routers (VEXA_ScanRange); `error` gets why not. */
    bool ScanRange(const QString &ranges, int rate, QString *error);
    struct ScanState {
        quint32 probed = 0, total = 0;
        bool running = false;
    };
    ScanState ScanProgress() const;
    void CancelScan();
#endif
    /**
     * Sends new network parameters to the device with MAC address `mac`.
     * Null texts are left empty. Fails without calling the library when the
     * MAC or password is null, the port is not a port or a text does not fit
     * its field. The older edition sends IPv4 parameters only and refuses any
     * IPv6 value.
     */
    bool ModifyNetParam(const char *mac, const char *ipv4, const char *mask, const char *password,
                        const char *port, const char *gateway, const char *ipv6,
                        const char *ipv6Gateway, uint8_t byteA, uint8_t byteB);
    bool ResetDefaultPassword(const char *serial, const char *code);
    /** VEXA_CAUSE_* of why the last ModifyNetParam on this thread failed; VEXA_CAUSE_NONE after a success. */
    int LastModifyCause() const;
    /** VEXA_PROTOCOL_* a request for the device listed with `mac` takes; 0 when the library knows none. */
    int DeviceProtocol(const char *mac) const;

    /**
     * The record ModifyNetParam sends: zero-filled, each non-null text copied
     * and terminated, the port from PortFromText, byte A as the IPv6 prefix
     * length and byte B in the byte after it. Empty when a text would not fit
     * or the port text is refused.
     */
    static std::optional<VEXA_NET_PARAM> BuildNetParam(const char *ipv4, const char *mask,
                                                       const char *port, const char *gateway,
                                                       const char *ipv6, const char *ipv6Gateway,
                                                       uint8_t byteA, uint8_t byteB);
    /** The port `text` names: decimal digits only, at most 65535; nothing for anything else (null, empty, junk). */
    static std::optional<uint16_t> PortFromText(const char *text);

private:
    VEXA_REPORT_CALLBACK m_callback = nullptr;
    void *m_userData = nullptr;
    int m_refusedHere = VEXA_CAUSE_NONE; // a Modify refused before the library was called
};
