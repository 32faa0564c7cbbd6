#include "corvoapplication.h"
#include "clientlanguage.h"
#include "czel_vexamainwnd.h"

int main(int argc, char *argv[])
{
    COrvoApplication app(argc, argv, QStringLiteral("VEXA"));
    if (app.CheckSingleInstance())
        return 0;
    if (app.CheckResolution())
        return 0;

    // Declared after the application object, so destroyed before it.
    CZEL_VEXAMainWnd window(nullptr, {}, 0, 0, 0);
    window.SetManualLanguage(ClientLanguageManager::Instance()->GetCurrentLanguage().m_locale);
    window.show();
    return app.exec();
}
