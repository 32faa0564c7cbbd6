#include "zel_vexa_embed.h"

#include "czel_vexamainwnd.h"

#include <clientconfig.h>
#include <clientlanguage.h>

#include <QApplication>
#include <QGridLayout>
#include <QPointer>

#include <new>

// Only these three leave the library: under their decorated names when
// gold links it (zel_vexa_embed.ld and .map), under these plain names
// otherwise (zel_vexa_embed_plain.map).
#define ZEL_VEXA_ENTRY extern "C" __attribute__((visibility("default")))

namespace {

// The host's widget tree owns the window; watched rather than owned, so that
// a host deleting it leaves a null here instead of a dangling pointer.
QPointer<CZEL_VEXAMainWnd> s_pMainWnd;
QPointer<QGridLayout> s_pLayout;

CZEL_VEXAMainWnd *CreateMainWnd(QWidget *parent, int i1, int i2, int i3)
{
    try {
        auto *window = new CZEL_VEXAMainWnd(parent, {}, i1, i2, i3);
        // The window makes itself top-level; in a host it is a child of the
        // host's frame, also when that frame is the parent it was given (a
        // layout reparents only widgets of another parent).
        window->setWindowFlag(Qt::Window, false);
        return window;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

} // namespace

ZEL_VEXA_ENTRY bool ZEL_VEXA_OpenDialog(QWidget *parent, QGridLayout *layout, bool showTitle, int i1, int i2,
                                        int i3)
{
    // Widgets need the host's QApplication; without one creating the window would abort the host.
    QApplication *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return false;

    QCoreApplication::addLibraryPath(
        QStringLiteral("%1%2plugins").arg(QCoreApplication::applicationDirPath(), QStringLiteral("/")));
    ClientConfigManager::Instance()->ReadConfigFile(QStringLiteral("Setup.xml"));
    const ClientLanguageProperty &language = ClientLanguageManager::Instance()->GetCurrentLanguage();
    language.InstallTranslators();

    if (!s_pMainWnd) {
        s_pMainWnd = CreateMainWnd(parent, i1, i2, i3);
        if (!s_pMainWnd)
            return false;
    }
    if (s_pLayout && s_pLayout != layout)
        s_pLayout->removeWidget(s_pMainWnd);
    s_pLayout = layout;
    if (layout && layout->indexOf(s_pMainWnd) < 0)
        layout->addWidget(s_pMainWnd, 0, 0, 1, 1);
    s_pMainWnd->SetManualLanguage(language.m_locale);
    s_pMainWnd->ShowTitle(showTitle);
    s_pMainWnd->show();
    return true;
}

ZEL_VEXA_ENTRY void ZEL_VEXA_ChangeSize(bool full)
{
    if (s_pMainWnd)
        s_pMainWnd->ChangeSize(full);
}

ZEL_VEXA_ENTRY int ZEL_VEXA_CallBack(const VEXA_DEVICE_REPORT *report)
{
    if (!s_pMainWnd || !report)
        return 0;
    s_pMainWnd->OnCallBack(report);
    return 1;
}
