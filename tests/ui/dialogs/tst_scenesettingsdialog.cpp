#include "dialogs/scenesettingsdelegates.h"
#include "dialogs/scenesettingsdialog.h"
#include "dialogs/scenesettingsmodels.h"

#include "support/scripteddialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using UI::SceneSettings;
using Mode = UI::SceneSettings::Mode;

Q_DECLARE_METATYPE(UI::SceneSettings)

namespace QTest {
template<>
char *toString(const UI::SceneSettings &s)
{
    return qstrdup(QStringLiteral("%1x%2 fit %3 %4 fps %5 frames mode %6")
                       .arg(s.frameSize.width())
                       .arg(s.frameSize.height())
                       .arg(int(s.fitMode))
                       .arg(s.frameRate)
                       .arg(s.initialNumberOfFrames)
                       .arg(int(s.mode))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

namespace {

SceneSettings record(QSize size, double rate, Mode mode, int frames = 1,
                     KL::FitMode fit = KL::FitMode::FitModeKeepAspect)
{
    SceneSettings settings;
    settings.frameSize = size;
    settings.frameRate = rate;
    settings.mode = mode;
    settings.initialNumberOfFrames = frames;
    settings.fitMode = fit;
    return settings;
}

template<typename T>
T *part(const QWidget &dialog, const char *name)
{
    T *widget = dialog.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// As the user types: the whole text selected and replaced, key by key.
void type(QLineEdit *field, const QString &text)
{
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

bool fitModeEnabled(const UI::SceneSettingsDialog &dialog)
{
    return part<QRadioButton>(dialog, "radioButtonStretch")->isEnabled();
}

} // namespace

// The scene settings dialog: presets follow the fields, a new scene's values
// are clamped and a changed scene's are not, the fit mode can only be chosen
// for a real change of size, and input that cannot be read keeps the dialog
// open with a message.
class TestSceneSettingsDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void presetsFollowTheRecord_data();
    void presetsFollowTheRecord();
    void newSceneValuesAreClamped_data();
    void newSceneValuesAreClamped();
    void editsGiveTheRecord_data();
    void editsGiveTheRecord();
    void fitModeOnlyForAChangedSize();
    void choosingPresets();
    void unreadableInputKeepsTheDialogOpen();
    void modesShowTheirRows();
    void separatorsAndCustomRows();
    void runThroughTheDialogSeam();
    void rateKeptUnlessEdited_data();
    void rateKeptUnlessEdited();
};

void TestSceneSettingsDialog::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestSceneSettingsDialog::presetsFollowTheRecord_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("sizePreset");
    QTest::addColumn<QString>("ratePreset");

    QTest::newRow("720p at 12") << QSize(1280, 720) << 12.0 << "720p HD (16:9)" << "Cinema (on twos)";
    QTest::newRow("square at 8") << QSize(1000, 1000) << 8.0 << "Custom" << "Cinema (on threes)";
    QTest::newRow("1080p at 24.5") << QSize(1920, 1080) << 24.5 << "1080p HD (16:9)" << "Custom";
    QTest::newRow("PAL on twos") << QSize(512, 512) << 12.5 << "Small Square" << "PAL Video (on twos)";
    QTest::newRow("NTSC film") << QSize(1920, 5000) << 23.976 << "Vertical Pan Example" << "Custom";
    QTest::newRow("sixty") << QSize(4096, 2160) << 60.0 << "4K Digital Cinema" << "NTSC Video (high)";
}

void TestSceneSettingsDialog::presetsFollowTheRecord()
{
    QFETCH(QSize, size);
    QFETCH(double, rate);
    QFETCH(QString, sizePreset);
    QFETCH(QString, ratePreset);

    for (const Mode mode : {Mode::NewScene, Mode::ChangeSceneSettings}) {
        const SceneSettings given = record(size, rate, mode);
        UI::SceneSettingsDialog dialog(given);
        QCOMPARE(part<QComboBox>(dialog, "CBframeSize")->currentText(), sizePreset);
        QCOMPARE(part<QComboBox>(dialog, "CBframeRate")->currentText(), ratePreset);
        // Selecting the presets wrote nothing new.
        QCOMPARE(dialog.sceneSettings(), given);
    }
}

void TestSceneSettingsDialog::newSceneValuesAreClamped_data()
{
    QTest::addColumn<SceneSettings>("given");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<SceneSettings>("result");

    QTest::newRow("rate above")
        << record({1920, 1080}, 75, Mode::NewScene) << "1920 1080 60 1" << record({1920, 1080}, 60, Mode::NewScene);
    QTest::newRow("rate zero")
        << record({1920, 1080}, 0, Mode::NewScene) << "1920 1080 0.1 1" << record({1920, 1080}, 0.1, Mode::NewScene);
    QTest::newRow("size out of range")
        << record({9000, 0}, 12, Mode::NewScene) << "8192 1 12 1" << record({8192, 1}, 12, Mode::NewScene);
    QTest::newRow("no frames")
        << record({1920, 1080}, 12, Mode::NewScene, 0) << "1920 1080 12 1" << record({1920, 1080}, 12, Mode::NewScene);
    QTest::newRow("too many frames") << record({1920, 1080}, 12, Mode::NewScene, 20000) << "1920 1080 12 10000"
                                     << record({1920, 1080}, 12, Mode::NewScene, 10000);
    QTest::newRow("changed scene as it is") << record({9000, 0}, 75, Mode::ChangeSceneSettings, 0)
                                            << "9000 0 75 0" << record({9000, 0}, 75, Mode::ChangeSceneSettings, 0);
}

void TestSceneSettingsDialog::newSceneValuesAreClamped()
{
    QFETCH(SceneSettings, given);
    QFETCH(QString, fields);
    QFETCH(SceneSettings, result);

    UI::SceneSettingsDialog dialog(given);
    const QStringList shown = {part<QLineEdit>(dialog, "frameWidth")->text(),
                               part<QLineEdit>(dialog, "frameHeight")->text(),
                               part<QLineEdit>(dialog, "frameRate")->text(),
                               part<QLineEdit>(dialog, "initialNumberOfFrames")->text()};
    QCOMPARE(shown.join(QLatin1Char(' ')), fields);
    QCOMPARE(dialog.sceneSettings(), result);
    // Accepting without an edit keeps even a changed scene's values as they
    // are: they were not typed, so nothing corrects them.
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.sceneSettings(), result);
}

// Field edits, typed key by key, and what the dialog hands back when OK is
// pressed right after (the field keeps the focus: the correction happens on
// accepting).
void TestSceneSettingsDialog::editsGiveTheRecord_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sizePreset");
    QTest::addColumn<QString>("ratePreset");
    QTest::addColumn<SceneSettings>("result");

    QTest::newRow("width to custom") << "en_US" << "frameWidth" << "1921" << "Custom" << "Cinema (on twos)"
                                     << record({1921, 1080}, 12, Mode::NewScene);
    QTest::newRow("height to 2K") << "en_US" << "frameHeight" << "1024" << "Custom" << "Cinema (on twos)"
                                  << record({1920, 1024}, 12, Mode::NewScene);
    QTest::newRow("width zero, corrected") << "en_US" << "frameWidth" << "0" << "Custom" << "Cinema (on twos)"
                                           << record({1, 1080}, 12, Mode::NewScene);
    QTest::newRow("height emptied, corrected") << "en_US" << "frameHeight" << "" << "Custom" << "Cinema (on twos)"
                                               << record({1920, 1}, 12, Mode::NewScene);
    QTest::newRow("width above, corrected") << "en_US" << "frameWidth" << "9000" << "Custom" << "Cinema (on twos)"
                                            << record({8192, 1080}, 12, Mode::NewScene);
    QTest::newRow("rate 25") << "en_US" << "frameRate" << "25" << "1080p HD (16:9)" << "PAL Video"
                             << record({1920, 1080}, 25, Mode::NewScene);
    QTest::newRow("rate 24.5") << "en_US" << "frameRate" << "24.5" << "1080p HD (16:9)" << "Custom"
                               << record({1920, 1080}, 24.5, Mode::NewScene);
    QTest::newRow("rate above, corrected") << "en_US" << "frameRate" << "75" << "1080p HD (16:9)"
                                           << "NTSC Video (high)" << record({1920, 1080}, 60, Mode::NewScene);
    QTest::newRow("comma locale, comma") << "de_DE" << "frameRate" << "24,5" << "1080p HD (16:9)" << "Custom"
                                         << record({1920, 1080}, 24.5, Mode::NewScene);
    QTest::newRow("comma locale, point") << "de_DE" << "frameRate" << "24.5" << "1080p HD (16:9)" << "Custom"
                                         << record({1920, 1080}, 24.5, Mode::NewScene);
    QTest::newRow("frames") << "en_US" << "initialNumberOfFrames" << "48" << "1080p HD (16:9)" << "Cinema (on twos)"
                            << record({1920, 1080}, 12, Mode::NewScene, 48);
    QTest::newRow("frames above, corrected") << "en_US" << "initialNumberOfFrames" << "20000" << "1080p HD (16:9)"
                                             << "Cinema (on twos)" << record({1920, 1080}, 12, Mode::NewScene, 10000);
}

void TestSceneSettingsDialog::editsGiveTheRecord()
{
    QFETCH(QString, locale);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, sizePreset);
    QFETCH(QString, ratePreset);
    QFETCH(SceneSettings, result);

    QLocale::setDefault(QLocale(locale));
    UI::SceneSettingsDialog dialog(record({1920, 1080}, 12, Mode::NewScene));
    type(part<QLineEdit>(dialog, field.toLatin1().constData()), text);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(part<QComboBox>(dialog, "CBframeSize")->currentText(), sizePreset);
    QCOMPARE(part<QComboBox>(dialog, "CBframeRate")->currentText(), ratePreset);
    QCOMPARE(dialog.sceneSettings(), result);
}

void TestSceneSettingsDialog::fitModeOnlyForAChangedSize()
{
    UI::SceneSettingsDialog dialog(record({1920, 1080}, 24, Mode::ChangeSceneSettings, 1, KL::FitMode::FitModeIgnore));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit *width = part<QLineEdit>(dialog, "frameWidth");
    // A mode the dialog does not offer shows as Keep Aspect but is handed back.
    QVERIFY(part<QRadioButton>(dialog, "radioButtonKeepAspect")->isChecked());
    QVERIFY(!fitModeEnabled(dialog));
    QCOMPARE(dialog.sceneSettings().fitMode, KL::FitMode::FitModeIgnore);

    type(width, QStringLiteral("1280"));
    QVERIFY(fitModeEnabled(dialog));
    QTest::mouseClick(part<QRadioButton>(dialog, "radioButtonCropCenter"), Qt::LeftButton);
    QCOMPARE(dialog.sceneSettings().fitMode, KL::FitMode::FitModeCropCenter);

    type(width, QStringLiteral("1920"));
    QVERIFY(!fitModeEnabled(dialog));
    QCOMPARE(dialog.sceneSettings().frameSize, QSize(1920, 1080));
}

void TestSceneSettingsDialog::choosingPresets()
{
    UI::SceneSettingsDialog dialog(record({1000, 1000}, 24.5, Mode::ChangeSceneSettings));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QComboBox *sizes = part<QComboBox>(dialog, "CBframeSize");
    QComboBox *rates = part<QComboBox>(dialog, "CBframeRate");
    QLineEdit *rate = part<QLineEdit>(dialog, "frameRate");

    sizes->setCurrentIndex(sizes->findText(QStringLiteral("1080p HD (16:9)")));
    QCOMPARE(part<QLineEdit>(dialog, "frameWidth")->text(), QStringLiteral("1920"));
    QCOMPARE(part<QLineEdit>(dialog, "frameHeight")->text(), QStringLiteral("1080"));
    QVERIFY(fitModeEnabled(dialog));

    // Custom leaves the fields alone and puts the cursor into them.
    const int custom = rates->findText(QStringLiteral("Custom"));
    rates->setCurrentIndex(rates->findText(QStringLiteral("PAL Video")));
    Q_EMIT rates->activated(rates->currentIndex());
    rates->setCurrentIndex(custom);
    Q_EMIT rates->activated(custom);
    QCOMPARE(rate->text(), QStringLiteral("25"));
    QTRY_VERIFY(rate->hasFocus());
    QCOMPARE(rate->selectedText(), QStringLiteral("25"));
    QCOMPARE(dialog.sceneSettings(), record({1920, 1080}, 25, Mode::ChangeSceneSettings));
}

void TestSceneSettingsDialog::unreadableInputKeepsTheDialogOpen()
{
    UI::SceneSettingsDialog dialog(record({1920, 1080}, 12, Mode::NewScene));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit *width = part<QLineEdit>(dialog, "frameWidth");
    QLabel *error = part<QLabel>(dialog, "labelError");
    type(width, QStringLiteral("+"));
    QCOMPARE(dialog.sceneSettings().frameSize, QSize(0, 1080));

    QTest::mouseClick(part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), QStringLiteral("The width must be a whole number of pixels from 1 to 8192."));
    QCOMPARE(width->selectedText(), QStringLiteral("+"));

    type(width, QStringLiteral("640"));
    QVERIFY(!error->isVisible());
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.sceneSettings().frameSize, QSize(640, 1080));
}

void TestSceneSettingsDialog::modesShowTheirRows()
{
    const char *const fitRow[] = {"labelHowToFit", "radioButtonKeepAspect", "radioButtonStretch",
                                  "radioButtonCropCenter"};
    const char *const framesRow[] = {"labelInitialNumberOfFrames", "initialNumberOfFrames", "line_3"};
    for (const Mode mode : {Mode::NewScene, Mode::ChangeSceneSettings}) {
        UI::SceneSettingsDialog dialog(record({1920, 1080}, 12, mode));
        const bool isNew = mode == Mode::NewScene;
        QCOMPARE(dialog.windowTitle(), isNew ? QStringLiteral("New Scene") : QStringLiteral("Scene Settings"));
        for (const char *name : fitRow)
            QCOMPARE(part<QWidget>(dialog, name)->isHidden(), isNew);
        for (const char *name : framesRow)
            QCOMPARE(part<QWidget>(dialog, name)->isHidden(), !isNew);
    }
}

void TestSceneSettingsDialog::separatorsAndCustomRows()
{
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    UI::SceneSettingsDialog dialog(record({1920, 1080}, 12, Mode::NewScene));
    QComboBox *sizes = part<QComboBox>(dialog, "CBframeSize");
    const QAbstractItemModel *model = sizes->model();
    QStyleOptionViewItem option;
    option.initFrom(sizes->view());
    option.widget = sizes->view();
    const QModelIndex separator = model->index(2, 0);
    QVERIFY(!(model->flags(separator) & Qt::ItemIsEnabled));
    QCOMPARE(separator.data().toString(), QString());
    QCOMPARE(sizes->itemDelegate()->sizeHint(option, separator), QSize(0, 7));
    QVERIFY(!separator.data(UI::FrameSizeModel::SizeRole).toSize().isValid());

    auto *delegate = qobject_cast<UI::FrameSizeItemDelegate *>(sizes->itemDelegate());
    QVERIFY(delegate);
    const QModelIndex custom = model->index(model->rowCount() - 1, 0);
    QCOMPARE(delegate->valueText(option, custom), QStringLiteral("width x height"));
    QCOMPARE(delegate->valueText(option, model->index(4, 0)), QStringLiteral("1,920 x 1,080"));

    QComboBox *rates = part<QComboBox>(dialog, "CBframeRate");
    const QModelIndex customRate = rates->model()->index(rates->count() - 1, 0);
    QCOMPARE(customRate.data(UI::FrameRateModel::FrameRateRole).toDouble(), 0.1);
    QCOMPARE(rates->model()->index(1, 0).data(UI::FrameRateModel::FrameRateRole), QVariant(0));
}

// How a caller runs the dialog in a test: the scripted user fills the fields
// and presses OK.
void TestSceneSettingsDialog::runThroughTheDialogSeam()
{
    TestSupport::ScriptedDialogs dialogs;
    dialogs.runDialog = [](QDialog *shown) {
        type(part<QLineEdit>(*shown, "frameRate"), QStringLiteral("30"));
        shown->accept();
        return shown->result();
    };
    UI::SceneSettingsDialog dialog(record({1920, 1080}, 12, Mode::ChangeSceneSettings));
    QCOMPARE(dialogs.exec(&dialog), int(QDialog::Accepted));
    QCOMPARE(dialogs.kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(dialogs.asked.first().title, QStringLiteral("Scene Settings"));
    QCOMPARE(dialog.sceneSettings(), record({1920, 1080}, 30, Mode::ChangeSceneSettings));
}

void TestSceneSettingsDialog::rateKeptUnlessEdited_data()
{
    QTest::addColumn<double>("sceneRate");
    QTest::addColumn<QString>("typed"); // empty: the field is only passed through
    QTest::addColumn<QString>("leaving"); // "tab", "enter": how the user leaves the field
    QTest::addColumn<double>("result");

    const double ntsc = 24000.0 / 1001.0;
    QTest::newRow("23.976 tabbed through") << 23.976 << QString() << "tab" << 23.976;
    QTest::newRow("23.976, Enter in the field") << 23.976 << QString() << "enter" << 23.976;
    QTest::newRow("24000/1001 tabbed through") << ntsc << QString() << "tab" << ntsc;
    QTest::newRow("24000/1001 edited and put back") << ntsc << "undo" << "tab" << ntsc;
    QTest::newRow("23.976 edited to 23.97") << 23.976 << "23.97" << "tab" << 23.97;
    QTest::newRow("23.976 edited to 75") << 23.976 << "75" << "tab" << 60.0;
    QTest::newRow("23.976 edited to 0.05") << 23.976 << "0.05" << "enter" << 0.1;
}

// A scene's rate that the user did not edit comes back exactly as it went
// in, even with more decimals than can be typed; an edited rate is what
// the user typed, within the field's bounds.
void TestSceneSettingsDialog::rateKeptUnlessEdited()
{
    QFETCH(double, sceneRate);
    QFETCH(QString, typed);
    QFETCH(QString, leaving);
    QFETCH(double, result);

    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    TestSupport::ScriptedDialogs dialogs;
    dialogs.runDialog = [&](QDialog *shown) {
        shown->show();
        QApplication::setActiveWindow(shown);
        if (!QTest::qWaitForWindowActive(shown))
            qWarning("The dialog did not become active");
        QLineEdit *rate = part<QLineEdit>(*shown, "frameRate");
        rate->setFocus(Qt::TabFocusReason);
        if (typed == u"undo") {
            type(rate, QStringLiteral("21.5"));
            while (rate->isUndoAvailable())
                rate->undo();
        } else if (!typed.isEmpty()) {
            type(rate, typed);
        }
        if (leaving == u"tab") {
            QTest::keyClick(rate, Qt::Key_Tab);
            if (rate->hasFocus())
                qWarning("The rate field kept the focus");
            QTest::mouseClick(part<QDialogButtonBox>(*shown, "buttonBox")->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        } else {
            QTest::keyClick(rate, Qt::Key_Return);
        }
        return shown->result();
    };
    UI::SceneSettingsDialog dialog(record({1920, 1080}, sceneRate, Mode::ChangeSceneSettings));
    QCOMPARE(dialogs.exec(&dialog), int(QDialog::Accepted));
    // Exactly: a settings change is pushed for any other rate.
    const double rate = dialog.sceneSettings().frameRate;
    QVERIFY2(rate == result, qPrintable(QString::number(rate, 'g', 17)));
}

QTEST_MAIN(TestSceneSettingsDialog)
#include "tst_scenesettingsdialog.moc"
