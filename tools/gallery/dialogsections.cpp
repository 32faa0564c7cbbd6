#include "sections.h"

#include "cbasedialog.h"
#include "cinformationdlg.h"
#include "cmutiroledialog.h"
#include "corvostyle.h"
#include "cpushbutton.h"
#include "cwarndlg.h"
#include "cwarninfodlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmapCache>
#include <QProgressBar>
#include <QSlider>
#include <QVBoxLayout>

#include <thread>

namespace {

CPushButton *addButton(QHBoxLayout *row, const QString &text)
{
    auto *button = new CPushButton(text);
    row->addWidget(button);
    return button;
}

// Without a skin plug-in the style falls back to the base look; plain
// gradients under the skin's image names show the image-based drawing.
void provideSampleImages()
{
    const struct
    {
        const char *path;
        QSize size;
        QColor colour;
    } images[] = {
        {":images/public/ProgressBar/ProgressBarLeft.png", {4, 12}, QColor(0x9a, 0x9a, 0x9a)},
        {":images/public/ProgressBar/ProgressBar.png", {1, 12}, QColor(0xc8, 0xc8, 0xc8)},
        {":images/public/ProgressBar/ProgressBarRight.png", {4, 12}, QColor(0x9a, 0x9a, 0x9a)},
        {":images/public/ProgressBar/ProgressBarLeftChunk.png", {4, 12}, QColor(0x1f, 0x5a, 0x9e)},
        {":images/public/ProgressBar/ProgressBarChunk.png", {1, 12}, QColor(0x2f, 0x6d, 0xb5)},
        {":images/public/ProgressBar/ProgressBarRightChunk.png", {4, 12}, QColor(0x1f, 0x5a, 0x9e)},
        {":/images/public/Slider/RightSlider.png", {8, 4}, QColor(0xc8, 0xc8, 0xc8)},
        {":/images/public/Slider/LeftSlider.png", {8, 4}, QColor(0x2f, 0x6d, 0xb5)},
        {":/images/public/Slider/RadiobtnOff.png", {13, 10}, QColor(0x1f, 0x5a, 0x9e)},
    };
    for (const auto &image : images) {
        const QString path = QString::fromLatin1(image.path);
        if (!QPixmap(path).isNull())
            continue;
        QPixmap pixmap(image.size);
        QLinearGradient shade(0, 0, 0, image.size.height());
        shade.setColorAt(0, image.colour.lighter(130));
        shade.setColorAt(1, image.colour);
        QPainter(&pixmap).fillRect(pixmap.rect(), shade);
        QPixmapCache::insert(path, pixmap);
    }
}

} // namespace

QWidget *buildDialogSection()
{
    auto *section = new QWidget;
    auto *rows = new QVBoxLayout(section);
    auto *messages = new QHBoxLayout;
    auto *frames = new QHBoxLayout;
    rows->addLayout(messages);
    rows->addLayout(frames);
    auto *result = new QLabel(QStringLiteral("AskBox result: -"));
    rows->addWidget(result);
    CWarnInfoDlg::Init(section);

    QObject::connect(addButton(messages, QStringLiteral("MsgBox")), &CPushButton::clicked, section,
                     [section] {
                         CWarnDlg::MsgBox(QStringLiteral("Information"),
                                          QStringLiteral("Please select a device."), section);
                     });
    QObject::connect(addButton(messages, QStringLiteral("Long MsgBox")), &CPushButton::clicked, section,
                     [section] {
                         QString text = QStringLiteral("Modify succeeded: ID 1, 2, 3, 5, 8.<br>");
                         for (int id = 10; id < 40; ++id)
                             text += QStringLiteral("ID %1 failed: wrong password. ").arg(id);
                         CWarnDlg::MsgBox(QStringLiteral("Information"), text, section);
                     });
    QObject::connect(addButton(messages, QStringLiteral("AskBox")), &CPushButton::clicked, section,
                     [section, result] {
                         const int answer = CWarnDlg::AskBox(QStringLiteral("Confirm"),
                                                             QStringLiteral("Sure to close software"),
                                                             section);
                         result->setText(QStringLiteral("AskBox result: %1").arg(answer));
                     });
    QObject::connect(addButton(messages, QStringLiteral("Post from a worker thread")),
                     &CPushButton::clicked, section, [] {
                         std::thread([] {
                             CWarnInfoDlg::Instance()->PostMsgInfo(
                                 QStringLiteral("Information"),
                                 QStringLiteral("Posted from a worker thread."));
                         }).detach();
                     });
    QObject::connect(addButton(messages, QStringLiteral("Corner notice")), &CPushButton::clicked,
                     section, [section] {
                         CInformationDlg::ShowInfoFor(QStringLiteral("3 devices found."), section);
                     });
    messages->addStretch();

    QObject::connect(addButton(frames, QStringLiteral("CBaseDialog")), &CPushButton::clicked, section,
                     [section] {
                         CBaseDialog dialog(section);
                         dialog.SetTitle(QStringLiteral("Framed dialog"));
                         dialog.ShowCloseBtn(true);
                         dialog.SetContentWidget(new QLabel(
                             QStringLiteral("Drag by the title strip; Escape does nothing.")));
                         dialog.exec();
                     });
    auto *embedded = new CMutiroleDialog(section);
    embedded->hide();
    auto *embeddedLayout = new QHBoxLayout(embedded);
    embeddedLayout->addWidget(new QLabel(QStringLiteral("A CMutiroleDialog frame, shown modeless.")));
    QObject::connect(addButton(frames, QStringLiteral("CMutiroleDialog")), &CPushButton::clicked,
                     section, [section, embedded] {
                         embedded->ShowInDialog(section, QStringLiteral("Wrapped frame"), 360, 160);
                     });
    frames->addStretch();
    return section;
}

QWidget *buildStyleSection()
{
    provideSampleImages();
    auto *section = new QWidget;
    auto *form = new QFormLayout(section);

    auto *progress = new QProgressBar;
    progress->setTextVisible(false);
    progress->setValue(62);
    form->addRow(QStringLiteral("Progress bar at 62 %:"), progress);
    auto *full = new QProgressBar;
    full->setTextVisible(false);
    full->setValue(100);
    form->addRow(QStringLiteral("Progress bar at 100 %:"), full);
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setValue(40);
    QObject::connect(slider, &QSlider::valueChanged, progress, &QProgressBar::setValue);
    form->addRow(QStringLiteral("Slider (drives the first bar):"), slider);

    // Created last so it outlives the widgets that use it.
    auto *style = new COrvoStyle;
    style->setParent(section);
    for (QWidget *w : {static_cast<QWidget *>(progress), static_cast<QWidget *>(full),
                       static_cast<QWidget *>(slider)})
        w->setStyle(style);
    return section;
}
