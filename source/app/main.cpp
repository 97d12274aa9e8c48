#include "application.h"
#include "applicationfont.h"
#include "mainwindow.h"
#include "startup.h"

#include "initialize.h"

int main(int argc, char **argv)
{
    Startup::prepareProcess();
    Application application(argc, argv);
    const QStringList files = Startup::parseCommandLine(application);

    return Startup::runGuarded([&application, &files] {
        Model::initialize();
        registerApplicationFont();
        MainWindow window;
        Startup::connectApplication(application, window, files);
        window.show();
        const int result = application.exec();
        Model::deinitialize();
        unregisterApplicationFont();
        return result;
    });
}
