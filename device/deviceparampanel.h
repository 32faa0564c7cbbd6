#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

class QLineEdit;
class QWidget;
namespace Ui {
class QtVexaClass;
}

/** What a Modify sends, checked and in the form the devices take it. */
struct NetParams {
    QByteArray mask;
    /** Plain decimal, so the value the device gets is the value checked. */
    QByteArray port;
    /** Empty: the device keeps its gateway. */
    QByteArray gateway;
    QByteArray password;
    bool withIpv6 = false;
    QByteArray ipv6Addr;
    QByteArray ipv6Gateway;
    quint8 ipv6PrefixLen = 0;
};

/** The parameter panel's fields as typed. */
struct NetParamTexts {
    QString address;
    QString mask;
    QString port;
    QString gateway;
    QString ipv6Addr;
    QString ipv6Gateway;
    QString ipv6Prefix;
    QString password;
    /** Whether the IPv6 fields are in use (enabled): only then are they checked, and sent to a single device. */
    bool ipv6Shown = false;
};

/** The fields a refusal points at, in the order they are checked. */
enum class NetField { Address, Mask, Port, Gateway, Ipv6Addr, Ipv6Gateway, Ipv6Prefix };

struct NetRefusal {
    NetField field;
    QString message;
};

/** The devices a Modify acts on, as far as the checks need to know them. */
struct NetTargets {
    qsizetype devices = 1;
    /** Every one of them an ONVIF device, whose one port is its HTTP port. */
    bool onvifOnly = false;
    /**
     * The refusal text when the addresses the batch from `start` gives the
     * devices belong to another listed device; nothing when they do not.
     */
    std::function<std::optional<QString>(const QString &start)> addressOwner;
};

/**
 * The device page's parameter panel: shows the selected device's network
 * parameters, enables what the device lets change, switches between one
 * device and a batch, and checks what the user typed before a Modify.
 * Works on the page's form; its texts are the page's.
 */
class VEXADEVICE_EXPORT DeviceParamPanel final
{
    Q_DECLARE_TR_FUNCTIONS(QtVexa)

public:
    explicit DeviceParamPanel(Ui::QtVexaClass &ui);
    Q_DISABLE_COPY_MOVE(DeviceParamPanel)

    /** Validators and lengths of the fields. */
    void AttachFieldLimits();

    /** The record's parameters, with the fields its type and capabilities allow; null shows nothing and disables the panel. */
    void ShowDevice(const VEXA_DEVICE_INFO_MY *record);
    /** Every field on, or every field off and emptied. */
    void Enable(bool enable);
    /** The single-device titles. */
    void ShowSingle();
    /**
     * The batch panel for these records (null for rows without one): empty
     * fields, editable as soon as one device allows it, no IPv6.
     */
    void ShowBatch(const QList<const VEXA_DEVICE_INFO_MY *> &records);
    /** Hides the single device's own fields (serial number, password restore) in a batch. */
    void SetBatchMode(bool batch);

    /**
     * The fields checked in order for `targets`; at the first fault its tip
     * shows just below the field and nothing is given.
     */
    std::optional<NetParams> Validated(const NetTargets &targets);
    /** The checks alone: the parameters, or the first field at fault and why. */
    static std::variant<NetParams, NetRefusal> Check(const NetParamTexts &texts, const NetTargets &targets);

    /**
     * The address a batch gives the device at `position` (from 0) of the
     * selection: the start address with its last octet raised by the
     * position, in plain dotted decimal. Nothing when the start is not four
     * decimal octets or the last octet would pass 255.
     */
    static std::optional<QString> NextBatchAddress(const QString &start, int position);

    /** Shows `message` as a tip just below a field of the panel. */
    static void ShowFieldTip(const QWidget *field, const QString &message);

private:
    NetParamTexts Texts() const;
    QLineEdit *Field(NetField field) const;
    void EnableEdits(bool enable);

    Ui::QtVexaClass &m_ui;
};
