#include "xsheet/xsheet.h"

#include "xsheet/colorgizmo.h"
#include "xsheet/xsheetfooter.h"
#include "xsheet/xsheetheader.h"
#include "xsheettesthelpers.h"

#include "../../audio/audiotestfiles.h"
#include "commands/commandtesthelpers.h"
#include "layers/audiolayer.h"
#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using SheetTest::Sheet;
using TestSupport::sendMouseEvent;
using TestSupport::sendTablet;

namespace {

// Commands show "source|disambiguation|n" through the recorder.
QString topText(const Sheet &sheet)
{
    const QUndoStack *stack = sheet.stack();
    return stack->index() > 0 ? stack->command(stack->index() - 1)->text() : QString();
}

QPointF beyondButton(const Sheet &sheet, int layer)
{
    const int end = sheet.scene()->layerFrameCount(layer) + 1;
    const QRect area = sheet.view.visualRect(sheet.cell(end, layer));
    // The cell's drawing area, 15 pixels below the bottom edge of its row.
    const double centreX = area.left() + 3 + (area.width() - 6) / 2.0;
    return QPointF(centreX, area.top() + 6 + sheet.view.rowHeight() + 15);
}

void synthesizedClick(QWidget *widget, QPointF at)
{
    sendMouseEvent(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, 0,
                   Qt::MouseEventSynthesizedBySystem);
    sendMouseEvent(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier, 0,
                   Qt::MouseEventSynthesizedBySystem);
}

// What the screen shows of a widget: its window's pixels, not a fresh
// painting of it.
QImage onScreen(QWidget *widget)
{
    QWidget *window = widget->window();
    const QPoint at = widget->mapTo(window, QPoint(0, 0));
    return window->screen()->grabWindow(window->winId(), at.x(), at.y(), widget->width(), widget->height()).toImage();
}

// Two hundred frames a layer: drawings of four, five and seven frames, and
// the notes.
QStringList longLayers()
{
    QStringList layers;
    for (const int hold : {4, 5, 7}) {
        QString cells;
        for (int frame = 0; frame < 200; ++frame)
            cells += frame % hold == 0 ? QChar(u'A' + (frame / hold) % 26) : QChar(u'.');
        layers.append(cells);
    }
    layers.append(QStringLiteral("notes"));
    return layers;
}

// Every pending repaint done and on the screen.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void openGizmo(UI::ColorGizmo *gizmo)
{
    const QPointF inside(gizmo->width() / 2.0, gizmo->height() / 2.0);
    sendMouseEvent(gizmo, QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    sendMouseEvent(gizmo, QEvent::MouseButtonRelease, inside, Qt::LeftButton, Qt::NoButton);
}

} // namespace

class TestXSheet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // Geometry
    void metricsFollowTheUIScale_data();
    void metricsFollowTheUIScale();
    void rowHeightFollowsTheModel();
    void beyondButtonsAddARow();
    void centringFollowsTheSetting();

    // Clicks and selection
    void clicks_data();
    void clicks();
    void eraserEndSelectsARange();
    void contextMenus_data();
    void contextMenus();
    void synthesizedPressesAfterThePenAreDropped_data();
    void synthesizedPressesAfterThePenAreDropped();

    // Drags
    void frameDrags_data();
    void frameDrags();
    void audioOffsetDrags_data();
    void audioOffsetDrags();
    void beyondButtonCyclesTheMode();
    void footerMovesLayers();

    // Painting and cursors
    void paintsRangeEndsAndEighthFrames();
    void paintsBeyondButtonsOnlyWhenShown();
    void annotationCursorMatchesTheStrokeScale();
    void scrolledSheetShowsWhatAFreshOneShows_data();
    void scrolledSheetShowsWhatAFreshOneShows();

private:
    CommandTest::TextRecorder m_texts;
};

void TestXSheet::initTestCase()
{
    TestSupport::startModel();
    QCoreApplication::installTranslator(&m_texts);
}

void TestXSheet::init()
{
    CommandTest::resetPreferences();
    Model::Settings::instance()->setUIScalePercent(100);
}

// Geometry

void TestXSheet::metricsFollowTheUIScale_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("ownRowHeight");
    QTest::addColumn<int>("rowHeight");
    QTest::addColumn<int>("topMargin");
    QTest::addColumn<int>("strokeWidth");
    QTest::addColumn<int>("notesWidth");
    // 4:3 frames: cells 56 design pixels wide, the rows as tall as the
    // thumbnails; annotation columns six rows wide.
    QTest::newRow("scale 1") << 100 << 28 << 42 << 18 << 56 << 254;
    QTest::newRow("scale 1.5") << 150 << 42 << 63 << 27 << 84 << 380;
}

void TestXSheet::metricsFollowTheUIScale()
{
    QFETCH(int, percent);
    QFETCH(int, ownRowHeight);
    QFETCH(int, rowHeight);
    QFETCH(int, topMargin);
    QFETCH(int, strokeWidth);
    QFETCH(int, notesWidth);
    Model::Settings::instance()->setUIScalePercent(percent);

    UI::XSheet bare;
    QCOMPARE(bare.rowHeight(), ownRowHeight);
    QCOMPARE(bare.rowAt(100), -1);
    QVERIFY(!bare.indexAt(QPoint(10, 100)).isValid());

    Sheet sheet({QStringLiteral("A.B"), QStringLiteral("notes")});
    const UI::XSheet &view = sheet.view;
    QCOMPARE(view.rowHeight(), rowHeight);
    // A cell with six pixels of margin above and below.
    QCOMPARE(view.visualRect(sheet.cell(1, 0)), QRect(-2, topMargin - 6, strokeWidth + 3, rowHeight + 12));
    QCOMPARE(view.visualRect(sheet.cell(2, 1)),
             QRect(strokeWidth - 2, topMargin + rowHeight - 6, notesWidth + 3, rowHeight + 12));

    // A row starts a pixel below its top edge.
    QCOMPARE(view.indexAt(QPoint(strokeWidth + 5, topMargin + rowHeight)), sheet.cell(1, 1));
    QCOMPARE(view.indexAt(QPoint(strokeWidth + 5, topMargin + rowHeight + 1)), sheet.cell(2, 1));
    QCOMPARE(view.indexAt(QPoint(strokeWidth - 1, topMargin + 2 * rowHeight + rowHeight / 2)), sheet.cell(3, 0));
    QCOMPARE(view.indexAt(QPoint(strokeWidth, 1)), sheet.cell(1, 1));
    QVERIFY(!view.indexAt(QPoint(strokeWidth + notesWidth + 1, topMargin + 1)).isValid());
    // The row after the last cell of the stroke layer, then nothing.
    QCOMPARE(view.indexAt(QPoint(5, topMargin + 3 * rowHeight + 1)), sheet.cell(4, 0));
    QVERIFY(!view.indexAt(QPoint(5, topMargin + 4 * rowHeight + 1)).isValid());
}

void TestXSheet::rowHeightFollowsTheModel()
{
    Sheet sheet({QStringLiteral("A.B")});
    QSignalSpy heights(&sheet.view, &UI::XSheet::frameHeightChanged);
    sheet.scene()->setThumbnailSize(KL::ThumbnailSize::ThumbnailLarge);
    const int expected = sheet.model()->headerData(0, Qt::Vertical, Qt::SizeHintRole).toSize().height();
    QVERIFY(expected != 42);
    QCOMPARE(sheet.view.rowHeight(), expected);
    QVERIFY(!heights.isEmpty());
    QCOMPARE(heights.last().at(0).toInt(), expected);
}

void TestXSheet::beyondButtonsAddARow()
{
    Sheet sheet({QStringLiteral("A") + QString(30, u'.')}, QSize(400, 400));
    const int rows = sheet.model()->rowCount();
    const int rowHeight = sheet.view.rowHeight();
    const int maximum = sheet.view.verticalScrollBar()->maximum();
    QVERIFY(maximum > 0);
    // Below the last row, then further down.
    const int below = 18 + rows * rowHeight + 1 - sheet.view.verticalScrollBar()->value();
    QCOMPARE(sheet.view.rowAt(below), rows);
    QCOMPARE(sheet.view.rowAt(below + rowHeight), -1);

    sheet.view.showBeyondButtons(true);
    QCOMPARE(sheet.view.verticalScrollBar()->maximum(), maximum + rowHeight);

    // The scroll bar runs between header and footer.
    const QScrollBar *bar = sheet.view.verticalScrollBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->y(), sheet.view.findChild<UI::XSheetHeader *>()->height());
    QCOMPARE(bar->y() + bar->height(), sheet.view.findChild<UI::XSheetFooter *>()->y());
}

void TestXSheet::centringFollowsTheSetting()
{
    Sheet sheet({QStringLiteral("A") + QString(60, u'.')}, QSize(400, 400));
    QScrollBar *bar = sheet.view.verticalScrollBar();
    const int middle = sheet.viewport()->height() / 2;

    // Centred even when it was already in view.
    sheet.scene()->setActiveFrameAndLayer(4, 0, Model::Scene::AllowFrameAfterLast);
    bar->setValue(0);
    sheet.view.setScrollToCenter(true);
    QVERIFY(bar->value() > 0);
    QVERIFY(qAbs(sheet.centre(4, 0).y() - middle) <= sheet.view.rowHeight());

    sheet.view.setScrollToCenter(false);
    bar->setValue(0);
    sheet.scene()->setActiveFrameAndLayer(5, 0, Model::Scene::AllowFrameAfterLast);
    QCOMPARE(bar->value(), 0);
    sheet.scene()->setActiveFrameAndLayer(40, 0, Model::Scene::AllowFrameAfterLast);
    QVERIFY(bar->value() > 0);
    QVERIFY(sheet.centre(40, 0).y() < sheet.viewport()->height());
}

// Clicks and selection

void TestXSheet::clicks_data()
{
    QTest::addColumn<QList<QPoint>>("clicks"); // (frame, layer) of press and release
    QTest::addColumn<QList<bool>>("shift");
    QTest::addColumn<QString>("active");
    QTest::addColumn<QList<int>>("selectedFrames");
    QTest::addColumn<int>("selectedLayer");

    using P = QList<QPoint>;
    QTest::newRow("click") << P{{3, 0}, {3, 0}} << QList<bool>{false} << "3.0" << QList<int>{} << -1;
    QTest::newRow("press and release on different cells") << P{{3, 0}, {2, 1}} << QList<bool>{false} << "1.0"
                                                           << QList<int>{} << -1;
    QTest::newRow("click on the row after the last cell") << P{{5, 1}, {5, 1}} << QList<bool>{false} << "5.1"
                                                          << QList<int>{} << -1;
    QTest::newRow("shift range") << P{{2, 0}, {2, 0}, {4, 0}, {4, 0}} << QList<bool>{false, true} << "4.0"
                                 << QList<int>{2, 3, 4} << 0;
    QTest::newRow("shift range upwards") << P{{4, 0}, {4, 0}, {1, 0}, {1, 0}} << QList<bool>{false, true} << "1.0"
                                         << QList<int>{1, 2, 3, 4} << 0;
    QTest::newRow("shift into another column") << P{{2, 0}, {2, 0}, {3, 1}, {3, 1}} << QList<bool>{false, true}
                                               << "3.1" << QList<int>{3} << 1;
}

void TestXSheet::clicks()
{
    QFETCH(QList<QPoint>, clicks);
    QFETCH(QList<bool>, shift);
    QFETCH(QString, active);
    QFETCH(QList<int>, selectedFrames);
    QFETCH(int, selectedLayer);

    Sheet sheet({QStringLiteral("A.BC."), QStringLiteral("DE.F")});
    for (qsizetype i = 0; i < shift.size(); ++i) {
        const Qt::KeyboardModifiers modifiers = shift.at(i) ? Qt::ShiftModifier : Qt::NoModifier;
        const QPoint press = clicks.at(2 * i);
        const QPoint release = clicks.at(2 * i + 1);
        sendMouseEvent(sheet.viewport(), QEvent::MouseButtonPress, sheet.centre(press.x(), press.y()),
                       Qt::LeftButton, Qt::LeftButton, modifiers);
        sendMouseEvent(sheet.viewport(), QEvent::MouseButtonRelease, sheet.centre(release.x(), release.y()),
                       Qt::LeftButton, Qt::NoButton, modifiers);
    }
    QCOMPARE(sheet.active(), active);
    QList<int> selected;
    const QModelIndexList indexes = sheet.handle->selectionModel()->selectedIndexes();
    for (const QModelIndex &index : indexes) {
        QCOMPARE(index.column(), selectedLayer);
        selected.append(index.row() + 1);
    }
    std::sort(selected.begin(), selected.end());
    QCOMPARE(selected, selectedFrames);
    QCOMPARE(sheet.stack()->count(), 0);
}

void TestXSheet::eraserEndSelectsARange()
{
    Sheet sheet({QStringLiteral("A.BC."), QStringLiteral("DE.F")});
    QWidget *viewport = sheet.viewport();
    QVERIFY(sendTablet(viewport, QEvent::TabletPress, sheet.centre(2, 1), 0, TestSupport::eraser()));
    QVERIFY(sendTablet(viewport, QEvent::TabletMove, sheet.centre(3, 1), 0, TestSupport::eraser()));
    QVERIFY(sendTablet(viewport, QEvent::TabletMove, sheet.centre(4, 1), 0, TestSupport::eraser()));
    QVERIFY(sendTablet(viewport, QEvent::TabletRelease, sheet.centre(4, 1), 0, TestSupport::eraser()));
    QCOMPARE(sheet.handle->selectionModel()->selectedIndexes().size(), 3);
    QVERIFY(sheet.handle->selectionModel()->isSelected(sheet.cell(2, 1)));
    QVERIFY(sheet.handle->selectionModel()->isSelected(sheet.cell(4, 1)));
    QCOMPARE(sheet.active(), QStringLiteral("4.1"));
    // The pen's tip over a stroke column is left to the system.
    QVERIFY(!sendTablet(viewport, QEvent::TabletPress, sheet.centre(1, 0), 0));
}

void TestXSheet::contextMenus_data()
{
    QTest::addColumn<QPoint>("at"); // (frame, layer)
    QTest::addColumn<int>("thumbnailFrame"); // 0: a layer was clicked
    QTest::addColumn<int>("layer");
    QTest::newRow("a drawing") << QPoint(3, 0) << 3 << 0;
    QTest::newRow("the row after the last cell") << QPoint(5, 1) << 0 << 1;
    QTest::newRow("below a layer's cells") << QPoint(6, 1) << 0 << 1;
    QTest::newRow("the notes column") << QPoint(2, 2) << 0 << -1;
}

void TestXSheet::contextMenus()
{
    QFETCH(QPoint, at);
    QFETCH(int, thumbnailFrame);
    QFETCH(int, layer);
    Sheet sheet({QStringLiteral("A.BC."), QStringLiteral("DE.F"), QStringLiteral("notes")});
    QSignalSpy thumbnails(&sheet.view, &UI::XSheet::rightClickedThumbnail);
    QSignalSpy layers(&sheet.view, &UI::XSheet::rightClickedLayer);
    const QPoint point = sheet.centre(at.x(), at.y()).toPoint();
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, sheet.viewport()->mapToGlobal(point));
    QApplication::sendEvent(sheet.viewport(), &event);
    QVERIFY(event.isAccepted());
    if (thumbnailFrame > 0) {
        QCOMPARE(thumbnails.count(), 1);
        QCOMPARE(thumbnails.at(0).at(0).value<QModelIndex>(), sheet.cell(thumbnailFrame, layer));
        QCOMPARE(sheet.active(), QStringLiteral("%1.%2").arg(thumbnailFrame).arg(layer));
        QCOMPARE(layers.count(), 0);
    } else {
        QCOMPARE(layers.count(), 1);
        QCOMPARE(layers.at(0).at(0).toInt(), layer);
        QCOMPARE(thumbnails.count(), 0);
        QCOMPARE(sheet.active(), QStringLiteral("1.0"));
    }
}

void TestXSheet::synthesizedPressesAfterThePenAreDropped_data()
{
    QTest::addColumn<bool>("heldLong");
    QTest::newRow("a tap") << false;
    // The pen rests longer than the guard before it is lifted: the lift
    // starts the guard again.
    QTest::newRow("a long press") << true;
}

void TestXSheet::synthesizedPressesAfterThePenAreDropped()
{
    QFETCH(bool, heldLong);
    Sheet sheet({QStringLiteral("ABCDE")});
    QWidget *viewport = sheet.viewport();
    auto *guard = sheet.view.findChild<QTimer *>(QStringLiteral("tabletTimer"));
    QVERIFY(guard);

    sendTablet(viewport, QEvent::TabletPress, sheet.centre(2, 0), 0, TestSupport::eraser());
    if (heldLong)
        guard->stop();
    sendTablet(viewport, QEvent::TabletRelease, sheet.centre(2, 0), 0, TestSupport::eraser());
    QCOMPARE(sheet.active(), QStringLiteral("2.0"));
    QVERIFY(guard->isActive());
    QCOMPARE(guard->interval(), 500);

    synthesizedClick(viewport, sheet.centre(4, 0));
    QCOMPARE(sheet.active(), QStringLiteral("2.0"));
    // A real mouse is never held back.
    TestSupport::click(viewport, sheet.centre(3, 0));
    QCOMPARE(sheet.active(), QStringLiteral("3.0"));

    guard->stop();
    synthesizedClick(viewport, sheet.centre(4, 0));
    QCOMPARE(sheet.active(), QStringLiteral("4.0"));
}

// Drags

void TestXSheet::frameDrags_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links"); // layers to link
    QTest::addColumn<bool>("slide");
    QTest::addColumn<QPoint>("pressed"); // (frame, layer)
    QTest::addColumn<QList<int>>("path"); // rows from the pressed cell; let go at the last
    // "", "left", "right", "above", "below", "shift", "shift throughout";
    // "after an undo": an undo during the drag, after a step that made the
    // pressed cell current from the next layer's frame 2, "…, the history
    // full": the same in a history that keeps two steps, which an earlier
    // one fills, and keeps; "playback": the scene starts showing frame 3, as playback
    // does; "in playback": it shows frame 3 from before the press; "window":
    // another window takes the focus, and the release comes left of the sheet;
    // "key": a key's step adds a clone after the current cell
    QTest::addColumn<QString>("letGo");
    QTest::addColumn<QString>("text"); // of the command pushed, empty for none
    QTest::addColumn<QString>("after");

    const QStringList holds{QStringLiteral("A...B..C")};
    QTest::newRow("add clones of 2") << QStringList{QStringLiteral("A.B")} << QString() << false << QPoint(1, 0)
                                     << QList<int>{1, 2} << QString()
                                     << "Add Clone Drawings|Commands::AddCloneDrawings|2" << "AaaaB";
    QTest::newRow("add clones on linked layers")
        << QStringList{QStringLiteral("A.B"), QStringLiteral("CD.")} << "0,1" << false << QPoint(1, 0)
        << QList<int>{1, 2} << QString() << "Add Clone Drawings|Commands::AddCloneDrawings|2" << "AaaaB|CccDd";
    QTest::newRow("add clones and back") << QStringList{QStringLiteral("A.B")} << QString() << false << QPoint(1, 0)
                                         << QList<int>{1, 2, 0} << QString() << QString() << "AaB";
    QTest::newRow("discard clones of 3") << holds << QString() << false << QPoint(4, 0) << QList<int>{-1, -3}
                                         << QString() << "Discard Clone Drawings|Commands::DiscardCloneDrawings|3"
                                         << "ABbbC";
    QTest::newRow("discard no more clones than there are")
        << QStringList{QStringLiteral("AB...C")} << QString() << false << QPoint(5, 0) << QList<int>{-2, -4}
        << QString() << "Discard Clone Drawings|Commands::DiscardCloneDrawings|3" << "ABC";
    QTest::newRow("slide up") << holds << QString() << true << QPoint(5, 0) << QList<int>{-1, -2} << QString()
                              << "Slide Original Drawing|Commands::SlideOriginal|-1" << "AaBbbbbC";
    QTest::newRow("slide up within the holds") << holds << QString() << true << QPoint(5, 0) << QList<int>{-2, -4}
                                               << QString() << "Slide Original Drawing|Commands::SlideOriginal|-1"
                                               << "ABbbbbbC";
    QTest::newRow("slide down within the holds") << holds << QString() << true << QPoint(5, 0)
                                                 << QList<int>{1, 2, 3} << QString()
                                                 << "Slide Original Drawing|Commands::SlideOriginal|-1" << "AaaaaaBC";
    QTest::newRow("slide refused on a hold") << holds << QString() << true << QPoint(3, 0) << QList<int>{1, 2}
                                             << QString() << QString() << "AaaaBbbC";
    QTest::newRow("let go left of the sheet") << holds << QString() << false << QPoint(1, 0) << QList<int>{1, 2}
                                              << "left" << QString() << "AaaaBbbC";
    QTest::newRow("let go right of the sheet") << holds << QString() << false << QPoint(1, 0) << QList<int>{1, 2}
                                               << "right" << QString() << "AaaaBbbC";
    // Above or below the sheet the drag ends on the row under the pointer,
    // the first row at the most.
    QTest::newRow("let go above the sheet") << holds << QString() << false << QPoint(3, 0) << QList<int>{-1, -5}
                                            << "above" << "Discard Clone Drawings|Commands::DiscardCloneDrawings|2"
                                            << "AaBbbC";
    QTest::newRow("let go below the sheet") << holds << QString() << false << QPoint(1, 0)
                                            << QList<int>{1, 2, 12} << "below"
                                            << "Add Clone Drawings|Commands::AddCloneDrawings|12"
                                            << "AaaaaaaaaaaaaaaaBbbC";
    QTest::newRow("slide let go below the sheet") << holds << QString() << true << QPoint(5, 0)
                                                  << QList<int>{1, 11} << "below"
                                                  << "Slide Original Drawing|Commands::SlideOriginal|-1"
                                                  << "AaaaaaBC";
    QTest::newRow("let go with Shift") << holds << QString() << true << QPoint(5, 0) << QList<int>{-1, -2}
                                       << "shift" << QString() << "AaaaBbbC";
    QTest::newRow("Shift held from the start") << holds << QString() << false << QPoint(1, 0) << QList<int>{1, 2}
                                               << "shift throughout" << QString() << "AaaaBbbC";
    const QString moved = QStringLiteral("Change Active Frame and Layer|Commands::SetActiveFrameAndLayer|-1");
    QTest::newRow("add clones, an undo during the drag")
        << QStringList{QStringLiteral("A.B"), QStringLiteral("CD.")} << QString() << false << QPoint(1, 0)
        << QList<int>{1, 2} << "after an undo" << moved << "AaB|CDd";
    QTest::newRow("slide, an undo during the drag")
        << QStringList{holds.first(), QStringLiteral("DE.")} << QString() << true << QPoint(5, 0)
        << QList<int>{-1, -2} << "after an undo" << moved << "AaaaBbbC|DEe";
    QTest::newRow("annotation stroke, an undo during it")
        << QStringList{QStringLiteral("A.B"), QStringLiteral("CD."), QStringLiteral("notes")} << QString() << false
        << QPoint(1, 2) << QList<int>{1, 2} << "after an undo" << moved << "AaB|CDd|";
    QTest::newRow("annotation stroke, an undo during it, the history full")
        << QStringList{QStringLiteral("A.B"), QStringLiteral("CD."), QStringLiteral("notes")} << QString() << false
        << QPoint(1, 2) << QList<int>{1, 2} << "after an undo, the history full" << moved << "AaB|CDd|";
    // The gesture ends first, as its release would, then the key's step.
    const QString cloned = QStringLiteral("Add Clone Drawings|Commands::AddCloneDrawings|1");
    QTest::newRow("annotation stroke, a key's step during it")
        << QStringList{QStringLiteral("A.B"), QStringLiteral("notes")} << QString() << false << QPoint(1, 1)
        << QList<int>{1, 2} << "key" << cloned << "AaaB|";
    QTest::newRow("add clones, a key's step during the drag") << QStringList{QStringLiteral("A.B")} << QString()
                                                              << false << QPoint(1, 0) << QList<int>{1, 2} << "key"
                                                              << cloned << "AaaaaB";
    QTest::newRow("add clones, playback started during the drag")
        << QStringList{QStringLiteral("A.B")} << QString() << false << QPoint(1, 0) << QList<int>{1, 2} << "playback"
        << QString() << "AaB";
    QTest::newRow("add clones, the window loses the focus during the drag")
        << QStringList{QStringLiteral("A.B")} << QString() << false << QPoint(1, 0) << QList<int>{1, 2} << "window"
        << "Add Clone Drawings|Commands::AddCloneDrawings|2" << "AaaaB";
    // The drag's own move of the current cell ends the frame shown, not the
    // drag.
    QTest::newRow("add clones, in playback") << QStringList{QStringLiteral("A.B")} << QString() << false
                                             << QPoint(1, 0) << QList<int>{1, 2} << "in playback"
                                             << "Add Clone Drawings|Commands::AddCloneDrawings|2" << "AaaaB";
}

void TestXSheet::frameDrags()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(bool, slide);
    QFETCH(QPoint, pressed);
    QFETCH(QList<int>, path);
    QFETCH(QString, letGo);
    QFETCH(QString, text);
    QFETCH(QString, after);

    Sheet sheet(layers);
    for (const QString &layer : links.split(u',', Qt::SkipEmptyParts))
        sheet.scene()->setLayerLinked(layer.toInt(), true);
    sheet.view.setSlideMode(slide);
    const QString before = sheet.cells();

    QList<QPointF> points = SheetTest::rowPath(sheet, pressed.x(), pressed.y(), path);
    if (letGo == u"left")
        points.last().setX(-5);
    else if (letGo == u"right")
        points.last().setX(sheet.viewport()->width() + 5);
    else if (letGo == u"above")
        QVERIFY(points.last().y() < 0);
    else if (letGo == u"below")
        QVERIFY(points.last().y() >= sheet.viewport()->height());
    const bool shiftThroughout = letGo == u"shift throughout";
    // The current cell came to the pressed one by a step, as the window
    // makes it.
    const bool undoing = letGo.startsWith(u"after an undo");
    if (letGo.endsWith(u"history full")) {
        sheet.stack()->setUndoLimit(2);
        sheet.stack()->push(new QUndoCommand(QStringLiteral("Earlier")));
    }
    if (undoing) {
        sheet.scene()->setActiveFrameAndLayer(2, 1, Model::Scene::AllowFrameAfterLast);
        Model::KLScene::pushCommand(new Commands::SetActiveFrameAndLayer(sheet.scene(), pressed.x(), 0, 1));
    }
    if (letGo == u"in playback") {
        sheet.scene()->setActiveFrameAndLayer(2, 0, Model::Scene::AllowFrameAfterLast);
        sheet.scene()->setScrubFrame(3);
    }
    bool previewGone = true;
    QWidget other;
    const auto activate = [](QWidget *window) {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window, 30000);
    };
    SheetTest::drag(sheet.viewport(), points, shiftThroughout ? Qt::ShiftModifier : Qt::NoModifier,
                    shiftThroughout || letGo == u"shift" ? Qt::ShiftModifier : Qt::NoModifier, [&] {
                        if (undoing)
                            sheet.handle->undo();
                        else if (letGo == u"key")
                            Model::KLScene::pushCommand(new Commands::AddCloneDrawings(
                                sheet.handle.get(), sheet.handle->currentIndex(), 1));
                        else if (letGo == u"playback")
                            sheet.scene()->setScrubFrame(3);
                        else if (letGo == u"window" && activate(&sheet.view) && activate(&other))
                            points.last().setX(-5);
                        else
                            return;
                        previewGone = sheet.model()->dragMode() == Model::FrameRangeModel::NoDrag;
                    });
    QVERIFY(previewGone);
    QCOMPARE(other.isActiveWindow(), letGo == u"window");

    // The preview has gone, whatever came of the drag.
    QCOMPARE(sheet.model()->dragMode(), Model::FrameRangeModel::NoDrag);
    QCOMPARE(sheet.model()->dragDistance(), 0);
    QCOMPARE(sheet.model()->rowCount(), sheet.scene()->frameRangeLast() - sheet.scene()->frameRangeFirst() + 2);
    QCOMPARE(sheet.cells(), after);
    QCOMPARE(sheet.stack()->index(),
             (text.isEmpty() ? 0 : 1) + (letGo.endsWith(u"history full") || letGo == u"key" ? 1 : 0));
    QCOMPARE(topText(sheet), text);
    if (text.isEmpty())
        return;
    sheet.stack()->setIndex(0);
    QCOMPARE(sheet.cells(), before);
    sheet.stack()->setIndex(sheet.stack()->count());
    QCOMPARE(sheet.cells(), after);
}

void TestXSheet::audioOffsetDrags_data()
{
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("letGo");
    QTest::addColumn<double>("offset");
    QTest::newRow("locked") << true << QString() << 0.0;
    QTest::newRow("unlocked") << false << QString() << 2.5;
    QTest::newRow("let go left of the sheet") << false << "left" << 0.0;
    // Above or below the sheet the offset still follows the pointer.
    QTest::newRow("let go above the sheet") << false << "above" << -3.5;
    QTest::newRow("let go below the sheet") << false << "below" << 14.5;
}

void TestXSheet::audioOffsetDrags()
{
    QFETCH(bool, locked);
    QFETCH(QString, letGo);
    QFETCH(double, offset);

    Sheet sheet({QStringLiteral("A......."), QStringLiteral("audio")});
    auto *audio = qobject_cast<Model::AudioLayer *>(sheet.scene()->layerAt(1).get());
    audio->setOriginalAudioData(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 2.0, 440)));
    QVERIFY(sheet.scene()->hasAudio());
    sheet.view.setAudioOffsetLocked(locked);

    const QPointF from = sheet.centre(2, 1);
    QList<QPointF> points{from, from + QPointF(0, sheet.view.rowHeight()), from + QPointF(0, 2.5 * sheet.view.rowHeight())};
    if (letGo == u"left")
        points.last().setX(-5);
    else if (letGo == u"above" || letGo == u"below")
        points.last() = from + QPointF(0, offset * sheet.view.rowHeight());
    if (letGo == u"above")
        QVERIFY(points.last().y() < 0);
    else if (letGo == u"below")
        QVERIFY(points.last().y() >= sheet.viewport()->height());
    SheetTest::drag(sheet.viewport(), points);

    QCOMPARE(sheet.scene()->audioOffset(), offset);
    QCOMPARE(sheet.scene()->effectiveAudioOffset(), offset);
    QCOMPARE(sheet.stack()->count(), offset == 0.0 ? 0 : 1);
    if (offset == 0.0)
        return;
    QCOMPARE(topText(sheet), QStringLiteral("Set Audio Offset|Commands::SetAudioOffset|-1"));
    sheet.stack()->undo();
    QCOMPARE(sheet.scene()->audioOffset(), 0.0);
}

void TestXSheet::beyondButtonCyclesTheMode()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCDE")});
    auto mode = [&sheet] { return sheet.scene()->layerBeyondLast(0); };
    QCOMPARE(mode(), 1);

    // Hidden buttons take no clicks.
    TestSupport::click(sheet.viewport(), beyondButton(sheet, 0));
    QCOMPARE(sheet.stack()->count(), 0);

    sheet.view.showBeyondButtons(true);
    const QStringList texts{QStringLiteral("Freeze Last Drawing"), QStringLiteral("Cycle Drawings Beyond Last Drawing"),
                            QStringLiteral("Show Nothing Beyond Last Drawing")};
    const QList<int> modes{2, 3, 1};
    for (int i = 0; i < 3; ++i) {
        TestSupport::click(sheet.viewport(), beyondButton(sheet, 0));
        QCOMPARE(mode(), modes.at(i));
        QCOMPARE(sheet.stack()->count(), i + 1);
        QCOMPARE(topText(sheet), texts.at(i) + QStringLiteral("|Commands::SetLayerBeyondLast|-1"));
    }

    // A press on one button let go over another column does nothing.
    TestSupport::clickFromTo(sheet.viewport(), beyondButton(sheet, 0), sheet.centre(2, 1));
    QCOMPARE(sheet.stack()->count(), 3);

    for (int i = 2; i >= 0; --i) {
        sheet.stack()->undo();
        QCOMPARE(mode(), i == 0 ? 1 : modes.at(i - 1));
    }
}

void TestXSheet::footerMovesLayers()
{
    Sheet sheet({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    auto *header = sheet.view.findChild<UI::XSheetHeader *>();
    auto *footer = sheet.view.findChild<UI::XSheetFooter *>();
    QVERIFY(header && footer);
    const QList<int> ordering = sheet.scene()->layerOrdering();
    const auto sectionsFollowTheOrdering = [&] {
        const QList<int> now = sheet.scene()->layerOrdering();
        for (int position = 0; position < now.size(); ++position) {
            if (header->logicalIndex(position) != now.at(position) || footer->logicalIndex(position) != now.at(position))
                return false;
        }
        return true;
    };
    QVERIFY(sectionsFollowTheOrdering());

    footer->moveSection(0, 2);
    QCOMPARE(sheet.stack()->count(), 1);
    QCOMPARE(topText(sheet), QStringLiteral("Move Layer|Commands::MoveLayer|-1"));
    QCOMPARE(sheet.scene()->layerOrdering(), (QList<int>{ordering.at(1), ordering.at(2), ordering.at(0)}));
    QVERIFY(sectionsFollowTheOrdering());

    sheet.stack()->undo();
    QCOMPARE(sheet.scene()->layerOrdering(), ordering);
    QVERIFY(sectionsFollowTheOrdering());
}

// Painting and cursors

void TestXSheet::paintsRangeEndsAndEighthFrames()
{
    Sheet sheet({QStringLiteral("A") + QString(19, u'.')}, QSize(300, 1000));
    const int rowHeight = sheet.view.rowHeight();
    // The current cell's black frame away from the lines looked at.
    sheet.scene()->setActiveFrameAndLayer(12, 0, Model::Scene::AllowFrameAfterLast);
    const QRect first = sheet.view.visualRect(sheet.cell(1, 0)).adjusted(2, 6, -1, -6);
    const int x = first.center().x();
    const auto pixel = [&sheet, x](int y) { return sheet.viewport()->grab().toImage().pixel(x, y); };

    // Every eighth frame from frame 9 has a dark line at its top; frame 1
    // has none, nor does a range that starts at frame 1.
    QCOMPARE(pixel(first.top() + 8 * rowHeight), qRgb(17, 17, 17));
    QCOMPARE(pixel(first.top() + 16 * rowHeight), qRgb(17, 17, 17));
    QVERIFY(pixel(first.top() + 9 * rowHeight) != qRgb(17, 17, 17));
    QVERIFY(pixel(first.top()) != qRgb(17, 17, 17));
    QVERIFY(pixel(first.top() - 1) != qRgb(0, 0, 0));

    // A range from frame 2 to 10: a black line above its first row and
    // below the row after its last, frame 9's line still in place.
    sheet.scene()->setFrameRange(2, 10, 6, 0);
    const QRect second = sheet.view.visualRect(sheet.cell(2, 0)).adjusted(2, 6, -1, -6);
    QCOMPARE(pixel(second.top() - 1), qRgb(0, 0, 0));
    QCOMPARE(pixel(second.top() + 7 * rowHeight), qRgb(17, 17, 17));
    QCOMPARE(pixel(second.top() + 10 * rowHeight + 1), qRgb(0, 0, 0));
}

void TestXSheet::paintsBeyondButtonsOnlyWhenShown()
{
    Sheet sheet({QStringLiteral("AB"), QStringLiteral("ABCDE")});
    // Inside the circle, clear of the glyph across its middle.
    const QPoint button = beyondButton(sheet, 0).toPoint() + QPoint(0, 6);
    const auto pixel = [&sheet, button] { return sheet.viewport()->grab().toImage().pixel(button); };
    QVERIFY(pixel() != qRgb(117, 113, 109));
    sheet.view.showBeyondButtons(true);
    QCOMPARE(pixel(), qRgb(117, 113, 109));
}

void TestXSheet::annotationCursorMatchesTheStrokeScale()
{
    Sheet sheet({QStringLiteral("A.B"), QStringLiteral("notes")});
    sheet.view.setAnnotationPenType(int(KL::AnnotationPenType::DrawToolPen));

    // The pen draws into rows 56 pixels tall: on the sheet its strokes and
    // its cursor shrink by rowHeight / 56.
    Model::ToolManager *tools = Model::ToolManager::instance();
    auto *tool = qobject_cast<Model::DrawingTool *>(tools->tool(Model::Tool::Type::Pen));
    QVERIFY(tool);
    tool->setSizeRangeLimits(20.0, 40.0);
    tool->setSizeRangePercent(100.0, 100.0);
    sendMouseEvent(sheet.viewport(), QEvent::MouseMove, sheet.centre(2, 1), Qt::NoButton, Qt::NoButton);
    const QSize shown = sheet.viewport()->cursor().pixmap().size();
    QCOMPARE(shown, tool->previewCursor(sheet.view.rowHeight() / 56.0).pixmap().size());
    QVERIFY(shown != tool->previewCursor(56.0 / sheet.view.rowHeight()).pixmap().size());

    // Over a stroke column the sheet shows the add-clones pointer again.
    sendMouseEvent(sheet.viewport(), QEvent::MouseMove, sheet.centre(2, 0), Qt::NoButton, Qt::NoButton);
    QVERIFY(sheet.viewport()->cursor().pixmap().size() != shown);
}

void TestXSheet::scrolledSheetShowsWhatAFreshOneShows_data()
{
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<bool>("gizmoOpen");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("small steps down") << QList<int>{37, 74, 111, 148} << false << QColor();
    QTest::newRow("row by row") << QList<int>{28, 56, 84} << false << QColor();
    QTest::newRow("down a page and back") << QList<int>{300, 150, 0} << false << QColor();
    QTest::newRow("a long jump") << QList<int>{2500} << false << QColor();
    QTest::newRow("up in small steps") << QList<int>{900, 880, 861, 799} << false << QColor();
    QTest::newRow("a gizmo open") << QList<int>{40, 95, 130} << true << QColor();
    QTest::newRow("a layer recoloured") << QList<int>{40, 95} << false << QColor(196, 46, 85);
}

// Scrolling moves what the screen shows and paints only what comes into
// view, around the shadows and the gizmos that stay where they are: the
// result is what a sheet shown afresh at the same place shows.
void TestXSheet::scrolledSheetShowsWhatAFreshOneShows()
{
    QFETCH(QList<int>, offsets);
    QFETCH(bool, gizmoOpen);
    QFETCH(QColor, colour);

    const QSize size(360, 420);
    Sheet scrolled(longLayers(), size);
    QVERIFY(QTest::qWaitForWindowExposed(&scrolled.view));
    const auto gizmo = [](Sheet &sheet) { return sheet.view.findChildren<UI::ColorGizmo *>().value(1); };
    if (gizmoOpen) {
        openGizmo(gizmo(scrolled));
        QTRY_COMPARE(gizmo(scrolled)->height(), 107);
    }
    settle();
    for (const int offset : offsets) {
        if (colour.isValid() && offset == offsets.last())
            scrolled.scene()->setLayerColor(1, colour);
        scrolled.view.verticalScrollBar()->setValue(offset);
        settle();
    }
    QCOMPARE(scrolled.view.verticalScrollBar()->value(), offsets.last());
    // Taken before another window takes the focus, which closes a gizmo.
    const QImage shown = onScreen(scrolled.viewport());

    // Coloured before it is first painted.
    Sheet fresh(longLayers(), size);
    if (colour.isValid())
        fresh.scene()->setLayerColor(1, colour);
    QVERIFY(QTest::qWaitForWindowExposed(&fresh.view));
    if (gizmoOpen) {
        openGizmo(gizmo(fresh));
        QTRY_COMPARE(gizmo(fresh)->height(), 107);
    }
    fresh.view.verticalScrollBar()->setValue(offsets.last());
    fresh.viewport()->repaint();
    settle();

    QCOMPARE(shown, onScreen(fresh.viewport()));
}

QTEST_MAIN(TestXSheet)
#include "tst_xsheet.moc"
