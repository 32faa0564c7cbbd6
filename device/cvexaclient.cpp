#include "cvexaclient.h"

#include "recordtext.h"

#include <cstring>

namespace {

// A null text leaves the field empty; a text that does not fit fails.
template <size_t N>
bool PutText(char (&field)[N], const char *text)
{
    return !text || PutFieldText(field, QByteArrayView(text, qsizetype(::strnlen(text, N))));
}

} // namespace

CVexaClient::~CVexaClient()
{
    m_callback = nullptr;
    m_userData = nullptr;
}

void CVexaClient::SetCallback(VEXA_REPORT_CALLBACK callback, void *userData)
{
    m_callback = callback;
    m_userData = userData;
}

#ifndef VEXA_OLDER_EDITION
// The older edition binds to the earlier interface instead (legacy/cvexaclientv20.cpp).
bool CVexaClient::Start()
{
    return VEXA_Start_V30(m_callback, 0, m_userData) == 1;
}
#endif

bool CVexaClient::Stop()
{
    return VEXA_Stop() == 1;
}

bool CVexaClient::SendInquiry()
{
    return VEXA_SendInquiry() == 1;
}

#ifndef VEXA_OLDER_EDITION
bool CVexaClient::SetInterfaces(const QStringList &names)
{
    const QByteArray joined = names.join(u',').toUtf8();
    return VEXA_SetInterfaces(names.isEmpty() ? nullptr : joined.constData()) == 1;
}

bool CVexaClient::ScanRange(const QString &ranges, int rate, QString *error)
{
    char why[256] = "";
    const bool started = VEXA_ScanRange(ranges.toLatin1().constData(), rate, why, sizeof why) == 1;
    if (error)
        *error = QString::fromLatin1(why);
    return started;
}

CVexaClient::ScanState CVexaClient::ScanProgress() const
{
    uint32_t probed = 0, total = 0;
    int32_t running = 0;
    VEXA_ScanProgress(&probed, &total, &running);
    return {probed, total, running == 1};
}

void CVexaClient::CancelScan()
{
    VEXA_CancelScan();
}
#endif

#ifndef VEXA_OLDER_EDITION
bool CVexaClient::ModifyNetParam(const char *mac, const char *ipv4, const char *mask, const char *password,
                                 const char *port, const char *gateway, const char *ipv6,
                                 const char *ipv6Gateway, uint8_t byteA, uint8_t byteB)
{
    m_refusedHere = VEXA_CAUSE_BAD_ARGUMENT;
    if (!mac || !password)
        return false;
    // A truncated address or a wrapped port would readdress the device wrongly: refuse instead.
    const std::optional<VEXA_NET_PARAM> param = BuildNetParam(ipv4, mask, port, gateway, ipv6, ipv6Gateway, byteA, byteB);
    if (!param)
        return false;
    m_refusedHere = VEXA_CAUSE_NONE;
    return VEXA_ModifyDeviceNetParam(mac, password, &*param) == 1;
}
#endif

#ifdef VEXA_OLDER_EDITION
// The earlier interface knows neither: every device is taken for a VXDP one.
int CVexaClient::LastModifyCause() const
{
    return VEXA_CAUSE_UNSPECIFIED;
}

int CVexaClient::DeviceProtocol(const char *) const
{
    return 0;
}
#else
int CVexaClient::LastModifyCause() const
{
    int32_t cause = VEXA_CAUSE_UNSPECIFIED;
    if (m_refusedHere != VEXA_CAUSE_NONE)
        return m_refusedHere;
    return VEXA_GetLastModifyCause(&cause) == 1 ? cause : VEXA_CAUSE_UNSPECIFIED;
}

int CVexaClient::DeviceProtocol(const char *mac) const
{
    int32_t protocol = 0;
    return mac && VEXA_GetDeviceProtocol(mac, &protocol) == 1 ? protocol : 0;
}
#endif

bool CVexaClient::ResetDefaultPassword(const char *serial, const char *code)
{
    if (!serial || !code)
        return false;
    return VEXA_ResetDefaultPasswd(serial, code) == 1;
}

std::optional<VEXA_NET_PARAM> CVexaClient::BuildNetParam(const char *ipv4, const char *mask, const char *port,
                                                         const char *gateway, const char *ipv6,
                                                         const char *ipv6Gateway, uint8_t byteA, uint8_t byteB)
{
    VEXA_NET_PARAM param;
    std::memset(&param, 0, sizeof param);
    const std::optional<uint16_t> portValue = PortFromText(port);
    if (!portValue || !PutText(param.ipv4Addr, ipv4) || !PutText(param.ipv4Mask, mask)
        || !PutText(param.ipv4Gateway, gateway) || !PutText(param.ipv6Addr, ipv6) || !PutText(param.ipv6Gateway, ipv6Gateway))
        return std::nullopt;
    param.port = *portValue;
    param.ipv6PrefixLen = byteA;
    param.reserved1 = byteB;
    return param;
}

std::optional<uint16_t> CVexaClient::PortFromText(const char *text)
{
    if (!text || !*text)
        return std::nullopt;
    unsigned int value = 0;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(*c - '0');
        if (value > 65535)
            return std::nullopt;
    }
    return uint16_t(value);
}
