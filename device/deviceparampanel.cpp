#include "deviceparampanel.h"

#include "recordtext.h"
#include "ui_qtvexa.h"

#include <addressvalidators.h>
#include <cregexpvalidator.h>
#include <ctooltip.h>

#include <QIntValidator>

#include <algorithm>
#include <initializer_list>

namespace {

constexpr int kAddressMaxBytes = 39;
constexpr int kPasswordMaxLength = 16;
constexpr int kSecurityCodeMaxLength = 32;

// The decimal value of a field's text, 0 when it is not a number.
int NumberOf(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

void SetEnabled(std::initializer_list<QWidget *> widgets, bool enabled)
{
    for (QWidget *widget : widgets)
        widget->setEnabled(enabled);
}

} // namespace

DeviceParamPanel::DeviceParamPanel(Ui::QtVexaClass &ui)
    : m_ui(ui)
{
}

void DeviceParamPanel::AttachFieldLimits()
{
    m_ui.lineEditIPAddr->setValidator(new CRegExpValidator(kAddressMaxBytes, m_ui.lineEditIPAddr));
    m_ui.lineEditIPMask->setValidator(new CRegExpValidator(kAddressMaxBytes, m_ui.lineEditIPMask));
    m_ui.lineEditPort->setMaxLength(5);
    m_ui.lineEditPort->setValidator(new QIntValidator(kDevicePortMin, kDevicePortMax, m_ui.lineEditPort));
    m_ui.lineEditPort->setToolTip(tr("Device port ranges from 2000 to 65535."));
    m_ui.lineEditIPv6Mask->setValidator(new QIntValidator(kIpv6PrefixMin, kIpv6PrefixMax, m_ui.lineEditIPv6Mask));
    m_ui.lineEditPort_Password->setMaxLength(kPasswordMaxLength);
    m_ui.m_pDefaultPwdLEdit->setMaxLength(kSecurityCodeMaxLength);
    m_ui.m_pDefaultPwdLEdit->setEchoMode(QLineEdit::Password);
    for (QLineEdit *edit : {m_ui.lineEditIPv6Addr, m_ui.lineEditIPv6Gateway, m_ui.lineEditIPv6Mask})
        edit->setEnabled(false);
}

void DeviceParamPanel::ShowDevice(const VEXA_DEVICE_INFO_MY *record)
{
    // A row whose record cannot be found shows nothing rather than another
    // device's parameters, which a later Modify would then send.
    if (!record) {
        Enable(false);
        return;
    }
    const bool readOnly = IsReadOnlyType(record->typeCode);
    EnableEdits(!readOnly);

    Ui::QtVexaClass &ui = m_ui;
    ui.lineEditSerial->setText(FieldText(record->serialNo));
    ui.lineEditSerial->setCursorPosition(0);
    ui.lineEditIPAddr->setText(FieldText(record->ipv4Addr));
    ui.lineEditIPMask->setText(FieldText(record->ipv4Mask));
    ui.lineEditPort->setText(QString::number(record->port));
    ui.lineEditIPGateway->setText(FieldText(record->ipv4Gateway));
    ui.lineEditIPv6Addr->setText(FieldText(record->ipv6Addr));
    ui.lineEditIPv6Gateway->setText(FieldText(record->ipv6Gateway));
    ui.lineEditIPv6Mask->setText(QString::number(record->ipv6PrefixLen));

    const std::initializer_list<QLineEdit *> ipv6Edits = {ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway,
                                                          ui.lineEditIPv6Mask};
    if (record->extInfo == 0) {
        ui.lineEditIPGateway->clear();
        ui.lineEditIPGateway->setEnabled(false);
        for (QLineEdit *edit : ipv6Edits) {
            edit->clear();
            edit->setEnabled(false);
        }
    } else if (record->extInfo == 1) {
        if (!HasIpv6(*record)) {
            for (QLineEdit *edit : ipv6Edits)
                edit->clear();
        }
#ifdef VEXA_OLDER_EDITION
        // The older edition changes IPv4 parameters only.
        const bool ipv6Modifiable = false;
#else
        const bool ipv6Modifiable = CanModifyIpv6(*record) && !readOnly;
#endif
        for (QLineEdit *edit : ipv6Edits)
            edit->setEnabled(ipv6Modifiable);
    }
}

void DeviceParamPanel::Enable(bool enable)
{
    Ui::QtVexaClass &ui = m_ui;
    for (QLineEdit *edit : {ui.lineEditSerial, ui.lineEditIPAddr, ui.lineEditIPMask, ui.lineEditPort,
                            static_cast<QLineEdit *>(ui.lineEditPort_Password), ui.m_pDefaultPwdLEdit,
                            ui.lineEditIPGateway}) {
        if (!enable)
            edit->clear();
        edit->setEnabled(enable);
    }
    ui.pushButtonModifyNetwork->setEnabled(enable);
    ui.pushButtonModifyPassword->setEnabled(enable);
    if (!enable) {
        for (QLineEdit *edit : {ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway, ui.lineEditIPv6Mask}) {
            edit->clear();
            edit->setEnabled(false);
        }
    }
}

void DeviceParamPanel::EnableEdits(bool enable)
{
    Ui::QtVexaClass &ui = m_ui;
    SetEnabled({ui.lineEditIPAddr, ui.lineEditIPMask, ui.lineEditPort, ui.m_pDefaultPwdLEdit,
                ui.lineEditPort_Password, ui.pushButtonModifyNetwork, ui.pushButtonModifyPassword},
               enable);
    // A device that cannot be changed here has nothing to edit at all.
    if (!enable)
        SetEnabled({ui.lineEditIPGateway, ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway, ui.lineEditIPv6Mask}, false);
}

void DeviceParamPanel::ShowSingle()
{
    m_ui.label_7->setText(tr("IP Address:"));
    m_ui.label_162->setText(tr("Modify Network parameters"));
}

void DeviceParamPanel::ShowBatch(const QList<const VEXA_DEVICE_INFO_MY *> &records)
{
    Ui::QtVexaClass &ui = m_ui;
    ui.label_7->setText(tr("Start IP Address:"));
    ui.label_162->setText(tr("Batch Modify Network parameters"));
    SetBatchMode(true);

    // A batch is offered as soon as one selected device allows it.
    const auto any = [&records](auto allows) {
        return std::any_of(records.cbegin(), records.cend(),
                           [&allows](const VEXA_DEVICE_INFO_MY *record) { return record && allows(*record); });
    };
    const bool ipv4Editable = any([](const VEXA_DEVICE_INFO_MY &record) { return !IsReadOnlyType(record.typeCode); });
    const bool gatewayEditable = any([](const VEXA_DEVICE_INFO_MY &record) { return record.extInfo == 1; });

    for (QLineEdit *edit : {ui.lineEditIPAddr, ui.lineEditIPGateway, ui.lineEditIPMask, ui.lineEditIPv6Addr,
                            ui.lineEditIPv6Mask, ui.lineEditIPv6Gateway, ui.lineEditPort,
                            static_cast<QLineEdit *>(ui.lineEditPort_Password)})
        edit->clear();
    SetEnabled({ui.lineEditIPAddr, ui.lineEditPort, ui.lineEditIPMask, ui.lineEditPort_Password,
                ui.pushButtonModifyNetwork},
               ipv4Editable);
    ui.lineEditIPGateway->setEnabled(gatewayEditable);
    SetEnabled({ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway, ui.lineEditIPv6Mask}, false);
}

void DeviceParamPanel::SetBatchMode(bool batch)
{
    Ui::QtVexaClass &ui = m_ui;
    for (QWidget *widget : {static_cast<QWidget *>(ui.label_5), static_cast<QWidget *>(ui.lineEditSerial),
                            static_cast<QWidget *>(ui.label_163), static_cast<QWidget *>(ui.m_pDefaultPwdLEdit),
                            static_cast<QWidget *>(ui.pushButtonModifyPassword), static_cast<QWidget *>(ui.label_3),
                            static_cast<QWidget *>(ui.label_6), static_cast<QWidget *>(ui.line_3)})
        widget->setVisible(!batch);
}

std::optional<QString> DeviceParamPanel::NextBatchAddress(const QString &start, int position)
{
    const auto octets = IPv4Octets(start.trimmed());
    if (!octets || position < 0)
        return std::nullopt;
    const int last = (*octets)[3] + position;
    if (last > 255)
        return std::nullopt;
    return QStringLiteral("%1.%2.%3.%4").arg((*octets)[0]).arg((*octets)[1]).arg((*octets)[2]).arg(last);
}

void DeviceParamPanel::ShowFieldTip(const QWidget *field, const QString &message)
{
    // For the panel's form, asked for at its left edge level with the
    // field's top: the library puts the tip just below that point and wraps
    // it to the form's width, so it lies under the field, inside the panel,
    // never over the table beside it.
    QWidget *form = field->parentWidget();
    CToolTip::showText(form->mapToGlobal(QPoint(0, field->y())), message, form);
}

NetParamTexts DeviceParamPanel::Texts() const
{
    const Ui::QtVexaClass &ui = m_ui;
    return {ui.lineEditIPAddr->text(),     ui.lineEditIPMask->text(),      ui.lineEditPort->text(),
            ui.lineEditIPGateway->text(),  ui.lineEditIPv6Addr->text(),    ui.lineEditIPv6Gateway->text(),
            ui.lineEditIPv6Mask->text(),   ui.lineEditPort_Password->text(), ui.lineEditIPv6Addr->isEnabled()};
}

QLineEdit *DeviceParamPanel::Field(NetField field) const
{
    switch (field) {
    case NetField::Address: return m_ui.lineEditIPAddr;
    case NetField::Mask: return m_ui.lineEditIPMask;
    case NetField::Port: return m_ui.lineEditPort;
    case NetField::Gateway: return m_ui.lineEditIPGateway;
    case NetField::Ipv6Addr: return m_ui.lineEditIPv6Addr;
    case NetField::Ipv6Gateway: return m_ui.lineEditIPv6Gateway;
    case NetField::Ipv6Prefix: return m_ui.lineEditIPv6Mask;
    }
    return m_ui.lineEditIPAddr;
}

std::optional<NetParams> DeviceParamPanel::Validated(const NetTargets &targets)
{
    const auto checked = Check(Texts(), targets);
    const auto *refusal = std::get_if<NetRefusal>(&checked);
    // Once the checks got past the port, the gateway field shows what is sent.
    if (!refusal || refusal->field > NetField::Port) {
#ifdef VEXA_OLDER_EDITION
        // The earlier interface always sends a gateway: none is "0.0.0.0".
        if (m_ui.lineEditIPGateway->text().trimmed().isEmpty())
            m_ui.lineEditIPGateway->setText(QStringLiteral("0.0.0.0"));
#else
        if (m_ui.lineEditIPGateway->text().trimmed().isEmpty())
            m_ui.lineEditIPGateway->clear();
#endif
    }
    if (refusal) {
        ShowFieldTip(Field(refusal->field), refusal->message);
        return std::nullopt;
    }
    return std::get<NetParams>(checked);
}

std::variant<NetParams, NetRefusal> DeviceParamPanel::Check(const NetParamTexts &texts, const NetTargets &targets)
{
    const qsizetype deviceCount = targets.devices;

    const QString address = texts.address.trimmed();
    if (address.isEmpty())
        return NetRefusal{NetField::Address, tr("IP address cannot be empty.")};
    if (!IsValidIPv4Addr(address))
        return NetRefusal{NetField::Address, tr("IP Address not correct.")};
    // Past 255 the last octet has no valid address left: refuse the whole
    // batch rather than readdress some devices and not others.
    if (deviceCount > 1 && !NextBatchAddress(address, int(deviceCount - 1)))
        return NetRefusal{NetField::Address,
                          tr("Not enough addresses after the start IP address for %1 devices.").arg(deviceCount)};
    // Two devices on one address make both unreachable: nothing is sent.
    if (targets.addressOwner) {
        if (const std::optional<QString> owner = targets.addressOwner(address))
            return NetRefusal{NetField::Address, *owner};
    }

    const QString mask = texts.mask.trimmed();
    if (mask.isEmpty())
        return NetRefusal{NetField::Mask, tr("Subnet mask cannot be empty.")};
    if (!IsValidSubnetMask(mask))
        return NetRefusal{NetField::Mask, tr("Subnet Mask not correct.")};

    // An ONVIF device's one port is its HTTP port, 80 on nearly every camera;
    // a batch with any VXDP device keeps the device port's range.
    const int port = NumberOf(texts.port.trimmed());
    if (targets.onvifOnly && (port < kHttpPortMin || port > kDevicePortMax))
        return NetRefusal{NetField::Port, tr("HTTP port ranges from 1 to 65535.")};
    if (!targets.onvifOnly && (port < kDevicePortMin || port > kDevicePortMax))
        return NetRefusal{NetField::Port, tr("Device port ranges from 2000 to 65535.")};

    QString gateway = texts.gateway.trimmed();
#ifdef VEXA_OLDER_EDITION
    // The earlier interface always sends a gateway: none is "0.0.0.0".
    if (gateway.isEmpty())
        gateway = QStringLiteral("0.0.0.0");
#endif
    if (!gateway.isEmpty() && !IsValidIPv4Gateway(gateway))
        return NetRefusal{NetField::Gateway, tr("Gateway not correct.")};

    NetParams params;
    if (texts.ipv6Shown) {
        const QString ipv6Addr = texts.ipv6Addr.trimmed();
        if (ipv6Addr.isEmpty())
            return NetRefusal{NetField::Ipv6Addr, tr("IPv6 address cannot be empty.")};
        if (!IsValidIPv6Addr(ipv6Addr))
            return NetRefusal{NetField::Ipv6Addr, tr("IPv6 Address not correct.")};
        const QString ipv6Gateway = texts.ipv6Gateway.trimmed();
        if (!ipv6Gateway.isEmpty() && !IsValidIPv6Addr(ipv6Gateway))
            return NetRefusal{NetField::Ipv6Gateway, tr("IPv6 gateway not correct.")};
        const int prefix = NumberOf(texts.ipv6Prefix.trimmed());
        if (prefix < kIpv6PrefixMin || prefix > kIpv6PrefixMax)
            return NetRefusal{NetField::Ipv6Prefix, tr("IPv6 prefix length ranges from 0 to 64.")};
        params.ipv6Addr = ipv6Addr.toLatin1();
        params.ipv6Gateway = ipv6Gateway.toLatin1();
        params.ipv6PrefixLen = quint8(prefix);
    }
    // Rows selected from the keyboard leave the single-device panel up: one
    // device's IPv6 address must never go to several.
    params.withIpv6 = texts.ipv6Shown && deviceCount == 1;

    params.mask = mask.toLatin1();
    params.port = QByteArray::number(port);
    // Leading zeros would not fit the 15-character fields of the records.
    params.gateway = gateway.isEmpty() ? QByteArray() : PlainIPv4(gateway).toLatin1();
    params.password = texts.password.toLatin1();
    return params;
}
