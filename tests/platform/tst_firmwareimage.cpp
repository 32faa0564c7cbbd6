// Signed firmware images: what a signed image holds, every way an altered,
// cut or foreign image is refused (and why), the header parser's bounds,
// what the signer refuses, versions and models.

#include <vexa/firmwareimage.h>

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

namespace {

namespace fs = std::filesystem;
namespace fw = vexa::firmwareimage;
using vexa::crypto::ManufacturerPublicKey;
using vexa::crypto::ManufacturerSecretKey;
using Bytes = std::vector<uint8_t>;

ManufacturerSecretKey keyNo(uint8_t n)
{
    std::array<uint8_t, 32> seed{};
    seed[0] = n;
    return vexa::crypto::manufacturerKeyFromSeed(seed);
}

Bytes readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path &path, const Bytes &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(data.data()),
                                                                   std::streamsize(data.size()));
}

class FirmwareImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(vexa::crypto::init());
        std::string pattern = (fs::temp_directory_path() / "tst_firmwareimage.XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_dir = pattern;
        // Past several read buffers and not a multiple of one: the streaming's edges.
        m_payload.resize(3 * 64 * 1024 + 17);
        for (size_t i = 0; i < m_payload.size(); ++i)
            m_payload[i] = uint8_t(i * 131 + i / 251);
        writeAll(m_dir / "payload.bin", m_payload);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A fresh image of the payload, signed by manufacturer 1, as its bytes.
    Bytes signedImage(const std::vector<std::string> &models = {"VX-200", "VX-210 PTZ"})
    {
        std::string error;
        EXPECT_TRUE(fw::signImage(keyNo(1), models, {1, 10, 3}, path("payload.bin"), path("image.vxfw"), error))
            << error;
        return readAll(m_dir / "image.vxfw");
    }
    std::string path(const char *name) const { return (m_dir / name).string(); }

    fs::path m_dir;
    Bytes m_payload;
    const std::vector<ManufacturerPublicKey> m_trusted = {vexa::crypto::manufacturerPublicKey(keyNo(2)),
                                                          vexa::crypto::manufacturerPublicKey(keyNo(1))};
};

TEST_F(FirmwareImage, SignedImageVerifiesAndHoldsWhatWasSigned)
{
    const Bytes image = signedImage();
    std::string error;
    const auto header = fw::verifyImage(path("image.vxfw"), m_trusted, error);
    ASSERT_TRUE(header) << error;
    EXPECT_EQ(header->models, (std::vector<std::string>{"VX-200", "VX-210 PTZ"}));
    EXPECT_EQ(header->version, (fw::Version{1, 10, 3}));
    EXPECT_EQ(header->payloadSize, m_payload.size());
    EXPECT_EQ(header->signer, m_trusted[1]);
    EXPECT_EQ(image.size(), header->headerLength + m_payload.size());
    EXPECT_TRUE(std::equal(m_payload.begin(), m_payload.end(), image.begin() + long(header->headerLength)));
    fw::Sha256 hash;
    crypto_hash_sha256(hash.data(), m_payload.data(), m_payload.size());
    EXPECT_EQ(header->payloadHash, hash);
    EXPECT_TRUE(fw::fitsModel(*header, "VX-210 PTZ"));
    for (const char *other : {"VX-20", "vx-200", "VX-200 ", "VX-210", ""})
        EXPECT_FALSE(fw::fitsModel(*header, other)) << other;
    // The smallest image: one byte of payload, one model of one character.
    writeAll(m_dir / "payload.bin", {0x42});
    signedImage({"X"});
    EXPECT_TRUE(fw::verifyImage(path("image.vxfw"), m_trusted, error)) << error;
}

// Offsets of the layout in docs/firmware.md.
constexpr size_t kModelCount = 5, kHeaderLength = 6, kVersion = 8, kPayloadSize = 14, kHash = 22, kSigner = 54,
                 kFirstModel = 86;

void putBe(Bytes &image, size_t at, uint64_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        image[at + i] = uint8_t(value >> (8 * (width - 1 - i)));
}

struct RefusalRow {
    const char *name;
    std::function<void(Bytes &image, size_t headerLength)> alter;
    const char *reason; // what the one-line reason must name
    bool trustOnlyManufacturer2 = false;
};

TEST_F(FirmwareImage, AlteredCutOrForeignImagesAreRefusedWithTheirReason)
{
    const auto pub2 = vexa::crypto::manufacturerPublicKey(keyNo(2));
    const RefusalRow rows[] = {
        {"first payload byte", [](Bytes &b, size_t h) { b[h] ^= 1; }, "payload hash"},
        {"last payload byte", [](Bytes &b, size_t) { b.back() ^= 0x80; }, "payload hash"},
        {"version field", [](Bytes &b, size_t) { b[kVersion + 5] ^= 1; }, "signature"},
        {"model character", [](Bytes &b, size_t) { b[kFirstModel + 1] = 'W'; }, "signature"},
        {"payload size field, file cut to match",
         [](Bytes &b, size_t) {
             putBe(b, kPayloadSize, 3 * 64 * 1024 + 16, 8);
             b.pop_back();
         },
         "signature"},
        {"signed hash", [](Bytes &b, size_t) { b[kHash + 31] ^= 1; }, "signature"},
        {"signature", [](Bytes &b, size_t h) { b[h - 1] ^= 1; }, "signature"},
        {"signer replaced by a trusted one",
         [pub2](Bytes &b, size_t) { std::copy(pub2.begin(), pub2.end(), b.begin() + kSigner); }, "signature"},
        {"signer not trusted", [](Bytes &, size_t) {}, "unknown signer", true},
        {"payload cut", [](Bytes &b, size_t) { b.pop_back(); }, "payload size"},
        {"payload only", [](Bytes &b, size_t h) { b.resize(h); }, "payload size"},
        {"byte appended", [](Bytes &b, size_t) { b.push_back(0); }, "payload size"},
        {"header cut in its models", [](Bytes &b, size_t) { b.resize(kFirstModel + 3); }, "truncated header"},
        {"header cut in its signature", [](Bytes &b, size_t h) { b.resize(h - 1); }, "truncated header"},
        {"header cut in its fixed fields", [](Bytes &b, size_t) { b.resize(kSigner); }, "truncated header"},
        {"empty file", [](Bytes &b, size_t) { b.clear(); }, "truncated header"},
        {"magic", [](Bytes &b, size_t) { b[3] = 'X'; }, "bad magic"},
        {"a text file", [](Bytes &b, size_t) { b.assign({'V', 'X', '\n'}); }, "bad magic"},
        {"format version 2", [](Bytes &b, size_t) { b[4] = 2; }, "format version 2"},
        {"format version 0", [](Bytes &b, size_t) { b[4] = 0; }, "format version 0"},
        {"no models", [](Bytes &b, size_t) { b[kModelCount] = 0; }, "model list"},
        {"17 models", [](Bytes &b, size_t) { b[kModelCount] = 17; }, "model list"},
        {"one model more than listed", [](Bytes &b, size_t) { b[kModelCount] = 3; }, "header length"},
        {"one model less than listed", [](Bytes &b, size_t) { b[kModelCount] = 1; }, "header length"},
        {"header length one short", [](Bytes &b, size_t h) { putBe(b, kHeaderLength, h - 1, 2); }, "header length"},
        {"header length one long", [](Bytes &b, size_t h) { putBe(b, kHeaderLength, h + 1, 2); }, "header length"},
        {"header length past any header", [](Bytes &b, size_t) { putBe(b, kHeaderLength, 0xFFFF, 2); },
         "header length 65535"},
        {"model length past the models", [](Bytes &b, size_t) { b[kFirstModel] = 31; }, "header length"},
        {"empty model", [](Bytes &b, size_t) { b[kFirstModel] = 0; }, "header length"},
        {"control character in a model", [](Bytes &b, size_t) { b[kFirstModel + 3] = '\n'; }, "model 1"},
        {"comma in a model", [](Bytes &b, size_t) { b[kFirstModel + 3] = ','; }, "model 1"},
        {"model named twice",
         [](Bytes &b, size_t) { std::copy_n(b.begin() + kFirstModel + 1, 6, b.begin() + kFirstModel + 8); },
         "named twice"},
        {"payload size 0", [](Bytes &b, size_t) { putBe(b, kPayloadSize, 0, 8); }, "payload size 0 "},
        {"payload size over 4 GiB", [](Bytes &b, size_t) { putBe(b, kPayloadSize, (uint64_t(4) << 30) + 1, 8); },
         "payload size 4294967297 "},
    };
    const Bytes image = signedImage({"VX-200", "VX-210"});
    const size_t headerLength = kFirstModel + 7 + 7 + 64;
    for (const RefusalRow &row : rows) {
        SCOPED_TRACE(row.name);
        Bytes altered = image;
        row.alter(altered, headerLength);
        writeAll(m_dir / "altered.vxfw", altered);
        std::string error;
        const std::vector<ManufacturerPublicKey> only2 = {pub2};
        EXPECT_FALSE(fw::verifyImage(path("altered.vxfw"), row.trustOnlyManufacturer2 ? only2 : m_trusted, error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// Every prefix of a header is refused without a byte read past it (the
// sanitizer builds see an overread of the exact-size copy).
TEST_F(FirmwareImage, EveryPrefixOfAHeaderIsTruncated)
{
    const Bytes image = signedImage();
    std::string error;
    const auto header = fw::parseHeader(image, error);
    ASSERT_TRUE(header) << error;
    for (size_t n = 0; n < header->headerLength; ++n) {
        const auto prefix = std::make_unique<uint8_t[]>(n);
        std::copy_n(image.begin(), n, prefix.get());
        EXPECT_FALSE(fw::parseHeader(std::span<const uint8_t>(prefix.get(), n), error)) << n;
        EXPECT_EQ(error.rfind("truncated header", 0), 0u) << n << ": " << error;
    }
    EXPECT_TRUE(fw::parseHeader(std::span(image.data(), header->headerLength), error)) << error;
}

TEST_F(FirmwareImage, SignerRefusesWhatNoHeaderMayHoldAndLeavesNothingBehind)
{
    struct Row {
        const char *name;
        std::vector<std::string> models;
        const char *payload;
        const char *reason;
    };
    const Row rows[] = {
        {"no models", {}, "payload.bin", "model list: 0"},
        {"17 models", std::vector<std::string>(17, "M"), "payload.bin", "model list: 17"},
        {"32 characters", {"VX", std::string(32, 'A')}, "payload.bin", "model 2"},
        {"empty model", {""}, "payload.bin", "model 1"},
        {"comma", {"VX-1,VX-2"}, "payload.bin", "model 1"},
        {"outer space", {" VX"}, "payload.bin", "model 1"},
        {"not ASCII", {"VX-\xC3\xA9"}, "payload.bin", "model 1"},
        {"twice", {"VX", "VX"}, "payload.bin", "named twice"},
        {"empty payload", {"VX"}, "empty.bin", "payload empty"},
        {"no payload", {"VX"}, "missing.bin", "missing.bin"},
    };
    writeAll(m_dir / "empty.bin", {});
    writeAll(m_dir / "image.vxfw", {'o', 'l', 'd'});
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        EXPECT_FALSE(fw::signImage(keyNo(1), row.models, {1, 0, 0}, path(row.payload), path("image.vxfw"), error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    }
    EXPECT_EQ(readAll(m_dir / "image.vxfw"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 3);
    std::string error;
    EXPECT_FALSE(fw::signImage(keyNo(1), {"VX"}, {1, 0, 0}, path("payload.bin"), path("no/such/dir.vxfw"), error));
    EXPECT_NE(error.find("no/such/dir.vxfw"), std::string::npos) << error;
}

TEST(FirmwareVersion, ParsesStrictlyAndComparesNumerically)
{
    const std::pair<const char *, fw::Version> good[] = {
        {"0.0.0", {0, 0, 0}}, {"1.10.3", {1, 10, 3}}, {"65535.65535.65535", {65535, 65535, 65535}}};
    for (const auto &[text, version] : good) {
        EXPECT_EQ(fw::parseVersion(text), version) << text;
        EXPECT_EQ(fw::formatVersion(version), text);
    }
    for (const char *bad : {"", "1", "1.2", "1.2.3.4", "1..3", "1.2.", ".1.2", "01.2.3", "1.2.03", "1.2.65536",
                            "1.2.100000", "+1.2.3", "-1.2.3", " 1.2.3", "1.2.3 ", "a.b.c", "1.2.3a", "0x1.2.3"})
        EXPECT_FALSE(fw::parseVersion(bad)) << bad;

    const std::tuple<const char *, const char *, std::strong_ordering> order[] = {
        {"1.10.0", "1.9.9", std::strong_ordering::greater},
        {"1.2.10", "1.2.9", std::strong_ordering::greater},
        {"2.0.0", "1.65535.65535", std::strong_ordering::greater},
        {"1.2.3", "1.2.3", std::strong_ordering::equal},
        {"0.9.0", "0.10.0", std::strong_ordering::less},
        {"1.0.255", "1.1.0", std::strong_ordering::less},
    };
    for (const auto &[a, b, expected] : order)
        EXPECT_EQ(fw::compareVersion(*fw::parseVersion(a), *fw::parseVersion(b)), expected) << a << " vs " << b;
}

} // namespace
