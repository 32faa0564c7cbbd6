// The older edition's two operations on the earlier interface of the
// discovery library; the rest of CVexaClient is shared.

#include "cvexaclient.h"

namespace {

const char *OrEmpty(const char *text)
{
    return text ? text : "";
}

} // namespace

bool CVexaClient::Start()
{
    return VEXA_Start_V20(m_callback, m_userData) == 1;
}

bool CVexaClient::ModifyNetParam(const char *mac, const char *ipv4, const char *mask, const char *password,
                                 const char *port, const char *gateway, const char *ipv6,
                                 const char *ipv6Gateway, uint8_t byteA, uint8_t byteB)
{
    // The earlier call carries no IPv6 parameters: refuse them rather than
    // report a change that never reached the device.
    if (!mac || !password || (ipv6 && *ipv6) || (ipv6Gateway && *ipv6Gateway) || byteA != 0 || byteB != 0)
        return false;
    // The library checks every text's width and the port's value itself.
    return VEXA_UpdateIpV20(mac, OrEmpty(ipv4), OrEmpty(mask), password, OrEmpty(port), OrEmpty(gateway), 0, 0,
                            0, 0)
        == 1;
}
