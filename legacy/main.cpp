#include "corvoapplication.h"
#include "czel_vexamainwnd.h"

int main(int argc, char *argv[])
{
    // The same single-instance key as the main edition: the two exclude each other.
    COrvoApplication app(argc, argv, QStringLiteral("VEXA"));
    if (app.CheckSingleInstance())
        return 0;
    if (app.CheckResolution())
        return 0;

    // Declared after the application object, so destroyed before it.
    CZEL_VEXAMainWnd window;
    window.show();
    return app.exec();
}
