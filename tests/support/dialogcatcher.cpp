#include "dialogcatcher.h"

#include <cwarndlg.h>

#include <QApplication>
#include <QTextBrowser>

DialogCatcher::DialogCatcher()
{
    m_poll.setInterval(10);
    connect(&m_poll, &QTimer::timeout, this, &DialogCatcher::Poll);
    m_poll.start();
}

void DialogCatcher::Poll()
{
    auto *dialog = qobject_cast<CWarnDlg *>(QApplication::activeModalWidget());
    if (seen || !dialog || !dialog->isVisible())
        return;
    seen = true;
    title = dialog->GetTitle();
    text = dialog->findChild<QTextBrowser *>("m_pBrowserTxt")->toPlainText();
    cursorBusy = QGuiApplication::overrideCursor() != nullptr;
    dialog->reject();
}
