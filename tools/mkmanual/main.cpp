// vexa-mkmanual: renders a user manual written in Markdown to a PDF.
//
//     vexa-mkmanual INPUT.md OUTPUT.pdf
//
// Exit status: 0 written, 1 input unreadable or output not written, 2 bad arguments.

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <cstdio>

namespace {

// Latin text in a sans-serif face; Chinese falls through to the CJK face.
const QStringList kFontFamilies = {QStringLiteral("Liberation Sans"), QStringLiteral("Noto Sans CJK SC")};
constexpr qreal kBodyPointSize = 10.5;
constexpr int kResolution = 300;

void Fail(const QString &message)
{
    std::fprintf(stderr, "vexa-mkmanual: %s\n", qPrintable(message));
}

// The first level-one heading names the document in the PDF's metadata.
QString TitleOf(const QString &markdown)
{
    const QStringList lines = markdown.split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("# ")))
            return line.mid(2).trimmed();
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    // Rendering needs fonts but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        Fail(QStringLiteral("usage: vexa-mkmanual INPUT.md OUTPUT.pdf"));
        return 2;
    }

    QFile input(args[1]);
    if (!input.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("cannot read %1: %2").arg(args[1], input.errorString()));
        return 1;
    }
    const QString markdown = QString::fromUtf8(input.readAll());

    QTextDocument document;
    QFont font;
    font.setFamilies(kFontFamilies);
    font.setPointSizeF(kBodyPointSize);
    document.setDefaultFont(font);
    document.setMarkdown(markdown);

    // Written whole or not at all, so a failed build leaves no half manual behind.
    QSaveFile output(args[2]);
    if (!output.open(QIODevice::WriteOnly)) {
        Fail(QStringLiteral("cannot write %1: %2").arg(args[2], output.errorString()));
        return 1;
    }
    {
        QPdfWriter writer(&output);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                         QPageLayout::Millimeter));
        writer.setTitle(TitleOf(markdown));
        writer.setCreator(QStringLiteral("vexa-mkmanual"));
        // Paginates a copy of the document and numbers the pages.
        document.print(&writer);
    }
    if (!output.commit()) {
        Fail(QStringLiteral("cannot write %1: %2").arg(args[2], output.errorString()));
        return 1;
    }
    return 0;
}
