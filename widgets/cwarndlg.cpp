#include "cwarndlg.h"

#include "ui_cwarndlg.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QTextBlockFormat>
#include <QTextCursor>

namespace {

const QString kEmptyMessage = QStringLiteral(
    "<html><head><meta name=\"qrichtext\" content=\"1\" /></head>"
    "<body style=\"font-family:'Arial'; font-size:9pt; font-weight:400;\">"
    "<p align=\"center\"></p></body></html>");

// Room the text browser needs around its text (frame and document margins).
constexpr int kTextPadding = 15;
constexpr int kBrowserPadding = 10;
// Where a message taller than the content frame starts.
constexpr int kTallMessageTop = 15;
constexpr int kTallMessageExtra = 30;

} // namespace

CWarnDlg::CWarnDlg(QWidget *parent)
    : CBaseDialog(parent, true, true, true)
    , m_ui(std::make_unique<Ui::CWarnDlgClass>())
{
    m_ui->setupUi(GetContentFrame());
    setStyleSheet(QStringLiteral("QFrame#CWarnDlg{background-color: transparent;}"));
    m_ui->m_pBrowserTxt->setStyleSheet(QStringLiteral("background-color: transparent;"));
    m_ui->m_pBrowserTxt->setHtml(kEmptyMessage);
    connect(m_ui->m_pBrowserTxt->document()->documentLayout(),
            &QAbstractTextDocumentLayout::documentSizeChanged, this, &CWarnDlg::TextNeededSize);
}

CWarnDlg::~CWarnDlg() = default;

int CWarnDlg::Run(const QString &title, const QString &text, bool bAsk)
{
    FitWidthToText(text);
    ShowCloseBtn(true);
    SetBtnAreaVisible(bAsk);
    SetMsg(title, text);
    return exec();
}

int CWarnDlg::ShowMsg(const QString &title, const QString &text)
{
    return Run(title, text, false);
}

int CWarnDlg::ShowAsk(const QString &title, const QString &text)
{
    return Run(title, text, true);
}

int CWarnDlg::MsgBox(const QString &title, const QString &text, QWidget *parent)
{
    if (!parent)
        return -1;
    CWarnDlg dlg(parent);
    return dlg.ShowMsg(title, text);
}

int CWarnDlg::AskBox(const QString &title, const QString &text, QWidget *parent)
{
    if (!parent)
        return -1;
    CWarnDlg dlg(parent);
    return dlg.ShowAsk(title, text);
}

void CWarnDlg::FitWidthToText(const QString &text)
{
    // Measured on the raw string, markup included: errs on the wide side.
    const int textWidth = m_ui->m_pBrowserTxt->fontMetrics().horizontalAdvance(text) + kTextPadding;
    const int needed = textWidth + kBrowserPadding;
    if (needed <= m_iMinWidth - m_iMargin) {
        resize(m_iMinWidth, m_iHeight);
        m_ui->m_pBrowserTxt->setFixedWidth(textWidth);
    } else if (needed >= m_iMaxWidth - m_iMargin) {
        resize(m_iMaxWidth, m_iHeight);
        m_ui->m_pBrowserTxt->setFixedWidth(m_iMaxWidth - m_iMargin - kBrowserPadding);
    } else {
        resize(needed + m_iMargin, m_iHeight);
        m_ui->m_pBrowserTxt->setFixedWidth(textWidth);
    }
}

void CWarnDlg::SetMsg(const QString &title, const QString &text)
{
    SetTitle(title);
    // Written into the template's centred paragraph so that plain text keeps
    // the message font and alignment too.
    m_ui->m_pBrowserTxt->setHtml(kEmptyMessage);
    QTextCursor cursor(m_ui->m_pBrowserTxt->document());
    cursor.movePosition(QTextCursor::End);
    if (Qt::mightBeRichText(text))
        cursor.insertHtml(text);
    else
        cursor.insertText(text);
    // Inserted markup brings its own paragraphs; the message stays centred.
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(centred);
}

void CWarnDlg::AdjustBrowserWidth()
{
    m_ui->m_pBrowserTxt->setFixedWidth(width() - kBrowserPadding);
}

void CWarnDlg::TextNeededSize(const QSizeF &sizeText)
{
    QTextBrowser *browser = m_ui->m_pBrowserTxt;
    QWidget *frame = GetContentFrame();
    if (!browser->parentWidget() || !browser->document() || !frame)
        return;

    const int needed = static_cast<int>(sizeText.height() + kBrowserPadding);
    browser->setFixedHeight(needed);
    const int frameHeight = frame->height();
    int top = 0;
    if (frameHeight < needed) {
        resize(width(), height() + needed - frameHeight + kTallMessageExtra);
        top = kTallMessageTop;
    } else {
        top = frameHeight / 2 - browser->height() / 2;
    }
    browser->move(frame->width() / 2 - browser->width() / 2, top);
}

void CWarnDlg::closeEvent(QCloseEvent *event)
{
    // Closing from the window system only ends exec(); the owner still holds
    // the object on its stack.
    hide();
    event->ignore();
}
