#include "startup.h"

#include "application.h"
#include "applicationfont.h"
#include "mainwindow.h"

#include "initialize.h"
#include "render/offscreenrenderer.h"

#include "kelvaneversion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <exception>
#include <iostream>

namespace Startup {

void prepareProcess()
{
    // Looked up by Qt relative to the working directory.
    qputenv("QT_OPENGL_BUGLIST", QByteArrayLiteral("opengl-buglist.json"));
    // The application object may load the OpenGL driver, which reads its
    // thread count as it loads.
    Model::OffscreenRenderer::chooseSoftwareRasterizerThreads();
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kelvane.org"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    // The version the about box shows; exported packages name it too.
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVANE_VERSION));
}

QStringList parseCommandLine(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("World's best software for hand-drawn animation"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QCoreApplication::translate("Application", "KL scene to open"));
    parser.process(application);
    return parser.positionalArguments();
}

void connectApplication(Application &application, MainWindow &window, const QStringList &files)
{
    MainWindow *const target = &window;
    QObject::connect(&application, &Application::requestFileOpen, target, &MainWindow::openFile);
    QTimer::singleShot(0, target, [target, files] {
        if (files.isEmpty() || !target->openFile(files.first()))
            target->newSceneIfNoneOpen();
        // Last: it leaves out the backups the notice of the file just opened
        // named, and joins that notice rather than hiding it.
        target->tellOfLostWork();
    });
    QObject::connect(&application, &Application::tabletPointerTypeChanged, target,
                     &MainWindow::setTabletPointerType);
    QObject::connect(&application, &Application::endRequested, target, &MainWindow::endOnRequest);
    QObject::connect(&application, &Application::displayLost, target, &MainWindow::endWithoutDisplay);
}

int runGuarded(const std::function<int()> &run)
{
    try {
        return run();
    } catch (const std::exception &exception) {
        std::cerr << exception.what() << std::endl;
    } catch (...) {
        std::cerr << "Unknown exception" << std::endl;
    }
    return -1;
}

int run(Application &application, const QStringList &files)
{
    return runGuarded([&application, &files] {
        Model::initialize();
        registerApplicationFont();
        MainWindow window;
        connectApplication(application, window, files);
        application.catchEndSignals();
        application.catchLostDisplay();
        window.show();
        const int result = application.exec();
        Model::deinitialize();
        unregisterApplicationFont();
        return result;
    });
}

} // namespace Startup
