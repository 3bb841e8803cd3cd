#include "app/desktopplatform.h"
#include "app/form1.h"
#include "app/writesignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ignoreWriteSignals();
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry (Wayland takes the icon from it).
    QGuiApplication::setDesktopFileName(QStringLiteral("alarm-host-tester"));
    DesktopPlatform platform;
    Form1 window(platform);
    platform.setWindow(&window);
    // Message boxes shown before the window get its icon too.
    QApplication::setWindowIcon(window.windowIcon());
    window.Form_Load();
    if (platform.ended())
        return 0;
    window.show();
    if (platform.ended())
        return 0;
    return app.exec();
}
