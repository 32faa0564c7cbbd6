#include "singleinstancelock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstanceLock::SingleInstanceLock(const QString &key)
    : m_strPath(LockFilePath(key))
{
}

SingleInstanceLock::~SingleInstanceLock()
{
    Release();
}

QString SingleInstanceLock::LockFilePath(const QString &key)
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir))
        return runtimeDir + QLatin1Char('/') + key + QStringLiteral(".lock");
    // The shared temporary directory: one file per user, so users do not block each other.
    return QDir::tempPath() + QLatin1Char('/') + key + QLatin1Char('-') + QString::number(getuid())
           + QStringLiteral(".lock");
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
