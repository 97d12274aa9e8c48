// The strips above and below the exposure sheet: the header's toggles,
// tool tips, labels and requests, and the footer's opacity strip and layer
// moves, on a sheet over a real scene.

#include "xsheet/xsheetfooter.h"
#include "xsheet/xsheetheader.h"
#include "xsheettesthelpers.h"

#include "../../audio/audiotestfiles.h"
#include "commands/commandtesthelpers.h"
#include "layers/audiolayer.h"
#include "settings/settings.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

using SheetTest::Sheet;
using TestSupport::sendMouseEvent;

namespace {

// At scale 1: the header's icon band is 28 px tall with the name strip
// below it; the footer's opacity strip is 15 px tall with the band below.
// Stroke columns are 56 px wide, so the right half of their icon band
// begins 27 px in.
constexpr int NameY = 35;
constexpr int StripHeight = 15;

UI::XSheetHeader *headerOf(const Sheet &sheet)
{
    return sheet.view.findChild<UI::XSheetHeader *>();
}

UI::XSheetFooter *footerOf(const Sheet &sheet)
{
    return sheet.view.findChild<UI::XSheetFooter *>();
}

QPoint inColumn(const QHeaderView *strip, int column, QPoint at)
{
    return at + QPoint(strip->sectionViewportPosition(column), 0);
}

void press(QHeaderView *strip, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouseEvent(strip->viewport(), QEvent::MouseButtonPress, at, button, button);
}

void release(QHeaderView *strip, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouseEvent(strip->viewport(), QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

void click(QHeaderView *strip, QPoint at)
{
    press(strip, at);
    release(strip, at);
}

void doubleClick(QHeaderView *strip, QPoint at)
{
    click(strip, at);
    sendMouseEvent(strip->viewport(), QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    release(strip, at);
}

// The tool tip shown for a point, as the system asks the widget under the
// pointer; empty when the event was left unaccepted (no tool tip).
QString toolTipAt(QHeaderView *strip, QPoint at)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, strip->viewport()->mapToGlobal(at));
    QApplication::sendEvent(strip->viewport(), &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

QString topText(const Sheet &sheet)
{
    const QUndoStack *stack = sheet.stack();
    return stack->count() > 0 ? stack->command(stack->index() - 1)->text() : QString();
}

void loadSound(const Sheet &sheet, int layer)
{
    auto *audio = qobject_cast<Model::AudioLayer *>(sheet.scene()->layerAt(layer).get());
    audio->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 2.0, 440)));
    QVERIFY(sheet.scene()->hasAudio());
}

} // namespace

class TestXSheetHeader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // Header
    void toggles_data();
    void toggles();
    void audioIconLeavesNoUndoEntry();
    void offsetLabels();
    void toolTips_data();
    void toolTips();
    void renameRequests();
    void audioOffsetDialog();
    void audioOffsetDialogIsBounded_data();
    void audioOffsetDialogIsBounded();
    void rightClicks_data();
    void rightClicks();

    // Footer
    void opacityClicks_data();
    void opacityClicks();
    void dragInTheBandMovesALayer_data();
    void dragInTheBandMovesALayer();

private:
    CommandTest::TextRecorder m_texts;
};

void TestXSheetHeader::initTestCase()
{
    TestSupport::startModel();
    QCoreApplication::installTranslator(&m_texts);
}

void TestXSheetHeader::init()
{
    CommandTest::resetPreferences();
    Model::Settings::instance()->setUIScalePercent(100);
}

// Header

void TestXSheetHeader::toggles_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("pressColumn");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<int>("releaseColumn");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<QString>("text");

    const QStringList strokes{QStringLiteral("AB"), QStringLiteral("ABCD")};
    const QString link = QStringLiteral("Link Layer|Commands::SetLayerLinked|-1");
    const QString hide = QStringLiteral("Set Layer Invisible|Commands::SetLayerVisible|-1");
    QTest::newRow("left half links") << strokes << 0 << QPoint(5, 10) << 0 << QPoint(5, 10) << link;
    QTest::newRow("last pixel of the left half") << strokes << 0 << QPoint(26, 10) << 0 << QPoint(26, 10) << link;
    QTest::newRow("first pixel of the right half") << strokes << 0 << QPoint(27, 10) << 0 << QPoint(27, 10) << hide;
    QTest::newRow("right half hides") << strokes << 1 << QPoint(50, 3) << 1 << QPoint(50, 3) << hide;
    QTest::newRow("reference layer") << QStringList{QStringLiteral("ref:AB")} << 0 << QPoint(40, 10) << 0
                                     << QPoint(40, 10) << hide;
    QTest::newRow("annotation band links") << QStringList{QStringLiteral("AB"), QStringLiteral("notes")} << 1
                                           << QPoint(150, 10) << 1 << QPoint(150, 10) << link;
    QTest::newRow("name strip") << strokes << 0 << QPoint(5, NameY) << 0 << QPoint(5, NameY) << QString();
    QTest::newRow("released on the other half")
        << strokes << 0 << QPoint(5, 10) << 0 << QPoint(40, 10) << QString();
    QTest::newRow("released on the name strip") << strokes << 0 << QPoint(5, 10) << 0 << QPoint(5, NameY) << QString();
    QTest::newRow("released on another column") << strokes << 0 << QPoint(5, 10) << 1 << QPoint(5, 10) << QString();
}

void TestXSheetHeader::toggles()
{
    QFETCH(QStringList, layers);
    QFETCH(int, pressColumn);
    QFETCH(QPoint, pressAt);
    QFETCH(int, releaseColumn);
    QFETCH(QPoint, releaseAt);
    QFETCH(QString, text);

    Sheet sheet(layers);
    Model::Scene *scene = sheet.scene();
    UI::XSheetHeader *header = headerOf(sheet);
    const auto flags = [scene, pressColumn] {
        return QPair<bool, bool>(scene->isLayerLinked(pressColumn), scene->isLayerVisible(pressColumn));
    };
    const QPair<bool, bool> before = flags();

    press(header, inColumn(header, pressColumn, pressAt));
    sendMouseEvent(header->viewport(), QEvent::MouseMove, inColumn(header, releaseColumn, releaseAt), Qt::NoButton,
                   Qt::LeftButton);
    release(header, inColumn(header, releaseColumn, releaseAt));

    QCOMPARE(sheet.stack()->count(), text.isEmpty() ? 0 : 1);
    QCOMPARE(topText(sheet), text);
    if (text.isEmpty()) {
        QCOMPARE(flags(), before);
        return;
    }
    const QPair<bool, bool> after = flags();
    QVERIFY(after != before);
    sheet.stack()->undo();
    QCOMPARE(flags(), before);
    sheet.stack()->redo();
    QCOMPARE(flags(), after);

    // The same toggle again changes it back with an entry of its own.
    click(header, inColumn(header, pressColumn, pressAt));
    QCOMPARE(sheet.stack()->count(), 2);
    QCOMPARE(flags(), before);
}

void TestXSheetHeader::audioIconLeavesNoUndoEntry()
{
    for (const bool sound : {false, true}) {
        Sheet sheet({QStringLiteral("AB"), QStringLiteral("audio")});
        if (sound)
            loadSound(sheet, 1);
        UI::XSheetHeader *header = headerOf(sheet);
        const QPoint band = inColumn(header, 1, QPoint(20, 10));
        // A layer without sound is never audible.
        QCOMPARE(sheet.scene()->isLayerAudible(1), sound);
        QCOMPARE(toolTipAt(header, band), sound ? QStringLiteral("Audio On") : QStringLiteral("No Audio"));

        click(header, band);
        QVERIFY(!sheet.scene()->isLayerAudible(1));
        QCOMPARE(sheet.stack()->count(), 0);
        QCOMPARE(toolTipAt(header, band), sound ? QStringLiteral("Audio Muted") : QStringLiteral("No Audio"));

        click(header, band);
        QCOMPARE(sheet.scene()->isLayerAudible(1), sound);
        QCOMPARE(sheet.stack()->count(), 0);
    }
}

void TestXSheetHeader::offsetLabels()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("audio")});
    loadSound(sheet, 1);
    UI::XSheetHeader *header = headerOf(sheet);
    const QRect nameStrip(header->sectionViewportPosition(1), 28, header->sectionSize(1), 16);
    const auto label = [&](double offset) {
        sheet.scene()->setAudioOffset(offset);
        return header->grab(nameStrip).toImage();
    };

    // The offset in whole frames, rounded down; none at 0. Offsets showing
    // the same label paint the same strip, different labels differ.
    const QList<QPair<QString, QList<double>>> labels{
        {QStringLiteral("0"), {0.5, 0.2, 0.99}},
        {QStringLiteral("-1"), {-0.5, -1.0, -0.01}},
        {QStringLiteral("1"), {1.5, 1.0}},
        {QString(), {0.0}},
    };
    QList<QImage> shown;
    for (const auto &entry : labels) {
        const QImage first = label(entry.second.first());
        for (double offset : entry.second)
            QVERIFY2(label(offset) == first, qPrintable(QStringLiteral("%1 shows \"%2\"").arg(offset).arg(entry.first)));
        for (const QImage &other : std::as_const(shown))
            QVERIFY2(other != first, qPrintable(QStringLiteral("\"%1\" shows like another label").arg(entry.first)));
        shown.append(first);
    }
}

void TestXSheetHeader::toolTips_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QString>("text");

    // Columns: 0 a short stroke layer (current), 1 a longer one named "Ink",
    // 2 the audio layer, 3 the annotations.
    QTest::newRow("link of the current column") << 0 << QPoint(5, 10) << false << QStringLiteral("Layer Unlinked [-]");
    QTest::newRow("link of another column") << 1 << QPoint(5, 10) << false << QStringLiteral("Layer Unlinked");
    QTest::newRow("visibility of the current column")
        << 0 << QPoint(40, 10) << false << QStringLiteral("Layer Visible [V]");
    QTest::newRow("visibility of another column") << 1 << QPoint(40, 10) << false << QStringLiteral("Layer Visible");
    QTest::newRow("layer name") << 1 << QPoint(10, NameY) << false << QStringLiteral("Layer Name: Ink");
    QTest::newRow("layer without a name") << 0 << QPoint(10, NameY) << false << QString();
    QTest::newRow("audio without sound") << 2 << QPoint(10, 10) << false << QStringLiteral("No Audio");
    QTest::newRow("offset without sound") << 2 << QPoint(10, NameY) << false << QString();
    QTest::newRow("audio") << 2 << QPoint(10, 10) << true << QStringLiteral("Audio On");
    QTest::newRow("offset") << 2 << QPoint(10, NameY) << true << QStringLiteral("Audio Offset");
    QTest::newRow("annotations") << 3 << QPoint(10, 10) << false << QStringLiteral("Annotations Unlinked");
    QTest::newRow("annotation name") << 3 << QPoint(10, NameY) << false << QString();
}

void TestXSheetHeader::toolTips()
{
    QFETCH(int, column);
    QFETCH(QPoint, at);
    QFETCH(bool, sound);
    QFETCH(QString, text);

    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("audio"), QStringLiteral("notes")});
    sheet.scene()->setLayerName(0, QString());
    sheet.scene()->setLayerName(1, QStringLiteral("Ink"));
    if (sound)
        loadSound(sheet, 2);
    // The current cell is the row after the short layer's last drawing.
    sheet.view.selectionModel()->setCurrentIndex(sheet.cell(3, 0), QItemSelectionModel::ClearAndSelect);
    QVERIFY(sheet.view.currentIndex().isValid());

    QCOMPARE(toolTipAt(headerOf(sheet), inColumn(headerOf(sheet), column, at)), text);
}

void TestXSheetHeader::renameRequests()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("notes")});
    UI::XSheetHeader *header = headerOf(sheet);
    QSignalSpy requests(header, &UI::XSheetHeader::doubleClickedLayer);
    QSignalSpy sheetRequests(&sheet.view, &UI::XSheet::doubleClickedLayer);

    doubleClick(header, inColumn(header, 1, QPoint(20, NameY)));
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.first().at(0).toInt(), 1);
    QCOMPARE(requests.first().at(1).toRect(), QRect(0, 28, 56, 16));
    // The sheet places it on the screen, over the column's name.
    QCOMPARE(sheetRequests.count(), 1);
    QCOMPARE(sheetRequests.first().at(1).toRect(),
             QRect(header->mapToGlobal(QPoint(header->sectionViewportPosition(1), 28)), QSize(56, 16)));

    // Not on the icons, not on the annotations' name strip.
    doubleClick(header, inColumn(header, 1, QPoint(20, 10)));
    doubleClick(header, inColumn(header, 2, QPoint(20, NameY)));
    QCOMPARE(requests.count(), 1);
}

void TestXSheetHeader::audioOffsetDialog()
{
    TestSupport::ScriptedDialogs dialogs;
    {
        Sheet sheet({QStringLiteral("AB"), QStringLiteral("audio")});
        sheet.view.setDialogs(&dialogs);
        UI::XSheetHeader *header = headerOf(sheet);
        dialogs.numbers.enqueue(2.0);
        doubleClick(header, inColumn(header, 1, QPoint(20, NameY)));
        QVERIFY2(dialogs.asked.isEmpty(), "no dialog without sound");
        dialogs.numbers.clear();
    }

    Sheet sheet({QStringLiteral("AB"), QStringLiteral("audio")});
    sheet.view.setDialogs(&dialogs);
    loadSound(sheet, 1);
    UI::XSheetHeader *header = headerOf(sheet);
    const QPoint name = inColumn(header, 1, QPoint(20, NameY));
    dialogs.numbers.enqueue(-2.5);
    doubleClick(header, name);
    QCOMPARE(dialogs.kinds(), QStringList{QStringLiteral("getDouble")});
    QCOMPARE(dialogs.asked.first().title, QStringLiteral("Audio Offset"));
    QCOMPARE(sheet.scene()->audioOffset(), -2.5);
    QCOMPARE(sheet.stack()->count(), 1);
    QCOMPARE(topText(sheet), QStringLiteral("Set Audio Offset|Commands::SetAudioOffset|-1"));

    // Cancelled.
    doubleClick(header, name);
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(sheet.scene()->audioOffset(), -2.5);
    QCOMPARE(sheet.stack()->count(), 1);

    // The same value again changes nothing.
    dialogs.numbers.enqueue(-2.5);
    doubleClick(header, name);
    QCOMPARE(dialogs.asked.size(), 3);
    QCOMPARE(sheet.stack()->count(), 1);
}

void TestXSheetHeader::audioOffsetDialogIsBounded_data()
{
    QTest::addColumn<double>("typed");
    QTest::addColumn<double>("offset");

    const double farthest = Model::AudioLayer::MaximumOffsetFrames;
    QTest::newRow("1e15 frames") << 1e15 << farthest;
    QTest::newRow("1e300 frames") << 1e300 << farthest;
    QTest::newRow("a million frames") << farthest << farthest;
    QTest::newRow("2.5 frames") << 2.5 << 2.5;
}

// The dialog offers only offsets that the sound can be placed at, and the
// scene plays with the offset it took.
void TestXSheetHeader::audioOffsetDialogIsBounded()
{
    QFETCH(double, typed);
    QFETCH(double, offset);
    TestSupport::ScriptedDialogs dialogs;
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("audio")});
    sheet.view.setDialogs(&dialogs);
    loadSound(sheet, 1);
    UI::XSheetHeader *header = headerOf(sheet);

    dialogs.numbers.enqueue(typed);
    doubleClick(header, inColumn(header, 1, QPoint(20, NameY)));
    QCOMPARE(dialogs.kinds(), QStringList{QStringLiteral("getDouble")});
    const double farthest = Model::AudioLayer::MaximumOffsetFrames;
    QCOMPARE(dialogs.asked.first().minimum, -farthest);
    QCOMPARE(dialogs.asked.first().maximum, farthest);
    QCOMPARE(sheet.scene()->audioOffset(), offset);
    QCOMPARE(sheet.stack()->count(), 1);
    QVERIFY(sheet.scene()->startAudioPlayback(1, false));
    sheet.scene()->stopAudioPlayback();
}

void TestXSheetHeader::rightClicks_data()
{
    QTest::addColumn<bool>("footer");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("reported");

    QTest::newRow("header, layer") << false << 1 << 1;
    QTest::newRow("header, audio") << false << 2 << -1;
    QTest::newRow("header, annotations") << false << 3 << -1;
    QTest::newRow("footer, layer") << true << 0 << 0;
    QTest::newRow("footer, audio") << true << 2 << -1;
}

void TestXSheetHeader::rightClicks()
{
    QFETCH(bool, footer);
    QFETCH(int, column);
    QFETCH(int, reported);

    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("audio"), QStringLiteral("notes")});
    QHeaderView *strip = footer ? static_cast<QHeaderView *>(footerOf(sheet)) : headerOf(sheet);
    QSignalSpy spy(&sheet.view, &UI::XSheet::rightClickedLayer);
    const QPoint at = inColumn(strip, column, QPoint(10, 20));
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, strip->viewport()->mapToGlobal(at));
    QApplication::sendEvent(strip->viewport(), &event);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toInt(), reported);
    QCOMPARE(spy.first().at(1).toPoint(), strip->viewport()->mapToGlobal(at));
    QCOMPARE(sheet.stack()->count(), 0);
}

// Footer

void TestXSheetHeader::opacityClicks_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<QPoint>("releaseAt");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("strip of a layer") << 0 << QPoint(20, 7) << QPoint(20, 7) << true << QStringLiteral("Layer Opacity");
    QTest::newRow("top row of the strip") << 1 << QPoint(40, 0) << QPoint(40, 0) << true
                                          << QStringLiteral("Layer Opacity");
    QTest::newRow("row between strip and band")
        << 0 << QPoint(20, StripHeight) << QPoint(20, StripHeight) << false << QString();
    QTest::newRow("band") << 0 << QPoint(20, 30) << QPoint(20, 30) << false << QStringLiteral("Arrange Layer");
    QTest::newRow("audio strip") << 2 << QPoint(20, 7) << QPoint(20, 7) << false << QString();
    QTest::newRow("audio band") << 2 << QPoint(20, 30) << QPoint(20, 30) << false << QStringLiteral("Arrange Column");
    QTest::newRow("annotation band") << 3 << QPoint(20, 30) << QPoint(20, 30) << false
                                     << QStringLiteral("Arrange Column");
    QTest::newRow("pressed in the band") << 0 << QPoint(20, 30) << QPoint(20, 7) << false
                                         << QStringLiteral("Layer Opacity");
}

void TestXSheetHeader::opacityClicks()
{
    QFETCH(int, column);
    QFETCH(QPoint, pressAt);
    QFETCH(QPoint, releaseAt);
    QFETCH(bool, opens);
    QFETCH(QString, toolTip);

    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCD"), QStringLiteral("audio"), QStringLiteral("notes")});
    UI::XSheetFooter *footer = footerOf(sheet);
    QSignalSpy clicks(footer, &UI::XSheetFooter::opacityClicked);
    QSignalSpy sheetClicks(&sheet.view, &UI::XSheet::opacityClicked);

    press(footer, inColumn(footer, column, pressAt));
    release(footer, inColumn(footer, column, releaseAt));

    QCOMPARE(clicks.count(), opens ? 1 : 0);
    QCOMPARE(sheetClicks.count(), opens ? 1 : 0);
    if (opens) {
        QCOMPARE(clicks.first().at(0).toInt(), column);
        QCOMPARE(sheetClicks.first().at(0).toInt(), column);
    }
    QCOMPARE(toolTipAt(footer, inColumn(footer, column, releaseAt)), toolTip);
    QCOMPARE(sheet.stack()->count(), 0);
}

void TestXSheetHeader::dragInTheBandMovesALayer_data()
{
    QTest::addColumn<int>("startY");
    // An undo comes before the release, after a step of its own.
    QTest::addColumn<bool>("undone");
    QTest::addColumn<bool>("moves");

    QTest::newRow("in the band") << 30 << false << true;
    QTest::newRow("from the opacity strip") << 7 << false << false;
    // The undo takes back the drag alone, as one on the sheet.
    QTest::newRow("in the band, an undo during the drag") << 30 << true << false;
}

void TestXSheetHeader::dragInTheBandMovesALayer()
{
    QFETCH(int, startY);
    QFETCH(bool, undone);
    QFETCH(bool, moves);

    Sheet sheet({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    UI::XSheetFooter *footer = footerOf(sheet);
    QWidget *viewport = footer->viewport();
    const QList<int> ordering = sheet.scene()->layerOrdering();
    const QPoint from = inColumn(footer, ordering.at(0), QPoint(28, startY));
    const QPoint to = inColumn(footer, ordering.at(2), QPoint(40, startY));

    if (undone)
        Model::KLScene::pushCommand(new Commands::ChangeLayerColor(sheet.scene(), 1, Qt::darkCyan));
    const int steps = sheet.stack()->count();

    // The pointer comes over the footer, then drags the first column past
    // the last.
    sendMouseEvent(viewport, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    press(footer, from);
    for (const QPoint &at : {from + QPoint(10, 0), (from + to) / 2, to})
        sendMouseEvent(viewport, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    if (undone)
        sheet.handle->undo();
    release(footer, to);

    if (!moves) {
        QCOMPARE(sheet.stack()->count(), steps);
        QCOMPARE(sheet.stack()->index(), steps);
        QCOMPARE(sheet.scene()->layerOrdering(), ordering);
        return;
    }
    QCOMPARE(sheet.stack()->count(), 1);
    QCOMPARE(topText(sheet), QStringLiteral("Move Layer|Commands::MoveLayer|-1"));
    QCOMPARE(sheet.scene()->layerOrdering(), (QList<int>{ordering.at(1), ordering.at(2), ordering.at(0)}));
    sheet.stack()->undo();
    QCOMPARE(sheet.scene()->layerOrdering(), ordering);
}

QTEST_MAIN(TestXSheetHeader)
#include "tst_xsheetheader.moc"
