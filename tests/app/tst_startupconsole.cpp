#include "mainwindowtesthelpers.h"

#include "applicationfont.h"

#include "initialize.h"
#include "settings/settings.h"

#include <QDialog>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

#include <mutex>

namespace {

struct Message
{
    QtMsgType type;
    QString category;
    QString text;
};

std::mutex g_mutex;
QList<Message> g_messages;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.append({type, QString::fromLatin1(context.category ? context.category : "default"), text});
}

// Qt Multimedia's remark, in the default category, that the machine runs no
// sound server: about the machine, not the program.
bool aboutTheMachine(const Message &message)
{
    return message.text.startsWith(QLatin1String("PulseAudioService: "));
}

} // namespace

// What the program says on the console while it starts as a new user starts
// it: the window built and shown, its first scene opened, the tutorial
// shown, everything painted once.
class TestStartUpConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void startSaysNothingOfItsOwn_data();
    void startSaysNothingOfItsOwn();

private:
    MainWindowTest::Started m_started;
};

void TestStartUpConsole::initTestCase()
{
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    Model::Settings::instance()->setShowHowToAnimateOnStartup(true);
    m_started = MainWindowTest::startWindow({});
    bool tutorialShown = false;
    m_started.dialogs->runDialog = [&tutorialShown](QDialog *dialog) {
        dialog->show();
        dialog->grab();
        tutorialShown = true;
        return int(QDialog::Rejected);
    };
    QVERIFY(QTest::qWaitForWindowExposed(m_started.window.get()));
    QTRY_VERIFY(MainWindowTest::currentScene() && tutorialShown);
    m_started.window->grab();
}

void TestStartUpConsole::cleanupTestCase()
{
    m_started.window.reset();
}

void TestStartUpConsole::startSaysNothingOfItsOwn_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QList<int>>("types");

    const QList<int> all{QtDebugMsg, QtInfoMsg, QtWarningMsg, QtCriticalMsg};
    // Qt SVG's complaints are about the program's own art.
    QTest::newRow("art that Qt SVG cannot draw") << "qt.svg" << all;
    QTest::newRow("the program's debug lines") << "default" << QList<int>{QtDebugMsg, QtInfoMsg};
    QTest::newRow("the program's warnings") << "default" << QList<int>{QtWarningMsg, QtCriticalMsg};
    QTest::newRow("FFmpeg") << "kelvane.ffmpeg" << all;
}

void TestStartUpConsole::startSaysNothingOfItsOwn()
{
    QFETCH(QString, category);
    QFETCH(QList<int>, types);

    QStringList said;
    const std::lock_guard<std::mutex> lock(g_mutex);
    for (const Message &message : std::as_const(g_messages)) {
        if (message.category == category && types.contains(int(message.type)) && !aboutTheMachine(message))
            said << message.text;
    }
    QVERIFY2(said.isEmpty(), qPrintable(said.join(QLatin1Char('\n'))));
}

int main(int argc, char **argv)
{
    // As the program starts: the process first, then its application object.
    Startup::prepareProcess();
    Application application(argc, argv);
    TestStartUpConsole test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startupconsole.moc"
