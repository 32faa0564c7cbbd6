// The trust anchor files: what a file must hold, which files and directories
// are refused (and that refusing never stops the others), the bound, and
// where the directories come from.

#include <vexa/trustanchors.h>

#include <vexa/crypto.h>

#include <gtest/gtest.h>
#include <sodium.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using vexa::TrustAnchors;
namespace fs = std::filesystem;

std::string hexOf(const vexa::crypto::ManufacturerPublicKey &key)
{
    std::string hex(2 * key.size() + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), key.data(), key.size());
    hex.pop_back();
    return hex;
}

// A valid public key, different for each n.
vexa::crypto::ManufacturerPublicKey keyNo(uint8_t n)
{
    std::array<uint8_t, 32> seed{};
    seed[0] = n;
    return vexa::crypto::manufacturerPublicKey(vexa::crypto::manufacturerKeyFromSeed(seed));
}

// In a row's text "K1" and "K2" stand for valid keys, "U1" for the first in
// upper case, "S1" for it one character short.
std::string withKeys(std::string text)
{
    std::string upper = hexOf(keyNo(1));
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<const char *, std::string> marks[] = {
        {"K1", hexOf(keyNo(1))}, {"K2", hexOf(keyNo(2))}, {"U1", upper}, {"S1", hexOf(keyNo(1)).substr(1)}};
    for (const auto &[mark, value] : marks) {
        for (size_t at; (at = text.find(mark)) != std::string::npos;)
            text.replace(at, 2, value);
    }
    return text;
}

struct ParseRow {
    const char *name;
    std::string text;
    bool valid;
    const char *error; // part of the reason when refused
};

class Parse : public testing::TestWithParam<ParseRow> {};

TEST_P(Parse, namesOneValidKeyOrSaysWhy)
{
    std::string error;
    const auto key = TrustAnchors::parse(withKeys(GetParam().text), error);
    EXPECT_EQ(key.has_value(), GetParam().valid) << error;
    if (GetParam().valid)
        EXPECT_EQ(*key, keyNo(1));
    else
        EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Parse,
    testing::Values(
        ParseRow{"bare", "K1", true, ""},
        ParseRow{"commented", "# ACME cameras, 2026\n\n  # rotated yearly\nK1\n# end\n", true, ""},
        ParseRow{"blanks and CRLF", "\t K1 \r\n\r\n", true, ""},
        ParseRow{"upper case", "U1", true, ""},
        ParseRow{"empty", "", false, "no key"},
        ParseRow{"comments only", "# nothing\n#\n", false, "no key"},
        ParseRow{"two keys", "K1\nK2\n", false, "line 2: a second key"},
        ParseRow{"text after the key", "K1\nexpires 2030\n", false, "line 2: a second key"},
        ParseRow{"63 characters", "S1", false, "line 1: not 64 hex"},
        ParseRow{"65 characters", "K10", false, "not 64 hex"},
        ParseRow{"not hex", std::string(64, 'g'), false, "not 64 hex"},
        ParseRow{"key with an inner blank", "K1 00", false, "not 64 hex"},
        ParseRow{"NUL in a comment", std::string("# x\0y\nK1", 8), true, ""},
        ParseRow{"NUL after the key", std::string("K1\0", 3), false, "not 64 hex"},
        ParseRow{"all zero (small order)", std::string(64, '0'), false, "not an Ed25519 public key"},
        ParseRow{"identity point", "01" + std::string(62, '0'), false, "not an Ed25519 public key"},
        ParseRow{"non-canonical", "ed" + std::string(60, 'f') + "7f", false, "not an Ed25519 public key"}),
    [](const auto &info) {
        std::string name = info.param.name;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// A directory of its own for each case, removed afterwards.
class Directory : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tst_trustanchors.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        fs::permissions(m_dir, fs::perms(0755));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string write(const std::string &name, const std::string &text, fs::perms mode = fs::perms(0644))
    {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << withKeys(text);
        fs::permissions(path, mode);
        return path;
    }
    TrustAnchors read()
    {
        TrustAnchors anchors;
        anchors.addDirectory(m_dir);
        return anchors;
    }

    std::string m_dir;
};

struct FileRow {
    const char *name;
    std::function<void(const std::string &dir)> make; // the refused or ignored file, beside a good one
    size_t keys;
    const char *problem; // empty: none expected
};

class Files : public Directory, public testing::WithParamInterface<FileRow> {};

TEST_P(Files, aBadFileIsSkippedWithAReasonAndTheRestStillCount)
{
    write("good.pub", "K1\n");
    GetParam().make(m_dir);
    const TrustAnchors anchors = read();
    EXPECT_EQ(anchors.keys().size(), GetParam().keys);
    EXPECT_EQ(anchors.keys().front(), keyNo(1));
    if (*GetParam().problem) {
        ASSERT_EQ(anchors.problems().size(), 1u);
        EXPECT_NE(anchors.problems()[0].find(GetParam().problem), std::string::npos) << anchors.problems()[0];
        EXPECT_NE(anchors.problems()[0].find(m_dir + "/"), std::string::npos) << "the file is not named";
        EXPECT_NE(anchors.problems()[0].find("skipped"), std::string::npos);
    } else {
        EXPECT_TRUE(anchors.problems().empty()) << anchors.problems()[0];
    }
}

void put(const std::string &path, const std::string &text, int mode = 0644)
{
    std::ofstream(path) << withKeys(text);
    fs::permissions(path, fs::perms(mode));
}

INSTANTIATE_TEST_SUITE_P(
    Anchors, Files,
    testing::Values(
        FileRow{"second manufacturer", [](const auto &d) { put(d + "/second.pub", "K2"); }, 2, ""},
        FileRow{"same key twice", [](const auto &d) { put(d + "/copy.pub", "# again\nK1"); }, 1, ""},
        FileRow{"other suffix ignored", [](const auto &d) { put(d + "/README", "K2"); }, 1, ""},
        FileRow{"package manager leftover ignored", [](const auto &d) { put(d + "/b.pub.dpkg-old", "K2"); }, 1, ""},
        FileRow{"hidden file ignored", [](const auto &d) { put(d + "/.x.pub", "K2"); }, 1, ""},
        FileRow{"link to a key", [](const auto &d) {
                    put(d + "/target", "K2");
                    fs::create_symlink(d + "/target", d + "/linked.pub");
                }, 2, ""},
        FileRow{"malformed", [](const auto &d) { put(d + "/bad.pub", "hello"); }, 1, "not 64 hex"},
        FileRow{"group-writable", [](const auto &d) { put(d + "/g.pub", "K2", 0664); }, 1, "writable by group"},
        FileRow{"world-writable", [](const auto &d) { put(d + "/o.pub", "K2", 0646); }, 1, "writable by group or others"},
        FileRow{"unreadable", [](const auto &d) {
                    put(d + "/secret.pub", "K2", 0);
                    if (::geteuid() == 0) // root reads anything: make it a dangling link instead
                        fs::remove(d + "/secret.pub"), fs::create_symlink(d + "/gone", d + "/secret.pub");
                }, 1, "No such file"},
        FileRow{"directory named .pub", [](const auto &d) { fs::create_directory(d + "/dir.pub"); }, 1,
                "not a regular file"},
        FileRow{"pipe named .pub (no hang)", [](const auto &d) { ::mkfifo((d + "/fifo.pub").c_str(), 0644); }, 1,
                "not a regular file"},
        FileRow{"too large", [](const auto &d) { put(d + "/big.pub", "K2\n" + std::string(5000, '#')); }, 1,
                "larger than 4096 bytes"}),
    [](const auto &info) {
        std::string name = info.param.name;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST_F(Directory, aFileOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file away";
    const std::string path = write("theirs.pub", "K1");
    ASSERT_EQ(::chown(path.c_str(), 12345, 12345), 0);
    const TrustAnchors anchors = read();
    EXPECT_TRUE(anchors.keys().empty());
    ASSERT_EQ(anchors.problems().size(), 1u);
    EXPECT_NE(anchors.problems()[0].find("owned by user 12345"), std::string::npos) << anchors.problems()[0];
}

TEST_F(Directory, aDirectoryOthersCanWriteIsSkippedWhole)
{
    write("a.pub", "K1");
    fs::permissions(m_dir, fs::perms(0777));
    const TrustAnchors anchors = read();
    EXPECT_TRUE(anchors.keys().empty());
    ASSERT_EQ(anchors.problems().size(), 1u);
    EXPECT_NE(anchors.problems()[0].find("directory writable by group or others"), std::string::npos);
}

TEST_F(Directory, aMissingDirectoryIsNoProblem)
{
    TrustAnchors anchors;
    anchors.addDirectory(m_dir + "/none");
    anchors.addDirectory(write("file", "K1")); // not a directory: that is one
    EXPECT_TRUE(anchors.keys().empty());
    ASSERT_EQ(anchors.problems().size(), 1u);
    EXPECT_NE(anchors.problems()[0].find("not a directory"), std::string::npos);
}

TEST_F(Directory, atMostSixteenManufacturersInNameOrder)
{
    for (int n = 1; n <= 20; ++n) {
        const std::string hex = hexOf(keyNo(uint8_t(n)));
        write((n < 10 ? "k0" : "k") + std::to_string(n) + ".pub", hex);
    }
    const TrustAnchors anchors = read();
    ASSERT_EQ(anchors.keys().size(), TrustAnchors::kMaxAnchors);
    for (size_t i = 0; i < anchors.keys().size(); ++i)
        EXPECT_EQ(anchors.keys()[i], keyNo(uint8_t(i + 1)));
    ASSERT_EQ(anchors.problems().size(), 4u);
    EXPECT_NE(anchors.problems()[0].find("k17.pub: more than 16"), std::string::npos) << anchors.problems()[0];
}

TEST(TrustDirectories, theEnvironmentReplacesTheDefaults)
{
    const char *saved = std::getenv("VEXA_TRUST_DIR");
    const std::string keep = saved ? saved : "";
    ::unsetenv("VEXA_TRUST_DIR");
    const auto defaults = TrustAnchors::directories();
    ASSERT_EQ(defaults.size(), 2u);
    EXPECT_EQ(defaults[0], "/etc/vexa/manufacturers.d");
    // Beside the code that reads them: here, this test program.
    EXPECT_EQ(defaults[1], fs::canonical("/proc/self/exe").parent_path() / "manufacturers.d");

    ::setenv("VEXA_TRUST_DIR", "/a::b/c:", 1);
    EXPECT_EQ(TrustAnchors::directories(), (std::vector<std::string>{"/a", "b/c"}));
    ::setenv("VEXA_TRUST_DIR", "", 1); // set but empty: trust nothing
    EXPECT_TRUE(TrustAnchors::directories().empty());
    if (saved)
        ::setenv("VEXA_TRUST_DIR", keep.c_str(), 1);
    else
        ::unsetenv("VEXA_TRUST_DIR");
}

} // namespace
