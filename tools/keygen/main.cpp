// vexa-keygen: makes a manufacturer's keys. The Ed25519 seed that certifies
// device keys, with the trust file that owners put into their tools' trust
// directory, or the master key that security codes derive from.

#include <vexa/crypto.h>

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace {

constexpr const char *kUsage =
    "usage: vexa-keygen manufacturer NAME\n"
    "       vexa-keygen factory NAME\n"
    "manufacturer writes NAME.key, the seed that certifies device keys (mode 0600), and NAME.pub,\n"
    "its public key for the tools' trust directory (/etc/vexa/manufacturers.d).\n"
    "factory writes NAME.key, the master key security codes derive from (mode 0600).\n"
    "Existing files are never overwritten. Keep the .key files off the devices and off the network.\n";

std::string hexOf(std::span<const uint8_t> bytes)
{
    std::string hex(2 * bytes.size() + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    hex.pop_back();
    return hex;
}

// Creates `path` with `mode`, never replacing a file that is there.
bool writeNew(const std::string &path, const std::string &text, mode_t mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    bool ok = fd >= 0 && ::fchmod(fd, mode) == 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int savedErrno = errno;
    if (fd >= 0)
        ok = ::close(fd) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "vexa-keygen: %s: %s\n", path.c_str(), std::strerror(savedErrno));
        if (fd >= 0)
            ::unlink(path.c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string kind = argc > 1 ? argv[1] : "";
    if (kind == "--help" || kind == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3 || (kind != "manufacturer" && kind != "factory") || !*argv[2]) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!vexa::crypto::init()) {
        std::fputs("vexa-keygen: libsodium cannot be initialised\n", stderr);
        return 1;
    }
    const std::string name = argv[2];
    const auto secret = vexa::crypto::randomArray<32>();
    if (kind == "factory") {
        if (!writeNew(name + ".key", hexOf(secret) + "\n# VXDP factory master key: security codes derive from it\n", 0600))
            return 1;
        std::printf("wrote %s.key\n", name.c_str());
        return 0;
    }
    const auto publicKey = vexa::crypto::manufacturerPublicKey(vexa::crypto::manufacturerKeyFromSeed(secret));
    // The public half first: a seed without its trust file would certify devices nobody trusts.
    if (!writeNew(name + ".pub",
                  "# VXDP manufacturer " + name + " (Ed25519 public key). Tools trust devices it certified\n"
                  "# once this file is in their trust directory, e.g. /etc/vexa/manufacturers.d/.\n"
                      + hexOf(publicKey) + "\n",
                  0644))
        return 1;
    if (!writeNew(name + ".key", hexOf(secret) + "\n# VXDP manufacturer seed (Ed25519): whoever holds it certifies devices\n",
                  0600)) {
        ::unlink((name + ".pub").c_str());
        return 1;
    }
    std::printf("wrote %s.key and %s.pub\n", name.c_str(), name.c_str());
    return 0;
}
