#include "crypto.h"

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
    // Computed independently: base32(HMAC-SHA-256(00..1f, "VX-2024-000123|<date>"))[:20].
    EXPECT_EQ(crypto::securityCode(sequenceKey(), "VX-2024-000123", "2024-05-16"), "NLZQZMRXJBIMLUI5AXSV");
    EXPECT_EQ(crypto::securityCode(sequenceKey(), "VX-2024-000123", "2024-05-17"), "GGIUR52XWHW4QOEYNDDZ");
    EXPECT_EQ(crypto::securityCode(sequenceKey(), "VX-2024-000123", "2024-05-18"), "E27DAQUVP5VAQ6PCA4HN");
}

TEST_F(Crypto, SecurityCodeAcceptsYesterdayTodayAndTomorrow)
{
    const auto key = sequenceKey();
    const std::string serial = "VX-2024-000123";
    for (auto day : {-1, 0, 1}) {
        const auto code = crypto::securityCode(key, serial, crypto::utcDate(kNoon + day * 24h));
        EXPECT_TRUE(crypto::checkSecurityCode(key, serial, code, kNoon)) << day;
    }
    for (auto day : {-2, 2}) {
        const auto code = crypto::securityCode(key, serial, crypto::utcDate(kNoon + day * 24h));
        EXPECT_FALSE(crypto::checkSecurityCode(key, serial, code, kNoon)) << day;
    }
    EXPECT_TRUE(crypto::checkSecurityCode(key, serial, "ggiur52xwhw4qoeynddz", kNoon));
    EXPECT_FALSE(crypto::checkSecurityCode(key, "VX-2024-000124", "GGIUR52XWHW4QOEYNDDZ", kNoon));
    EXPECT_FALSE(crypto::checkSecurityCode(key, serial, "GGIUR52XWHW4QOEYNDD", kNoon));
    EXPECT_FALSE(crypto::checkSecurityCode(key, serial, "GGIUR52XWHW4QOEYNDDZA", kNoon));
    EXPECT_FALSE(crypto::checkSecurityCode(key, serial, "", kNoon));
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
