#include "deviceexport.h"

#include "recordtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QString CsvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString TsvField(QString text)
{
    for (QChar &c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

} // namespace

QString DeviceExport::TabSeparated(const QStringList &header, const QList<QStringList> &rows)
{
    QString text;
    for (const QStringList &line : QList<QStringList>{header} + rows) {
        QStringList fields;
        fields.reserve(line.size());
        for (const QString &cell : line)
            fields.append(TsvField(cell));
        text += fields.join(u'\t') + u'\n';
    }
    return text;
}

QByteArray DeviceExport::Csv(const QStringList &header, const QList<QStringList> &rows)
{
    QString text;
    for (const QStringList &line : QList<QStringList>{header} + rows) {
        QStringList fields;
        fields.reserve(line.size());
        for (const QString &cell : line)
            fields.append(CsvField(cell));
        text += fields.join(u',') + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

QByteArray DeviceExport::Json(const QList<VEXA_DEVICE_INFO_MY> &records)
{
    QJsonArray devices;
    for (const VEXA_DEVICE_INFO_MY &r : records) {
        devices.append(QJsonObject{
            {QStringLiteral("serialNo"), FieldText(r.serialNo)},
            {QStringLiteral("macAddr"), FieldText(r.macAddr)},
            {QStringLiteral("ipv4Addr"), FieldText(r.ipv4Addr)},
            {QStringLiteral("ipv4Mask"), FieldText(r.ipv4Mask)},
            {QStringLiteral("ipv4Gateway"), FieldText(r.ipv4Gateway)},
            {QStringLiteral("typeCode"), r.typeCode},
            {QStringLiteral("typeName"), FieldText(r.typeName)},
            {QStringLiteral("port"), r.port},
            {QStringLiteral("channelCount"), r.channelCount},
            {QStringLiteral("softwareVersion"), FieldText(r.softwareVersion)},
            {QStringLiteral("dspVersion"), FieldText(r.dspVersion)},
            {QStringLiteral("startTime"), FieldText(r.startTime)},
            {QStringLiteral("ipv6Addr"), FieldText(r.ipv6Addr)},
            {QStringLiteral("ipv6Gateway"), FieldText(r.ipv6Gateway)},
            {QStringLiteral("ipv6PrefixLen"), int(r.ipv6PrefixLen)},
            {QStringLiteral("capabilities"), int(r.capabilities)},
            {QStringLiteral("dhcpOn"), int(r.dhcpOn)},
            {QStringLiteral("extInfo"), int(r.extInfo)},
        });
    }
    return QJsonDocument(devices).toJson(QJsonDocument::Indented);
}

std::optional<QString> DeviceExport::WriteAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}
