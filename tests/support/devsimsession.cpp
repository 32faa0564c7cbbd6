#include "devsimsession.h"

#include "devsimprocess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

DevsimSession::DevsimSession() = default;

DevsimSession::~DevsimSession()
{
    Stop();
}

QString DevsimSession::Start(const QString &devicesFile)
{
    const std::string program = devsim::DevsimProcess::programDir() + "/vexa-devsim";
    m_process = std::make_unique<devsim::DevsimProcess>(program,
        std::vector<std::string>{"--devices", devicesFile.toStdString()});
    if (!m_process->running())
        return QStringLiteral("vexa-devsim could not be started");
    const std::string ready = m_process->line();
    if (ready.empty())
        return QStringLiteral("vexa-devsim did not get ready");
    return ready.starts_with("ready ") ? QString() : QString::fromStdString(ready);
}

QStringList DevsimSession::Command(const QByteArray &line)
{
    QStringList answer;
    if (!m_process)
        return answer;
    // The first answer line comes with the command; the rest follow until "ok" or "error:".
    for (std::string text = m_process->command(line.toStdString()); !text.empty(); text = m_process->line()) {
        answer << QString::fromStdString(text).trimmed();
        if (answer.last().startsWith(QLatin1String("ok ")) || answer.last().startsWith(QLatin1String("error:")))
            break;
    }
    return answer;
}

QStringList DevsimSession::Show(const QString &serial)
{
    const QStringList answer = Command("show " + serial.toLatin1());
    return answer.size() == 2 ? answer.first().split(u' ') : QStringList();
}

qint64 DevsimSession::Stat(const QString &name)
{
    const QStringList answer = Command("stats");
    const QStringList words = answer.isEmpty() ? QStringList() : answer.last().split(u' ');
    const qsizetype at = words.indexOf(name);
    return at > 1 && at + 1 < words.size() ? words.at(at + 1).toLongLong() : -1;
}

void DevsimSession::Stop()
{
    // quit() waits for a clean exit; the process object kills a simulator that lingers.
    if (m_process && m_process->running())
        m_process->quit();
    m_process.reset();
}

QJsonArray DevsimSession::DevicesOf(const QString &devicesFile)
{
    QFile file(devicesFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("devices")).toArray();
}
