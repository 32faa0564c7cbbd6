// vexa-gallery: every widget of the widget library on one page, with sample
// data, for eyeballing looks and behaviour. "--screenshot FILE" saves the page
// (with a sample tool tip and a calendar pop-up up) and quits; "--skin KEY" applies a skin plug-in
// and adds a page of its images.

#include "gallery.h"
#include "sections.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

// Clicks the table's date editor, so the page shows its calendar pop-up over the cells below.
void openCalendarDemo(Gallery &gallery)
{
    auto *editor = gallery.findChild<QWidget *>(QLatin1String(kCalendarDemoEditor));
    if (!editor)
        return;
    const QPointF inside(8, editor->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, inside, editor->mapToGlobal(inside), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor, &press);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vexa-gallery"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the widget library with sample data."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the page to <file> and quit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);
    const QCommandLineOption skin(QStringLiteral("skin"),
                                  QStringLiteral("Apply the skin <key> from plugins/skins, with the "
                                                 "application style and style sheet, and show its images."),
                                  QStringLiteral("key"));
    parser.addOption(skin);
    parser.process(app);
    if (parser.isSet(skin) && !installSkin(parser.value(skin)))
        std::fprintf(stderr, "No skin plug-in offers %s\n", qPrintable(parser.value(skin)));

    Gallery gallery;
    gallery.setWindowTitle(QStringLiteral("Vexa widget gallery"));
    // First, so that the screenshot's calendar pop-up has room under its cell on a small screen.
    gallery.addSection(QStringLiteral("Date editors and calendar"), buildCalendarSection());
    gallery.addSection(QStringLiteral("CLabel"), buildLabelSection());
    gallery.addSection(QStringLiteral("CToolTip"), buildToolTipSection());
    gallery.addSection(QStringLiteral("Window-mask regions"), buildRegionSection());
    gallery.addSection(QStringLiteral("Input controls"), buildInputSection());
    gallery.addSection(QStringLiteral("CTableView with CTreeViewModel"), buildTableSection());
    gallery.addSection(QStringLiteral("Message and framed dialogs"), buildDialogSection());
    gallery.addSection(QStringLiteral("COrvoStyle"), buildStyleSection());
    if (parser.isSet(skin))
        gallery.addSection(QStringLiteral("Skin ") + parser.value(skin), buildSkinSection());
    gallery.resize(1000, 820);
    gallery.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        // Let the window map and lay out before raising the tip and grabbing.
        // The calendar first: the tip goes away on any mouse press.
        QTimer::singleShot(300, &gallery, [&gallery] {
            openCalendarDemo(gallery);
            if (auto *demo = gallery.findChild<QPushButton *>(kToolTipDemoButton))
                demo->click();
        });
        QTimer::singleShot(600, &gallery, [&gallery, file] {
            const bool saved = gallery.snapshot().save(file);
            if (!saved)
                std::fprintf(stderr, "Cannot write %s\n", qPrintable(file));
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
