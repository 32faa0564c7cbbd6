// libFuzzer target: SOAP responses come from whatever answers at a device's
// transport address, and requests reach the simulator from anyone.

#include <vexa/onvifclient.h>
#include <vexa/soap.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vexa;
    const auto envelope = soap::parse(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!envelope)
        return 0;
    // Whatever parses, readings included, stays within its bounds.
    onvif::Details d;
    onvif::readDeviceInformation(*envelope, d);
    onvif::readNetworkInterfaces(*envelope, d);
    onvif::readGateway(*envelope, d);
    onvif::readProtocols(*envelope, d);
    onvif::readDeviceClock(*envelope);
    if (envelope->token)
        soap::tokenProves(*envelope->token, "password");
    if (envelope->fields.size() > soap::kMaxFields)
        std::abort();
    return 0;
}
