#include "trustanchors.h"

#include <sodium.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifndef VEXA_SYSTEM_TRUST_DIR
#define VEXA_SYSTEM_TRUST_DIR "/etc/vexa/manufacturers.d"
#endif

namespace vexa {

namespace {

// Where this code was loaded from: the discovery library, or a program it is built into.
std::filesystem::path ownFile()
{
    Dl_info info{};
    std::filesystem::path file = "/proc/self/exe";
    if (::dladdr(reinterpret_cast<void *>(&TrustAnchors::directories), &info) && info.dli_fname
        && std::string_view(info.dli_fname).find('/') != std::string_view::npos)
        file = info.dli_fname;
    std::error_code ec;
    const auto resolved = std::filesystem::canonical(file, ec);
    return ec ? file : resolved;
}

// Only root, the user running us, or whoever could replace this code anyway
// (a build tree run with sudo) may be able to change what we trust.
std::optional<std::string> unsafeOwnership(const struct stat &st)
{
    static const uid_t codeOwner = [] {
        struct stat own {};
        return ::stat(ownFile().c_str(), &own) == 0 ? own.st_uid : uid_t(0);
    }();
    if (st.st_uid != 0 && st.st_uid != ::geteuid() && st.st_uid != codeOwner)
        return "owned by user " + std::to_string(st.st_uid) + ": neither root, this user nor the owner of the code";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return std::string("writable by group or others");
    return std::nullopt;
}

std::string_view trimmed(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::optional<crypto::ManufacturerPublicKey> TrustAnchors::parse(std::string_view text, std::string &error)
{
    std::optional<crypto::ManufacturerPublicKey> key;
    size_t lineNo = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNo;
        if (line.empty() || line.front() == '#')
            continue;
        if (key) {
            error = "line " + std::to_string(lineNo) + ": a second key (one key per file)";
            return std::nullopt;
        }
        key = crypto::parseFactoryKey(line);
        if (!key) {
            error = "line " + std::to_string(lineNo) + ": not 64 hex characters";
            return std::nullopt;
        }
        // Small-order and non-canonical points would let made-up signatures verify.
        if (crypto_core_ed25519_is_valid_point(key->data()) != 1) {
            error = "line " + std::to_string(lineNo) + ": not an Ed25519 public key";
            return std::nullopt;
        }
    }
    if (!key)
        error = "no key (64 hex characters on a line of their own)";
    return key;
}

bool TrustAnchors::refuse(const std::string &path, const std::string &why)
{
    m_problems.push_back(path + ": " + why + "; skipped");
    return false;
}

void TrustAnchors::addDirectory(const std::string &dir)
{
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return; // no such directory: nothing to trust there
    if (!S_ISDIR(st.st_mode)) {
        refuse(dir, "not a directory");
        return;
    }
    if (const auto why = unsafeOwnership(st)) {
        refuse(dir, "directory " + *why);
        return;
    }
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.front() != '.' && name.ends_with(".pub"))
            files.push_back(entry.path().string());
    }
    if (ec)
        refuse(dir, ec.message());
    std::sort(files.begin(), files.end());
    for (const std::string &file : files)
        addFile(file);
}

bool TrustAnchors::addFile(const std::string &path)
{
    // Non-blocking: a FIFO planted under a .pub name must not hang the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return refuse(path, std::strerror(errno));
    std::string text(kMaxFileBytes + 1, '\0');
    ssize_t n = -1;
    const auto why = [&]() -> std::optional<std::string> {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return std::strerror(errno);
        if (!S_ISREG(st.st_mode))
            return "not a regular file";
        if (auto unsafe = unsafeOwnership(st))
            return unsafe;
        if (st.st_size <= off_t(kMaxFileBytes) && (n = ::read(fd, text.data(), text.size())) < 0)
            return std::strerror(errno);
        if (st.st_size > off_t(kMaxFileBytes) || n > ssize_t(kMaxFileBytes))
            return "larger than " + std::to_string(kMaxFileBytes) + " bytes";
        return std::nullopt;
    }();
    ::close(fd);
    if (why)
        return refuse(path, *why);
    text.resize(size_t(n));
    std::string error;
    const auto key = parse(text, error);
    if (!key)
        return refuse(path, error);
    if (std::find(m_keys.begin(), m_keys.end(), *key) != m_keys.end())
        return true;
    if (m_keys.size() >= kMaxAnchors)
        return refuse(path, "more than " + std::to_string(kMaxAnchors) + " manufacturers trusted");
    m_keys.push_back(*key);
    return true;
}

std::vector<std::string> TrustAnchors::directories()
{
    std::vector<std::string> dirs;
    if (const char *list = std::getenv("VEXA_TRUST_DIR")) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            if (const auto dir = rest.substr(0, colon); !dir.empty())
                dirs.emplace_back(dir);
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
        return dirs;
    }
    return {VEXA_SYSTEM_TRUST_DIR, (ownFile().parent_path() / "manufacturers.d").string()};
}

const TrustAnchors &TrustAnchors::process()
{
    static const TrustAnchors anchors = [] {
        TrustAnchors a;
        for (const std::string &dir : directories())
            a.addDirectory(dir);
        for (const std::string &problem : a.problems())
            std::fprintf(stderr, "libVexa: trust anchor %s\n", problem.c_str());
        return a;
    }();
    return anchors;
}

} // namespace vexa
