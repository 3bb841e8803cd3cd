#include "app/desktopplatform.h"
#include "app/form1.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // Standard error may be a pipe whose reader has gone; a failed write
    // there must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    // A trace reaching the file size limit fails its write with EFBIG and is
    // given up with one line; the signal would end the program at once,
    // without the outputs switched off or the port drained.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
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
