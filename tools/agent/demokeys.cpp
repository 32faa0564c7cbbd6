#include "demokeys.h"

#include <sodium.h>

#include <string_view>

namespace agent {

bool isDemoKey(const std::array<uint8_t, 32> &key)
{
    // Digests of the key files' 64 lower-case hex characters (tools/agent/CMakeLists.txt).
    static constexpr std::string_view kDemoDigests[] = {VEXA_DEMO_MANUFACTURER_DIGEST, VEXA_DEMO_FACTORY_DIGEST};
    char hex[2 * 32 + 1];
    sodium_bin2hex(hex, sizeof hex, key.data(), key.size());
    std::array<uint8_t, crypto_hash_sha256_BYTES> digest;
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char *>(hex), 2 * key.size());
    char digestHex[2 * crypto_hash_sha256_BYTES + 1];
    sodium_bin2hex(digestHex, sizeof digestHex, digest.data(), digest.size());
    for (const std::string_view demo : kDemoDigests) {
        if (demo == digestHex)
            return true;
    }
    return false;
}

} // namespace agent
