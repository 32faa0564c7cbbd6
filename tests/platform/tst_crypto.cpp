#include <vexa/crypto.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

using namespace vexa;
using namespace std::chrono_literals;

class Crypto : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(crypto::init()); }
};

const wire::Bytes kPlain{'n', 'e', 't', ' ', 'p', 'a', 'r', 'a', 'm', 's'};

TEST_F(Crypto, SealedBoxOpensOnlyForItsRecipient)
{
    const auto device = crypto::generateKeyPair();
    const auto other = crypto::generateKeyPair();
    const wire::Bytes sealed = crypto::seal(kPlain, device.publicKey);
    ASSERT_EQ(sealed.size(), kPlain.size() + wire::kSealOverhead);
    EXPECT_EQ(crypto::open(sealed, device), kPlain);
    EXPECT_FALSE(crypto::open(sealed, other));
    for (size_t i = 0; i < sealed.size(); ++i) {
        wire::Bytes tampered = sealed;
        tampered[i] ^= 0x01;
        EXPECT_FALSE(crypto::open(tampered, device)) << "byte " << i;
    }
    EXPECT_FALSE(crypto::open(wire::Bytes(10), device));
}

wire::Result sampleResult()
{
    wire::Result r;
    r.requestId = 42;
    r.target = wire::Target::byMac({1, 2, 3, 4, 5, 6});
    return r;
}

TEST_F(Crypto, SignedResultVerifiesUnderItsKeyOnly)
{
    const auto key = crypto::randomArray<wire::kReplyKeySize>();
    auto otherKey = key;
    otherKey[0] ^= 1;
    const wire::Bytes datagram = crypto::encodeSignedResult(sampleResult(), key);
    ASSERT_TRUE(wire::decode(datagram));
    EXPECT_TRUE(crypto::verifyResult(datagram, key));
    EXPECT_FALSE(crypto::verifyResult(datagram, otherKey));
    // A forged "ok" or a changed request id, target or tag is caught.
    for (size_t i = 0; i < datagram.size(); ++i) {
        wire::Bytes tampered = datagram;
        tampered[i] ^= 0x01;
        EXPECT_FALSE(crypto::verifyResult(tampered, key)) << "byte " << i;
    }
    EXPECT_FALSE(crypto::verifyResult(wire::Bytes(20), key));
}

TEST_F(Crypto, PasswordHashVerifies)
{
    const auto hash = crypto::hashPassword("admin12345");
    ASSERT_TRUE(hash);
    EXPECT_EQ(hash->rfind("$argon2id$", 0), 0u);
    EXPECT_TRUE(crypto::verifyPassword(*hash, "admin12345"));
    EXPECT_FALSE(crypto::verifyPassword(*hash, "admin1234"));
    EXPECT_FALSE(crypto::verifyPassword(*hash, ""));
    EXPECT_FALSE(crypto::verifyPassword("not a hash", "admin12345"));
    // At least the OWASP minimum: 19 MiB, two passes.
    EXPECT_NE(hash->find("$m=19456,t=2,p=1$"), std::string::npos) << *hash;
}

std::string sodiumHex(std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes)
        out += std::string{digits[b >> 4], digits[b & 15]};
    return out;
}

crypto::FactoryKey sequenceKey()
{
    crypto::FactoryKey k;
    for (size_t i = 0; i < k.size(); ++i)
        k[i] = uint8_t(i);
    return k;
}

// 2024-05-17 12:00:00 UTC
const auto kNoon = std::chrono::sys_days{std::chrono::year{2024} / 5 / 17} + 12h;

TEST_F(Crypto, SecurityCodeKnownAnswers)
{
    // Computed independently: k = HMAC-SHA-256(00..1f, "VXDP code key|VX-2024-000123"),
    // code = date + base32(HMAC-SHA-256(k, "VX-2024-000123|<date>"))[:20].
    const auto deviceKey = crypto::deviceCodeKey(sequenceKey(), "VX-2024-000123");
    EXPECT_EQ(sodiumHex(deviceKey), "454dcaa279c1bd28c8a587898f1b321d55313ca10185024e691cce6a9a4c9fe7");
    EXPECT_EQ(crypto::securityCode(deviceKey, "VX-2024-000123", "2024-05-16"), "20240516IXAPJAC6ZV4NW6T3JKO4");
    EXPECT_EQ(crypto::securityCode(deviceKey, "VX-2024-000123", "2024-05-17"), "20240517P2POEX2VG6DBV4N5CZBO");
    EXPECT_EQ(crypto::securityCode(deviceKey, "VX-2024-000123", "2024-05-18"), "20240518EPXSNSKC56RKDQVUTFC5");
}

TEST_F(Crypto, SecurityCodeNamesItsDateWithinADayEitherSide)
{
    const std::string serial = "VX-2024-000123";
    const auto key = crypto::deviceCodeKey(sequenceKey(), serial);
    for (auto day : {-1, 0, 1}) {
        const auto date = crypto::utcDate(kNoon + day * 24h);
        EXPECT_EQ(crypto::checkSecurityCode(key, serial, crypto::securityCode(key, serial, date), kNoon), date);
    }
    for (auto day : {-2, 2}) {
        const auto code = crypto::securityCode(key, serial, crypto::utcDate(kNoon + day * 24h));
        EXPECT_FALSE(crypto::checkSecurityCode(key, serial, code, kNoon)) << day;
    }
    const std::string good = "20240517P2POEX2VG6DBV4N5CZBO";
    EXPECT_TRUE(crypto::checkSecurityCode(key, serial, "20240517p2poex2vg6dbv4n5czbo", kNoon));
    for (const std::string bad : {good.substr(1), good + "A", std::string("20240516") + good.substr(8),
                                  good.substr(8), std::string()})
        EXPECT_FALSE(crypto::checkSecurityCode(key, serial, bad, kNoon)) << bad;
    EXPECT_FALSE(crypto::checkSecurityCode(key, "VX-2024-000124", good, kNoon));
    EXPECT_FALSE(crypto::checkSecurityCode(sequenceKey(), serial, good, kNoon)) << "the master key is not a device key";
    EXPECT_LE(good.size(), wire::kMaxSecurityCode);
}

TEST_F(Crypto, CertificateBindsKeySerialAndMac)
{
    const auto manufacturer = crypto::manufacturerKeyFromSeed(sequenceKey());
    const auto trusted = crypto::manufacturerPublicKey(manufacturer);
    const auto device = crypto::generateKeyPair().publicKey;
    const wire::Mac mac{2, 0, 0, 0, 0, 1};
    const auto cert = crypto::certify(manufacturer, device, "VX-1", mac);
    EXPECT_TRUE(crypto::checkCertificate(trusted, cert, device, "VX-1", mac));
    const auto other = crypto::manufacturerPublicKey(crypto::manufacturerKeyFromSeed(crypto::randomArray<32>()));
    EXPECT_FALSE(crypto::checkCertificate(other, cert, device, "VX-1", mac));
    EXPECT_FALSE(crypto::checkCertificate(trusted, cert, crypto::generateKeyPair().publicKey, "VX-1", mac));
    EXPECT_FALSE(crypto::checkCertificate(trusted, cert, device, "VX-2", mac));
    EXPECT_FALSE(crypto::checkCertificate(trusted, cert, device, "VX-1", wire::Mac{2, 0, 0, 0, 0, 2}));
}

TEST_F(Crypto, UtcDateAroundMidnight)
{
    const auto midnight = std::chrono::sys_days{std::chrono::year{2024} / 12 / 31} + 24h;
    EXPECT_EQ(crypto::utcDate(midnight - 1s), "2024-12-31");
    EXPECT_EQ(crypto::utcDate(midnight), "2025-01-01");
}

TEST_F(Crypto, FactoryKeyParsing)
{
    const std::string hex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
    EXPECT_EQ(crypto::parseFactoryKey(hex), sequenceKey());
    EXPECT_EQ(crypto::parseFactoryKey(hex + "\r\nsecond line"), sequenceKey());
    EXPECT_EQ(crypto::parseFactoryKey("  " + hex + " "), sequenceKey());
    EXPECT_FALSE(crypto::parseFactoryKey(hex.substr(1)));
    EXPECT_FALSE(crypto::parseFactoryKey(hex + "00"));
    EXPECT_FALSE(crypto::parseFactoryKey("zz" + hex.substr(2)));
    EXPECT_FALSE(crypto::parseFactoryKey("\n" + hex));
    EXPECT_FALSE(crypto::parseFactoryKey(""));

    const std::string path = testing::TempDir() + "factory.key";
    std::ofstream(path) << hex << "\n";
    EXPECT_EQ(crypto::readFactoryKey(path), sequenceKey());
    std::remove(path.c_str());
    EXPECT_FALSE(crypto::readFactoryKey(path));
}

} // namespace
