#include "application.h"
#include "applicationfont.h"
#include "startup.h"

#include "support/widgetevents.h"

#include <QFileOpenEvent>
#include <QFontDatabase>
#include <QProcess>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTest>

#include <iostream>
#include <sstream>
#include <stdexcept>

Q_DECLARE_METATYPE(QPointingDevice::PointerType)

namespace {

// Everything written to std::cerr while it lives.
class CapturedErrors
{
public:
    CapturedErrors()
        : m_previous(std::cerr.rdbuf(m_text.rdbuf()))
    {
    }
    ~CapturedErrors() { std::cerr.rdbuf(m_previous); }

    CapturedErrors(const CapturedErrors &) = delete;
    CapturedErrors &operator=(const CapturedErrors &) = delete;

    QString text() const { return QString::fromStdString(m_text.str()); }

private:
    std::ostringstream m_text;
    std::streambuf *m_previous;
};

// The program, as the user starts it from a shell.
struct Run
{
    int exitCode = -2;
    QString output;
    QString errors;
};

Run runProgram(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(KELVANE_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

// The application object and the start-up around it: tablet proximity,
// documents sent by the system, the application font, the command line and
// the last-resort exception guard.
class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void proximityTellsPenFromEraser_data();
    void proximityTellsPenFromEraser();
    void fileOpenRequestBecomesSignal();
    void applicationFontRegistersOnce();
    void exceptionGuard_data();
    void exceptionGuard();
    void commandLine_data();
    void commandLine();
};

void TestApplication::proximityTellsPenFromEraser_data()
{
    QTest::addColumn<int>("pointerType");
    QTest::addColumn<int>("emitted");

    using Type = QPointingDevice::PointerType;
    QTest::newRow("pen") << int(Type::Pen) << 1;
    QTest::newRow("eraser") << int(Type::Eraser) << 1;
    QTest::newRow("puck") << int(Type::Cursor) << 0;
    QTest::newRow("finger") << int(Type::Finger) << 0;
    QTest::newRow("unknown tool") << int(Type::Unknown) << 0;
}

void TestApplication::proximityTellsPenFromEraser()
{
    QFETCH(int, pointerType);
    QFETCH(int, emitted);

    const auto type = QPointingDevice::PointerType(pointerType);
    static int deviceId = 7000;
    const QPointingDevice *device = TestSupport::penEnd(QStringLiteral("proximity tool"), ++deviceId, type);
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    QVERIFY(application);
    QSignalSpy spy(application, &Application::tabletPointerTypeChanged);

    QTabletEvent event(QEvent::TabletEnterProximity, device, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0,
                       Qt::NoModifier, Qt::NoButton, Qt::NoButton);
    // Consumed whatever the tool: the event ends at the application.
    QVERIFY(application->event(&event));
    QCOMPARE(spy.count(), emitted);
    if (emitted)
        QCOMPARE(spy.first().first().value<QPointingDevice::PointerType>(), type);
}

void TestApplication::fileOpenRequestBecomesSignal()
{
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    QSignalSpy spy(application, &Application::requestFileOpen);
    const QString file = QStringLiteral("/scenes/walk cycle.kl");
    QCoreApplication::postEvent(application, new QFileOpenEvent(file));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toString(), file);
}

void TestApplication::applicationFontRegistersOnce()
{
    const QString family = QStringLiteral("Passion One");
    QVERIFY(!isApplicationFontRegistered());
    QVERIFY(!QFontDatabase::families().contains(family));

    registerApplicationFont();
    QVERIFY(isApplicationFontRegistered());
    QVERIFY(QFontDatabase::families().contains(family));
    QVERIFY(QFontDatabase::styles(family).contains(QStringLiteral("Regular")));

    registerApplicationFont();
    QCOMPARE(QFontDatabase::families().count(family), 1);

    // Shut-down clears the flag only; the font stays usable.
    unregisterApplicationFont();
    QVERIFY(!isApplicationFontRegistered());
    QVERIFY(QFontDatabase::families().contains(family));
    registerApplicationFont();
    QVERIFY(isApplicationFontRegistered());
}

void TestApplication::exceptionGuard_data()
{
    QTest::addColumn<int>("what");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("errors");
    QTest::newRow("ends normally") << 0 << 7 << QString();
    QTest::newRow("standard exception") << 1 << -1 << QStringLiteral("no memory for the scene\n");
    QTest::newRow("anything else") << 2 << -1 << QStringLiteral("Unknown exception\n");
}

void TestApplication::exceptionGuard()
{
    QFETCH(int, what);
    QFETCH(int, result);
    QFETCH(QString, errors);
    const CapturedErrors captured;
    const int returned = Startup::runGuarded([what]() -> int {
        if (what == 1)
            throw std::runtime_error("no memory for the scene");
        if (what == 2)
            throw 42;
        return 7;
    });
    QCOMPARE(returned, result);
    QCOMPARE(captured.text(), errors);
}

void TestApplication::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output");
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0
                            << QStringList{QStringLiteral("World's best software for hand-drawn animation"),
                                           QStringLiteral("[options] file"), QStringLiteral("KL scene to open"),
                                           QStringLiteral("--help")}
                            << QStringList();
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << 0
                        << QStringList{QStringLiteral("KL scene to open")} << QStringList();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")} << 1 << QStringList()
                                    << QStringList{QStringLiteral("frobnicate")};
}

void TestApplication::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QFETCH(QStringList, errors);

    const Run run = runProgram(arguments);
    QCOMPARE(run.exitCode, exitCode);
    for (const QString &text : output)
        QVERIFY2(run.output.contains(text), qPrintable(run.output));
    for (const QString &text : errors)
        QVERIFY2(run.errors.contains(text), qPrintable(run.errors));
}

int main(int argc, char **argv)
{
    // The program's own application object, so that its event handling is
    // what the tests send events to.
    Application application(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
