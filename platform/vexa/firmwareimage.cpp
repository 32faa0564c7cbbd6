#include "firmwareimage.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace vexa::firmwareimage {

static_assert(crypto_hash_sha256_BYTES == sizeof(Sha256));

namespace {

// The header, big-endian (docs/firmware.md). The magic also keeps a header
// signature from standing for a certificate or an announcement, which the
// same manufacturer key signs under "VXDP ..." contexts.
constexpr std::string_view kMagic = "VXFW";
constexpr uint8_t kFormatVersion = 1;
constexpr size_t kFormatOffset = 4;
constexpr size_t kModelCountOffset = 5;
constexpr size_t kHeaderLengthOffset = 6;
constexpr size_t kVersionOffset = 8;
constexpr size_t kPayloadSizeOffset = 14;
constexpr size_t kHashOffset = 22;
constexpr size_t kSignerOffset = 54;
constexpr size_t kModelsOffset = 86;
static_assert(kModelsOffset == kSignerOffset + sizeof(crypto::ManufacturerPublicKey));
static_assert(kMaxHeaderLength == kModelsOffset + kMaxModels * (1 + kMaxModelLength) + wire::kSignatureSize);
static_assert(kMaxHeaderLength <= 0xFFFF); // it goes in two bytes

// Large enough for the disk to stream, small enough to stay on the stack of any thread.
constexpr size_t kChunk = 64 * 1024;

uint64_t readBe(std::span<const uint8_t> data, size_t offset, size_t width)
{
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = value << 8 | data[offset + i];
    return value;
}

void appendBe(wire::Bytes &out, uint64_t value, size_t width)
{
    for (size_t i = width; i-- > 0;)
        out.push_back(uint8_t(value >> (8 * i)));
}

size_t headerLengthFor(const std::vector<std::string> &models)
{
    size_t length = kModelsOffset + wire::kSignatureSize;
    for (const std::string &model : models)
        length += 1 + model.size();
    return length;
}

// What the signature covers: every header byte before it.
wire::Bytes signedBytes(const ImageHeader &h)
{
    wire::Bytes out(kMagic.begin(), kMagic.end());
    out.push_back(kFormatVersion);
    out.push_back(uint8_t(h.models.size()));
    appendBe(out, h.headerLength, 2);
    for (uint16_t number : h.version)
        appendBe(out, number, 2);
    appendBe(out, h.payloadSize, 8);
    out.insert(out.end(), h.payloadHash.begin(), h.payloadHash.end());
    out.insert(out.end(), h.signer.begin(), h.signer.end());
    for (const std::string &model : h.models) {
        out.push_back(uint8_t(model.size()));
        out.insert(out.end(), model.begin(), model.end());
    }
    return out;
}

std::string hex(std::span<const uint8_t> data)
{
    std::string text(data.size() * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), data.data(), data.size());
    text.pop_back();
    return text;
}

class File final {
public:
    explicit File(int fd) : m_fd(fd) {}
    ~File()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    int fd() const { return m_fd; }
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Up to `out.size()` bytes, fewer only at the end of the file; -1 on an error.
ssize_t readFull(int fd, std::span<uint8_t> out)
{
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ssize_t(done);
}

bool writeFull(int fd, std::span<const uint8_t> data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        data = data.subspan(size_t(n));
    }
    return true;
}

std::string systemError(const std::string &path)
{
    return path + ": " + std::strerror(errno);
}

// The image file opened and its header parsed; the bytes read past the header
// are the start of the payload.
struct OpenedImage {
    std::optional<File> file;
    ImageHeader header;
    std::array<uint8_t, kMaxHeaderLength> start{};
    size_t startLength = 0;
};

bool openImage(const std::string &path, OpenedImage &image, std::string &error)
{
    image.file.emplace(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    const ssize_t n = image.file->fd() < 0 ? -1 : readFull(image.file->fd(), image.start);
    if (n < 0) {
        error = systemError(path);
        return false;
    }
    image.startLength = size_t(n);
    auto header = parseHeader(std::span(image.start.data(), image.startLength), error);
    if (!header)
        return false;
    image.header = std::move(*header);
    return true;
}

} // namespace

std::string checkModels(const std::vector<std::string> &models)
{
    if (models.empty() || models.size() > kMaxModels)
        return "model list: " + std::to_string(models.size()) + " models, 1.." + std::to_string(kMaxModels)
            + " allowed";
    std::set<std::string_view> seen;
    for (size_t i = 0; i < models.size(); ++i) {
        const std::string &model = models[i];
        // Printable ASCII without the comma that separates models on a command line.
        const bool printable = std::all_of(model.begin(), model.end(),
                                           [](char c) { return c >= 0x20 && c <= 0x7E && c != ','; });
        if (model.empty() || model.size() > kMaxModelLength || !printable || model.front() == ' '
            || model.back() == ' ')
            return "model " + std::to_string(i + 1) + ": not 1.." + std::to_string(kMaxModelLength)
                + " printable ASCII characters without a comma or outer spaces";
        if (!seen.insert(model).second)
            return "model " + std::to_string(i + 1) + " (" + model + ") named twice";
    }
    return {};
}

std::optional<ImageHeader> parseHeader(std::span<const uint8_t> data, std::string &error)
{
    if (!std::equal(data.begin(), data.begin() + std::min(data.size(), kMagic.size()), kMagic.begin())) {
        error = "bad magic: not a firmware image";
        return std::nullopt;
    }
    if (data.size() < kModelsOffset) {
        error = "truncated header: " + std::to_string(data.size()) + " bytes, the fixed fields take "
            + std::to_string(kModelsOffset);
        return std::nullopt;
    }
    if (data[kFormatOffset] != kFormatVersion) {
        error = "format version " + std::to_string(data[kFormatOffset]) + " not supported (only "
            + std::to_string(kFormatVersion) + ")";
        return std::nullopt;
    }
    const size_t count = data[kModelCountOffset];
    if (count == 0 || count > kMaxModels) {
        error = "model list: " + std::to_string(count) + " models, 1.." + std::to_string(kMaxModels) + " allowed";
        return std::nullopt;
    }
    ImageHeader h;
    h.headerLength = size_t(readBe(data, kHeaderLengthOffset, 2));
    if (h.headerLength > kMaxHeaderLength) {
        error = "header length " + std::to_string(h.headerLength) + " over the largest possible, "
            + std::to_string(kMaxHeaderLength);
        return std::nullopt;
    }
    if (data.size() < h.headerLength) {
        error = "truncated header: " + std::to_string(data.size()) + " of " + std::to_string(h.headerLength)
            + " bytes";
        return std::nullopt;
    }
    // Models are read within the header's length less the signature, never beyond it.
    const size_t modelsEnd = std::max(h.headerLength, kModelsOffset + wire::kSignatureSize) - wire::kSignatureSize;
    size_t at = kModelsOffset;
    while (h.models.size() < count && at < modelsEnd) {
        const size_t length = data[at++];
        if (length > modelsEnd - at)
            break;
        h.models.emplace_back(reinterpret_cast<const char *>(data.data() + at), length);
        at += length;
    }
    if (h.models.size() != count || headerLengthFor(h.models) != h.headerLength) {
        error = "header length " + std::to_string(h.headerLength) + " does not match its list of "
            + std::to_string(count) + " models";
        return std::nullopt;
    }
    if (const std::string why = checkModels(h.models); !why.empty()) {
        error = why;
        return std::nullopt;
    }
    for (size_t i = 0; i < h.version.size(); ++i)
        h.version[i] = uint16_t(readBe(data, kVersionOffset + 2 * i, 2));
    h.payloadSize = readBe(data, kPayloadSizeOffset, 8);
    if (h.payloadSize == 0 || h.payloadSize > kMaxPayloadSize) {
        error = "payload size " + std::to_string(h.payloadSize) + " outside 1 byte..4 GiB";
        return std::nullopt;
    }
    std::copy_n(data.begin() + kHashOffset, h.payloadHash.size(), h.payloadHash.begin());
    std::copy_n(data.begin() + kSignerOffset, h.signer.size(), h.signer.begin());
    std::copy_n(data.begin() + (h.headerLength - wire::kSignatureSize), h.signature.size(), h.signature.begin());
    return h;
}

std::optional<ImageHeader> readHeader(const std::string &path, std::string &error)
{
    OpenedImage image;
    if (!openImage(path, image, error))
        return std::nullopt;
    return image.header;
}

std::optional<ImageHeader> verifyImage(const std::string &path,
                                       std::span<const crypto::ManufacturerPublicKey> trusted, std::string &error)
{
    OpenedImage image;
    if (!openImage(path, image, error))
        return std::nullopt;
    const ImageHeader &h = image.header;
    if (std::find(trusted.begin(), trusted.end(), h.signer) == trusted.end()) {
        error = "unknown signer " + hex(h.signer) + ": no trusted manufacturer";
        return std::nullopt;
    }
    if (!crypto::verifySignature(h.signer, signedBytes(h), h.signature)) {
        error = "signature does not verify: the header was altered or its signer did not sign it";
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(image.file->fd(), &st) != 0) {
        error = systemError(path);
        return std::nullopt;
    }
    const uint64_t held = uint64_t(st.st_size) - h.headerLength;
    if (held != h.payloadSize) {
        error = "payload size: " + std::to_string(held) + " bytes after the header, the header says "
            + std::to_string(h.payloadSize);
        return std::nullopt;
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    const size_t first = std::min<uint64_t>(image.startLength - h.headerLength, h.payloadSize);
    crypto_hash_sha256_update(&state, image.start.data() + h.headerLength, first);
    uint64_t hashed = first;
    std::array<uint8_t, kChunk> buffer;
    while (hashed < h.payloadSize) {
        const size_t want = size_t(std::min<uint64_t>(buffer.size(), h.payloadSize - hashed));
        const ssize_t n = readFull(image.file->fd(), std::span(buffer.data(), want));
        if (n < 0) {
            error = systemError(path);
            return std::nullopt;
        }
        if (n == 0)
            break;
        crypto_hash_sha256_update(&state, buffer.data(), size_t(n));
        hashed += size_t(n);
    }
    // The file may change while it is read: what was hashed is what counts.
    if (hashed != h.payloadSize || image.startLength - h.headerLength > first
        || readFull(image.file->fd(), std::span(buffer.data(), 1)) != 0) {
        error = "payload size: the file changed while it was read";
        return std::nullopt;
    }
    Sha256 hash;
    crypto_hash_sha256_final(&state, hash.data());
    if (sodium_memcmp(hash.data(), h.payloadHash.data(), hash.size()) != 0) {
        error = "payload hash does not match the signed one: the payload was altered";
        return std::nullopt;
    }
    return h;
}

bool fitsModel(const ImageHeader &header, std::string_view typeName)
{
    return std::find(header.models.begin(), header.models.end(), typeName) != header.models.end();
}

std::optional<Version> parseVersion(std::string_view text)
{
    Version version{};
    for (size_t i = 0; i < version.size(); ++i) {
        const size_t end = i + 1 < version.size() ? text.find('.') : text.size();
        const std::string_view number = text.substr(0, end);
        if (end == std::string_view::npos || number.empty() || number.size() > 5
            || number.find_first_not_of("0123456789") != std::string_view::npos
            || (number.size() > 1 && number.front() == '0'))
            return std::nullopt;
        const unsigned long value = std::stoul(std::string(number));
        if (value > 0xFFFF)
            return std::nullopt;
        version[i] = uint16_t(value);
        text = end == text.size() ? std::string_view() : text.substr(end + 1);
    }
    return version;
}

std::string formatVersion(const Version &version)
{
    return std::to_string(version[0]) + '.' + std::to_string(version[1]) + '.' + std::to_string(version[2]);
}

std::strong_ordering compareVersion(const Version &a, const Version &b)
{
    return a <=> b;
}

bool signImage(const crypto::ManufacturerSecretKey &key, const std::vector<std::string> &models,
               const Version &version, const std::string &payloadPath, const std::string &outPath,
               std::string &error)
{
    if (const std::string why = checkModels(models); !why.empty()) {
        error = why;
        return false;
    }
    const File payload(::open(payloadPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (payload.fd() < 0) {
        error = systemError(payloadPath);
        return false;
    }
    std::string tempPath = outPath + ".XXXXXX";
    File out(::mkstemp(tempPath.data()));
    if (out.fd() < 0) {
        error = systemError(tempPath);
        return false;
    }
    ImageHeader h;
    h.models = models;
    h.version = version;
    h.headerLength = headerLengthFor(models);
    h.signer = crypto::manufacturerPublicKey(key);
    // One pass: the payload is hashed as it is copied, so the image signs the bytes it holds.
    const auto written = [&]() -> std::string {
        if (::fchmod(out.fd(), 0644) != 0 || ::lseek(out.fd(), off_t(h.headerLength), SEEK_SET) < 0)
            return systemError(tempPath);
        crypto_hash_sha256_state state;
        crypto_hash_sha256_init(&state);
        std::array<uint8_t, kChunk> buffer;
        for (;;) {
            const ssize_t n = readFull(payload.fd(), buffer);
            if (n < 0)
                return systemError(payloadPath);
            if (n == 0)
                break;
            h.payloadSize += size_t(n);
            if (h.payloadSize > kMaxPayloadSize)
                return payloadPath + ": payload larger than 4 GiB";
            crypto_hash_sha256_update(&state, buffer.data(), size_t(n));
            if (!writeFull(out.fd(), std::span(buffer.data(), size_t(n))))
                return systemError(tempPath);
        }
        if (h.payloadSize == 0)
            return payloadPath + ": payload empty";
        crypto_hash_sha256_final(&state, h.payloadHash.data());
        wire::Bytes header = signedBytes(h);
        const wire::Signature signature = crypto::sign(key, header);
        header.insert(header.end(), signature.begin(), signature.end());
        if (::lseek(out.fd(), 0, SEEK_SET) < 0 || !writeFull(out.fd(), header) || ::fsync(out.fd()) != 0
            || !out.close())
            return systemError(tempPath);
        if (::rename(tempPath.c_str(), outPath.c_str()) != 0)
            return systemError(outPath);
        return {};
    }();
    if (written.empty())
        return true;
    ::unlink(tempPath.c_str());
    error = written;
    return false;
}

} // namespace vexa::firmwareimage
