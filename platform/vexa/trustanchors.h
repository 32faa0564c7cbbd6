#pragma once

// The manufacturers whose device certificates this process trusts. Like CA
// certificates, they are files an owner adds, one public key per file, in
// trust directories read once when discovery first starts; the library
// carries none of its own.
//
// Where (docs/protocol.md 5.2): every "*.pub" file of the system directory
// (/etc/vexa/manufacturers.d unless the build says otherwise) and of
// "manufacturers.d" beside the library; when VEXA_TRUST_DIR is set, only the
// directories it lists (separated by ':'), nothing else.
//
// The file: the Ed25519 public key as 64 hex characters on a line of its
// own; blank lines and lines starting with '#' are comments. A file that is
// not one valid key, is larger than 4 KiB, is not a regular file, or that
// someone else could change (file or directory writable by group or others,
// or owned by anyone but root, this user and the owner of the library file)
// is refused with a message and skipped, as is every key past the sixteenth:
// each anchor costs a signature check per certificate that fails.

#include "crypto.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

class TrustAnchors final {
public:
    static constexpr size_t kMaxAnchors = 16;
    static constexpr size_t kMaxFileBytes = 4096;

    /** The key an anchor file's text names; nothing, with the reason in `error`. */
    static std::optional<crypto::ManufacturerPublicKey> parse(std::string_view text, std::string &error);

    /** Adds the anchors of every "*.pub" file in `dir`, in name order; a missing directory adds nothing. */
    void addDirectory(const std::string &dir);
    /** Adds the anchor of one file; false (and a problem noted) when it is refused. */
    bool addFile(const std::string &path);

    const std::vector<crypto::ManufacturerPublicKey> &keys() const { return m_keys; }
    /** What was refused and why, one line each, naming the file. */
    const std::vector<std::string> &problems() const { return m_problems; }

    /** The directories this process reads: VEXA_TRUST_DIR's, or the system one and the one beside the library. */
    static std::vector<std::string> directories();
    /**
     * This process's anchors, read from directories() on the first call (any
     * thread); the problems go to standard error then, once.
     */
    static const TrustAnchors &process();

private:
    bool refuse(const std::string &path, const std::string &why);

    std::vector<crypto::ManufacturerPublicKey> m_keys;
    std::vector<std::string> m_problems;
};

} // namespace vexa
