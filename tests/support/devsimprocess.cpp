#include "devsimprocess.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int kAnswerTimeoutMs = 10000;

} // namespace

DevsimProcess::~DevsimProcess()
{
    Stop();
}

QString DevsimProcess::Start(const QString &devicesFile)
{
    m_process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/vexa-devsim"));
    m_process.setArguments({QStringLiteral("--devices"), devicesFile});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted())
        return m_process.errorString();
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(kAnswerTimeoutMs))
            return QStringLiteral("vexa-devsim did not get ready");
    }
    const QByteArray ready = m_process.readLine();
    return ready.startsWith("ready ") ? QString() : QString::fromLatin1(ready);
}

QStringList DevsimProcess::Command(const QByteArray &line)
{
    QStringList answer;
    m_process.write(line + '\n');
    for (;;) {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(kAnswerTimeoutMs))
                return answer;
        }
        answer << QString::fromLatin1(m_process.readLine()).trimmed();
        if (answer.last().startsWith(QLatin1String("ok ")) || answer.last().startsWith(QLatin1String("error:")))
            return answer;
    }
}

QStringList DevsimProcess::Show(const QString &serial)
{
    const QStringList answer = Command("show " + serial.toLatin1());
    return answer.size() == 2 ? answer.first().split(u' ') : QStringList();
}

qint64 DevsimProcess::Stat(const QString &name)
{
    const QStringList answer = Command("stats");
    const QStringList words = answer.isEmpty() ? QStringList() : answer.last().split(u' ');
    const qsizetype at = words.indexOf(name);
    return at > 1 && at + 1 < words.size() ? words.at(at + 1).toLongLong() : -1;
}

void DevsimProcess::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished();
}

QJsonArray DevsimProcess::DevicesOf(const QString &devicesFile)
{
    QFile file(devicesFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("devices")).toArray();
}
