#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>

/**
 * vexa-devsim as a child of a test: started beside the test program on a
 * devices file, driven through its standard input, told to quit at the end.
 */
class DevsimProcess final
{
public:
    DevsimProcess() = default;
    ~DevsimProcess();
    Q_DISABLE_COPY_MOVE(DevsimProcess)

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
    QProcess m_process;
};
