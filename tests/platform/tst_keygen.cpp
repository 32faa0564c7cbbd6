// vexa-keygen as a manufacturer runs it: the seed and its trust file belong
// together and the library reads the one the program wrote, secrets are
// private, nothing is ever overwritten.

#include <vexa/crypto.h>
#include <vexa/trustanchors.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class Keygen : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tst_keygen.XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ASSERT_TRUE(vexa::crypto::init());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    int run(const std::string &arguments)
    {
        const std::string program = fs::canonical("/proc/self/exe").parent_path() / "vexa-keygen";
        const int status = std::system(("cd " + m_dir + " && " + program + " " + arguments + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string read(const std::string &name)
    {
        std::ostringstream text;
        text << std::ifstream(m_dir + "/" + name).rdbuf();
        return text.str();
    }
    unsigned mode(const std::string &name)
    {
        struct stat st {};
        ::stat((m_dir + "/" + name).c_str(), &st);
        return st.st_mode & 07777;
    }

    std::string m_dir;
};

TEST_F(Keygen, aManufacturerSeedComesWithTheTrustFileOfItsPublicKey)
{
    ASSERT_EQ(run("manufacturer acme"), 0);
    const auto seed = vexa::crypto::readFactoryKey(m_dir + "/acme.key");
    ASSERT_TRUE(seed);
    std::string error;
    const auto anchor = vexa::TrustAnchors::parse(read("acme.pub"), error);
    ASSERT_TRUE(anchor) << error;
    EXPECT_EQ(*anchor, vexa::crypto::manufacturerPublicKey(vexa::crypto::manufacturerKeyFromSeed(*seed)));
    EXPECT_EQ(mode("acme.key"), 0600u);
    EXPECT_EQ(mode("acme.pub"), 0644u);
    // Dropped into a trust directory as it is, the file is taken.
    vexa::TrustAnchors anchors;
    anchors.addDirectory(m_dir);
    EXPECT_EQ(anchors.keys().size(), 1u);
    EXPECT_TRUE(anchors.problems().empty());

    // Nothing is overwritten, not even half of a pair.
    const std::string before = read("acme.key");
    EXPECT_EQ(run("manufacturer acme"), 1);
    EXPECT_EQ(read("acme.key"), before);
    fs::remove(m_dir + "/acme.pub");
    EXPECT_EQ(run("manufacturer acme"), 1);
    EXPECT_FALSE(fs::exists(m_dir + "/acme.pub")) << "a trust file without its seed was left";
    EXPECT_EQ(read("acme.key"), before);
}

TEST_F(Keygen, aFactoryKeyIsPrivateAndFreshEachTime)
{
    ASSERT_EQ(run("factory one"), 0);
    ASSERT_EQ(run("factory two"), 0);
    const auto one = vexa::crypto::readFactoryKey(m_dir + "/one.key");
    const auto two = vexa::crypto::readFactoryKey(m_dir + "/two.key");
    ASSERT_TRUE(one && two);
    EXPECT_NE(*one, *two);
    EXPECT_EQ(mode("one.key"), 0600u);
    EXPECT_FALSE(fs::exists(m_dir + "/one.pub"));
}

TEST_F(Keygen, wrongUsageWritesNothing)
{
    for (const char *arguments : {"", "manufacturer", "vendor acme", "factory a b", "factory ''"})
        EXPECT_EQ(run(arguments), 2) << arguments;
    EXPECT_EQ(run("--help"), 0);
    EXPECT_TRUE(fs::is_empty(m_dir));
}

} // namespace
