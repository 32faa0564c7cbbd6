#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace devsim {
class DevsimProcess;
}

/**
 * A session with vexa-devsim for the Qt tests: the simulator's own child
 * process (devsim::DevsimProcess) started beside the test program on a
 * devices file, with its standard-input commands answered as Qt texts.
 */
class DevsimSession final
{
public:
    DevsimSession();
    ~DevsimSession();
    Q_DISABLE_COPY_MOVE(DevsimSession)

    /** Starts it and waits for its "ready" line; an empty text, or what went wrong. */
    QString Start(const QString &devicesFile);
    /** Runs one standard-input command; the answer lines, the closing "ok ..." or "error: ..." last. */
    QStringList Command(const QByteArray &line);
    /** The words of `show SERIAL`: serial, MAC, IPv4, mask, gateway, port, IPv6, IPv6 gateway, prefix, mode. */
    QStringList Show(const QString &serial);
    /** A counter of `stats`: "inquiry", "nonce", "modify" or "reset"; -1 when there is no answer. */
    qint64 Stat(const QString &name);
    /** Says "quit" and waits for the exit; kills it when it does not go. */
    void Stop();

    /** The "devices" array of a devices file. */
    static QJsonArray DevicesOf(const QString &devicesFile);

private:
    std::unique_ptr<devsim::DevsimProcess> m_process;
};
