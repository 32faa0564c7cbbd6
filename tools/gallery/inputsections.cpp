#include "sections.h"

#include "clabel.h"
#include "cpasswordlineedit.h"
#include "cpushbutton.h"
#include "cregexpvalidator.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpression>

QWidget *buildInputSection()
{
    auto *section = new QWidget;
    auto *form = new QFormLayout(section);

    auto *password = new CPasswordLineEdit;
    password->setText(QStringLiteral("demo1234"));
    form->addRow(QStringLiteral("CPasswordLineEdit (no copy, cut, paste):"), password);

    auto *address = new QLineEdit(QStringLiteral("192.168.1.64"));
    static const QRegularExpression digitsAndDots(QStringLiteral("[0-9.]*"));
    address->setValidator(new CRegExpValidator(15, digitsAndDots, address));
    form->addRow(QStringLiteral("CRegExpValidator (digits and dots, 15 bytes):"), address);

    auto *name = new QLineEdit(QStringLiteral("前门摄像机"));
    name->setValidator(new CRegExpValidator(39, name));
    form->addRow(QStringLiteral("CRegExpValidator (any text, 39 bytes):"), name);

    auto *buttons = new QWidget;
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new CPushButton(QStringLiteral("Modify")));
    auto *delay = new CDelayButton(QStringLiteral("Refresh (CDelayButton)"));
    auto *delayed = new CLabel(QStringLiteral("SignalDelayRelease: 0"));
    QObject::connect(delay, &CDelayButton::SignalDelayRelease, delayed, [delayed, count = 0]() mutable {
        delayed->setText(QStringLiteral("SignalDelayRelease: %1").arg(++count));
    });
    row->addWidget(delay);
    row->addWidget(delayed);
    row->addStretch();
    form->addRow(QStringLiteral("CPushButton, CDelayButton:"), buttons);
    return section;
}
