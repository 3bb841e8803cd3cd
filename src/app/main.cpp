#include "app/desktopplatform.h"
#include "app/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DesktopPlatform platform;
    Form1 window(platform);
    platform.setWindow(&window);
    window.Form_Load();
    if (platform.ended())
        return 0;
    window.show();
    if (platform.ended())
        return 0;
    return app.exec();
}
