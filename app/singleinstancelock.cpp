#include "singleinstancelock.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstanceLock::SingleInstanceLock(const QString &key)
    : m_strPath(LockFilePath(key))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    Release();
}

namespace {

// A directory no other user can write to: ours, and closed to group and others.
bool IsPrivateDirectory(const QString &path)
{
    struct stat info {};
    return lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == getuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

QString SingleInstanceLock::LockFilePath(const QString &key)
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtimeDir) && IsPrivateDirectory(runtimeDir))
        return runtimeDir + QLatin1Char('/') + key + QStringLiteral(".lock");
    // Never the shared temporary directory: another user could create the
    // file there first and hold its lock, and the tool would never start.
    // The user's cache directory lies in the home only the user writes to.
    const QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QDir().mkpath(cacheDir);
    return cacheDir + QLatin1Char('/') + key + QStringLiteral(".lock");
}

SingleInstanceLock::State SingleInstanceLock::TryAcquire()
{
    if (m_fd >= 0)
        return State::Acquired;
    // Close-on-exec: a viewer or browser the tool starts must not inherit, and
    // so keep, the lock. No-follow: the temporary directory is shared.
    const int fd = open(QFile::encodeName(m_strPath).constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return State::Unavailable;
    // A file someone else owns proves nothing about our instances: its lock
    // may be theirs.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid()) {
        close(fd);
        return State::Unavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    }
    m_fd = fd;
    return State::Acquired;
}

void SingleInstanceLock::Release()
{
    // The file stays: removing it could let a third process lock a new file
    // while a second still waits on the old one.
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}
