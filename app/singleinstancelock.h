#pragma once

#include "vexaapp_export.h"

#include <QString>

/**
 * The single-instance marker: an exclusive lock on a per-user file named after
 * a key. The kernel drops the lock when the holding process ends in any way,
 * so a crashed instance never locks the user out.
 */
class VEXAAPP_EXPORT SingleInstanceLock
{
public:
    enum class State {
        Acquired,        ///< this process is the one instance
        HeldElsewhere,   ///< another process holds the key
        Unavailable,     ///< the lock file could not be opened or locked, or is not this user's
    };

    explicit SingleInstanceLock(const QString &key);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    /** Tries to take the key; the lock is kept until Release() or destruction. */
    State TryAcquire();
    void Release();

    /**
     * The lock file of @p key: in $XDG_RUNTIME_DIR when that is a directory
     * of this user's that no one else can write to, else in the user's cache
     * directory; never in a directory other users share.
     */
    static QString LockFilePath(const QString &key);

private:
    QString m_strPath;
    int m_fd = -1;
};
