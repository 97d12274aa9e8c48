#include "scene/framerangemodel.h"

#include "../audio/audiotestfiles.h"
#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "sheetmodeltester.h"
#include "support/cellpattern.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Model;

// The exposure sheet's view of a scene: the frame range plus one row, and
// the preview of the two cell drags. Layers are written as cell patterns
// (upper case an original named after the letter, lower case a hold).
// What a column shows is written one character per proxy row: the name of
// the drawing of the source cell, '.' for a layer's empty row after its last
// cell, '-' for a row without a cell.
namespace {

using CellPattern::FrameSize;

struct Sheet
{
    Scene scene;
    SceneModel sceneModel;
    FrameRangeModel proxy;

    // Layers in list order, '+' in front of one linking it.
    Sheet(const QStringList &layers, int first, int last)
    {
        for (QString pattern : layers) {
            const bool linked = pattern.startsWith(u'+');
            if (linked)
                pattern.remove(0, 1);
            const std::shared_ptr<Layer> layer = CellPattern::makeLayer(scene, pattern);
            layer->setLinked(linked);
            scene.insertLayer(layer, scene.layerCount());
        }
        scene.updateMaxFrameNumber();
        scene.setFrameRange(first, last, first, 0);
        sceneModel.setScene(&scene);
        proxy.setSourceModel(&sceneModel);
        proxy.setScene(&scene);
    }

    QString column(int column) const
    {
        QString shown;
        for (int row = 0; row < proxy.rowCount(); ++row) {
            const QModelIndex source = proxy.mapToSource(proxy.index(row, column));
            if (!source.isValid())
                shown += u'-';
            else if (source.row() == scene.layerFrameCount(column))
                shown += u'.';
            else
                shown += sceneModel.itemAt(source)->drawing()->name();
        }
        return shown;
    }

    QString clones(int column) const
    {
        QString flags;
        for (int row = 0; row < proxy.rowCount(); ++row)
            flags += proxy.data(proxy.index(row, column), SceneModel::CloneRole).toBool() ? u'1' : u'0';
        return flags;
    }
};

} // namespace

class TestFrameRangeModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // The frame range
    void rangeShowsItsFramesAndOneMore();
    void columnsEndAfterTheirLastCell_data();
    void columnsEndAfterTheirLastCell();
    void sourceCellsMapBackToTheirRows_data();
    void sourceCellsMapBackToTheirRows();
    void changesInsideTheRangeReachTheSheet();
    void withoutSceneNothingIsShown();

    // Sliding an original
    void slide_data();
    void slide();
    void slideRefuses_data();
    void slideRefuses();
    void slideStopsAtItsLimits();

    // Adding and discarding clones
    void addClonesDownOnLinkedLayers();
    void discardClonesStopsAtAnOriginal_data();
    void discardClonesStopsAtAnOriginal();
    void noBacklightDuringADrag();

    void soundFollowsTheSheet_data();
    void soundFollowsTheSheet();

    void staysConsistentUnderEdits();
};

void TestFrameRangeModel::initTestCase()
{
    initAlphaCompositionTables();
}

void TestFrameRangeModel::init()
{
    QSettings().clear();
    Settings::instance()->load();
}

void TestFrameRangeModel::rangeShowsItsFramesAndOneMore()
{
    Sheet sheet({QStringLiteral("ABCDEFGHIJKLMNOPQRST")}, 5, 12);
    FrameRangeModel &proxy = sheet.proxy;

    QCOMPARE(proxy.firstFrame(), 5);
    QCOMPARE(proxy.lastFrame(), 12);
    QCOMPARE(proxy.rowCount(), 9);
    QCOMPARE(proxy.columnCount(), 1);
    // A layer reaching past the range shows its empty row last.
    QCOMPARE(sheet.column(0), QStringLiteral("EFGHIJKL."));

    QVERIFY(sheet.scene.setScrubFrame(13));
    QVERIFY(proxy.headerData(8, Qt::Vertical, SceneModel::ScrubFrameRole).toBool());
    QVERIFY(!proxy.headerData(7, Qt::Vertical, SceneModel::ScrubFrameRole).toBool());
}

void TestFrameRangeModel::columnsEndAfterTheirLastCell_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("shown");

    // Range 1..10 over layers of 3, 10 and 20 cells.
    QTest::newRow("3 cells") << 0 << QStringLiteral("ABC.-------");
    QTest::newRow("10 cells") << 1 << QStringLiteral("ABCDEFGHIJ.");
    QTest::newRow("20 cells") << 2 << QStringLiteral("ABCDEFGHIJ.");
}

void TestFrameRangeModel::columnsEndAfterTheirLastCell()
{
    QFETCH(int, column);
    QFETCH(QString, shown);

    Sheet sheet({QStringLiteral("ABC"), QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHIJKLMNOPQRST"),
                 QStringLiteral("notes")},
                1, 10);

    QCOMPARE(sheet.column(column), shown);
    QCOMPARE(sheet.proxy.index(3, 0).isValid(), true);
    QCOMPARE(sheet.proxy.index(4, 0).isValid(), false);
    // A column without cells has a cell on every row but the extra one.
    for (int row = 0; row < 10; ++row)
        QVERIFY(sheet.proxy.index(row, 3).isValid());
    QVERIFY(!sheet.proxy.index(10, 3).isValid());
}

void TestFrameRangeModel::sourceCellsMapBackToTheirRows_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("sourceRow");
    QTest::addColumn<int>("row");

    // Range 5..12 over layers of 3, 10 and 20 cells; -1 is no row.
    QTest::newRow("before the range") << 2 << 3 << -1;
    QTest::newRow("first frame") << 2 << 4 << 0;
    QTest::newRow("frame after the range") << 2 << 12 << 8;
    QTest::newRow("empty row of a long layer") << 2 << 20 << 8;
    QTest::newRow("empty row of a layer ending inside") << 1 << 10 << 6;
    QTest::newRow("layer ending before the range") << 0 << 2 << -1;
}

void TestFrameRangeModel::sourceCellsMapBackToTheirRows()
{
    QFETCH(int, column);
    QFETCH(int, sourceRow);
    QFETCH(int, row);

    Sheet sheet({QStringLiteral("ABC"), QStringLiteral("ABCDEFGHIJ"), QStringLiteral("ABCDEFGHIJKLMNOPQRST")}, 5,
                12);
    const QModelIndex source = sheet.sceneModel.index(sourceRow, column);
    QVERIFY(source.isValid());

    const QModelIndex shown = sheet.proxy.mapFromSource(source);
    QCOMPARE(shown.isValid() ? shown.row() : -1, row);
    if (shown.isValid())
        QCOMPARE(shown.column(), column);

    // Every cell the sheet shows goes back to the same row.
    for (int c = 0; c < sheet.proxy.columnCount(); ++c) {
        for (int r = 0; r < sheet.proxy.rowCount(); ++r) {
            const QModelIndex cell = sheet.proxy.index(r, c);
            if (cell.isValid())
                QCOMPARE(sheet.proxy.mapFromSource(sheet.proxy.mapToSource(cell)), cell);
        }
    }
}

void TestFrameRangeModel::changesInsideTheRangeReachTheSheet()
{
    Sheet sheet({QStringLiteral("ABCDEFGH")}, 3, 6);
    QSignalSpy changed(&sheet.proxy, &QAbstractItemModel::dataChanged);

    QVERIFY(sheet.scene.setKeyDrawing(0, 4, true));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), sheet.proxy.index(1, 0));
    QVERIFY(sheet.proxy.data(sheet.proxy.index(1, 0), SceneModel::KeyDrawingRole).toBool());

    QVERIFY(sheet.scene.setKeyDrawing(0, 1, true));
    QCOMPARE(changed.count(), 1);
}

void TestFrameRangeModel::withoutSceneNothingIsShown()
{
    FrameRangeModel proxy;
    QCOMPARE(proxy.rowCount(), 0);
    QCOMPARE(proxy.columnCount(), 0);
    QCOMPARE(proxy.firstFrame(), 0);
    QCOMPARE(proxy.lastFrame(), -1);
    QCOMPARE(proxy.maximumFrameNumber(), 0);
    QCOMPARE(proxy.frameSize(), QSize());
    QVERIFY(!proxy.hasAudio());
    QVERIFY(!proxy.isOffPegsAt(0, nullptr));
    QVERIFY(!proxy.startDrag(FrameRangeModel::SlideDrag, QModelIndex()));
    QVERIFY(proxy.thumbnail(QModelIndex(), QSize(8, 8)).isNull());
    QVERIFY(proxy.distantCloneIndexes(QModelIndex()).isEmpty());
}

void TestFrameRangeModel::slide_data()
{
    QTest::addColumn<QList<int>>("distances");
    QTest::addColumn<int>("distance");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("clones");

    // X X X Y Y Y Z, Y at frame 4 slid; the anchor row is 3.
    QTest::newRow("down one") << QList<int>{1} << 1 << QStringLiteral("AAAABBC.") << QStringLiteral("01110100");
    QTest::newRow("up one") << QList<int>{-1} << -1 << QStringLiteral("AABBBBC.") << QStringLiteral("01011100");
    QTest::newRow("down and back") << QList<int>{1, 0} << 0 << QStringLiteral("AAABBBC.")
                                   << QStringLiteral("01101100");
    QTest::newRow("down past the holds") << QList<int>{5} << 2 << QStringLiteral("AAAAABC.")
                                         << QStringLiteral("01111000");
    QTest::newRow("up past the holds") << QList<int>{-7} << -2 << QStringLiteral("ABBBBBC.")
                                       << QStringLiteral("00111100");
}

void TestFrameRangeModel::slide()
{
    QFETCH(QList<int>, distances);
    QFETCH(int, distance);
    QFETCH(QString, shown);
    QFETCH(QString, clones);

    Sheet sheet({QStringLiteral("AaaBbbC")}, 1, 7);
    FrameRangeModel &proxy = sheet.proxy;

    QVERIFY(proxy.startDrag(FrameRangeModel::SlideDrag, proxy.index(3, 0)));
    for (const int step : distances)
        proxy.setDragDistance(step);

    QCOMPARE(proxy.dragDistance(), distance);
    QCOMPARE(sheet.column(0), shown);
    QCOMPARE(sheet.clones(0), clones);
    QCOMPARE(proxy.dragTargetIndex(), proxy.index(3 + distance, 0));
    // The slide is a preview: the scene keeps its cells.
    QCOMPARE(CellPattern::cells(*std::dynamic_pointer_cast<VisualLayer>(sheet.scene.layerAt(0))),
             QStringLiteral("AaaBbbC"));

    proxy.endDrag();
    QCOMPARE(sheet.column(0), QStringLiteral("AAABBBC."));
    QVERIFY(!proxy.dragTargetIndex().isValid());
}

void TestFrameRangeModel::slideRefuses_data()
{
    QTest::addColumn<int>("row");

    QTest::newRow("frame 1") << 0;
    QTest::newRow("a hold") << 1;
    QTest::newRow("the empty row after the last cell") << 7;
}

void TestFrameRangeModel::slideRefuses()
{
    QFETCH(int, row);

    Sheet sheet({QStringLiteral("AaaBbbC"), QStringLiteral("DEFGHIJK")}, 1, 8);
    FrameRangeModel &proxy = sheet.proxy;
    QSignalSpy distance(&proxy, &FrameRangeModel::dragDistanceChanged);

    QVERIFY(proxy.index(row, 0).isValid());
    QVERIFY(!proxy.startDrag(FrameRangeModel::SlideDrag, proxy.index(row, 0)));
    proxy.setDragDistance(1);
    QCOMPARE(proxy.dragDistance(), 0);
    QCOMPARE(distance.count(), 0);
    QVERIFY(!proxy.dragTargetIndex().isValid());
}

void TestFrameRangeModel::slideStopsAtItsLimits()
{
    Sheet sheet({QStringLiteral("AaaBbbC")}, 1, 7);
    FrameRangeModel &proxy = sheet.proxy;
    QSignalSpy distance(&proxy, &FrameRangeModel::dragDistanceChanged);

    QVERIFY(proxy.startDrag(FrameRangeModel::SlideDrag, proxy.index(3, 0)));
    proxy.setDragDistance(9);
    proxy.setDragDistance(2);
    proxy.setDragDistance(4);
    QCOMPARE(distance.count(), 1);
    QCOMPARE(distance.at(0).at(0).toInt(), 2);
    proxy.setDragDistance(-1);
    QCOMPARE(proxy.minDragDistanceReached(), -1);
    QCOMPARE(proxy.maxDragDistanceReached(), 2);

    proxy.endDrag();
    QCOMPARE(distance.count(), 3);
    QCOMPARE(distance.last().at(0).toInt(), 0);
    QCOMPARE(proxy.dragDistance(), 0);
}

void TestFrameRangeModel::addClonesDownOnLinkedLayers()
{
    Sheet sheet({QStringLiteral("+AB"), QStringLiteral("+CDE"), QStringLiteral("FGH"), QStringLiteral("+notes")}, 1,
                3);
    FrameRangeModel &proxy = sheet.proxy;
    QImage note(8, 8, QImage::Format_Alpha8);
    note.fill(255);
    for (int frame = 1; frame <= 3; ++frame)
        QVERIFY(sheet.scene.setAnnotationImage(frame, note));

    QVERIFY(proxy.startDrag(FrameRangeModel::AddClonesDrag, proxy.index(1, 0)));
    proxy.setDragDistance(3);

    QCOMPARE(proxy.lastFrame(), 6);
    QCOMPARE(proxy.rowCount(), 7);
    QCOMPARE(sheet.column(0), QStringLiteral("ABBBB.-"));
    QCOMPARE(sheet.column(1), QStringLiteral("CDDDDE."));
    QCOMPARE(sheet.column(2), QStringLiteral("FGH.---"));
    QCOMPARE(sheet.clones(0), QStringLiteral("0011100"));
    QCOMPARE(sheet.clones(1), QStringLiteral("0011100"));
    QCOMPARE(sheet.clones(2), QStringLiteral("0000000"));
    QCOMPARE(proxy.headerData(0, Qt::Horizontal, SceneModel::FrameCountRole).toInt(), 6);
    QCOMPARE(proxy.headerData(2, Qt::Horizontal, SceneModel::FrameCountRole).toInt(), 4);
    QCOMPARE(proxy.dragTargetIndex(), proxy.index(4, 0));

    // The notes linked to the layers have no notes in the new frames.
    for (int row = 0; row < 6; ++row)
        QCOMPARE(proxy.thumbnail(proxy.index(row, 3), QSize(16, 8)).isNull(), row >= 2 && row <= 4);

    proxy.endDrag();
    QCOMPARE(proxy.rowCount(), 4);
    QCOMPARE(sheet.column(0), QStringLiteral("AB.-"));
}

void TestFrameRangeModel::discardClonesStopsAtAnOriginal_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("distance");

    QTest::newRow("three holds") << QStringList{QStringLiteral("Abbb"), QStringLiteral("CDdd")} << -3;
    QTest::newRow("a linked layer draws in the holds")
        << QStringList{QStringLiteral("+Abbb"), QStringLiteral("+CDdd")} << -2;
    QTest::newRow("an unlinked layer does not count")
        << QStringList{QStringLiteral("+Abbb"), QStringLiteral("CDEF")} << -3;
}

void TestFrameRangeModel::discardClonesStopsAtAnOriginal()
{
    QFETCH(QStringList, layers);
    QFETCH(int, distance);

    Sheet sheet(layers, 1, 4);
    FrameRangeModel &proxy = sheet.proxy;

    QVERIFY(proxy.startDrag(FrameRangeModel::AddClonesDrag, proxy.index(3, 0)));
    proxy.setDragDistance(-9);
    QCOMPARE(proxy.dragDistance(), distance);
    QCOMPARE(proxy.dragTargetIndex(), proxy.index(3 + distance, 0));
}

void TestFrameRangeModel::noBacklightDuringADrag()
{
    Sheet sheet({QStringLiteral("AaaBbbC")}, 1, 7);
    FrameRangeModel &proxy = sheet.proxy;
    QVERIFY(proxy.headerData(0, Qt::Vertical, SceneModel::BacklightFrameRole).isValid());

    for (const int kind : {FrameRangeModel::SlideDrag, FrameRangeModel::AddClonesDrag}) {
        QVERIFY(proxy.startDrag(kind, proxy.index(3, 0)));
        QVERIFY(!proxy.headerData(0, Qt::Vertical, SceneModel::BacklightFrameRole).isValid());
        proxy.endDrag();
        QVERIFY(proxy.headerData(0, Qt::Vertical, SceneModel::BacklightFrameRole).isValid());
    }
}

void TestFrameRangeModel::soundFollowsTheSheet_data()
{
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("dragOffset");
    QTest::addColumn<bool>("startsAfter");
    QTest::addColumn<bool>("soundsAfter");

    // Two seconds of sound from frame 1 at 24 fps beside 48 frames.
    QTest::newRow("sound past the range") << 8 << 0.0 << false << true;
    QTest::newRow("sound dragged past the range") << 8 << 10.0 << true << true;
    QTest::newRow("sound ends inside the range") << 48 << 0.0 << false << false;
    QTest::newRow("sound dragged to the last row") << 40 << 40.0 << false << true;
}

void TestFrameRangeModel::soundFollowsTheSheet()
{
    QFETCH(int, last);
    QFETCH(double, dragOffset);
    QFETCH(bool, startsAfter);
    QFETCH(bool, soundsAfter);

    Sheet sheet({QStringLiteral("A") + QString(47, u'a')}, 1, 1);
    Scene &scene = sheet.scene;
    QVERIFY(scene.setFrameRate(24));
    auto audio = std::make_shared<AudioLayer>(&scene);
    audio->setOriginalAudioData(
        AudioTestFiles::wavFile(44100, 2, 16, AudioTestFiles::tone(44100, 2, 2.0, 440, 660)));
    QCOMPARE(scene.insertLayer(audio, 1), 1);
    QVERIFY(scene.setFrameRange(1, last, 1, 0));
    QSignalSpy headers(&sheet.proxy, &QAbstractItemModel::headerDataChanged);

    sheet.proxy.setAudioDragOffset(dragOffset);

    QVERIFY(sheet.proxy.hasAudio());
    QCOMPARE(sheet.proxy.audioStartsAfterLastRow(), startsAfter);
    QCOMPARE(sheet.proxy.hasAudioAfterLastRow(), soundsAfter);
    QCOMPARE(sheet.proxy.headerData(1, Qt::Horizontal, Qt::DisplayRole).toDouble(), dragOffset);
    QVERIFY(sheet.proxy.headerData(1, Qt::Horizontal, SceneModel::AudibleRole).toBool());
    QCOMPARE(headers.count(), 1);
    QCOMPARE(headers.at(0).at(0).value<Qt::Orientation>(), Qt::Horizontal);
    // The sound's cells are the frames it plays in.
    QCOMPARE(sheet.sceneModel.index(0, 1).isValid(), dragOffset < 1.0);
    QVERIFY(sheet.sceneModel.index(int(dragOffset) + 1, 1).isValid());
    QVERIFY(!sheet.sceneModel.index(int(dragOffset) + 60, 1).isValid());
}

void TestFrameRangeModel::staysConsistentUnderEdits()
{
    Scene scene;
    SceneModel sceneModel;
    sceneModel.setScene(&scene);
    FrameRangeModel proxy;
    SheetModelTester tester(&proxy);
    proxy.setSourceModel(&sceneModel);
    proxy.setScene(&scene);

    auto layer = std::make_shared<StrokeLayer>(Qt::darkBlue, FrameSize, &scene);
    CellPattern::setCells(*layer, QStringLiteral("ABCDEFGHIJ"));
    scene.insertLayer(layer, 0);
    scene.insertLayer(std::make_shared<AnnotationLayer>(&scene), 5);
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 0);
    QVERIFY(scene.setFrameRange(3, 8, 4, 1));
    QVERIFY(scene.setKeyDrawing(1, 4, true));
    QVERIFY(scene.setKeyDrawing(1, 1, true));
    QVERIFY(scene.setLayerName(1, QStringLiteral("Ink")));
    QVERIFY(scene.setScrubFrame(5));
    QVERIFY(scene.setScrubFrame(10));
    QVERIFY(!sceneModel.addBlankDrawing(sceneModel.index(5, 1)).isEmpty());
    QVERIFY(proxy.startDrag(FrameRangeModel::AddClonesDrag, proxy.index(2, 1)));
    proxy.setDragDistance(2);
    proxy.endDrag();
    QVERIFY(scene.setFrameRange(1, 4, 2, 1));
    QVERIFY(!sceneModel.removeDrawings(sceneModel.index(6, 1), 5).isEmpty());
    QVERIFY(scene.removeLayerAt(0));
    QVERIFY(scene.removeLayerAt(1));
    QVERIFY(scene.removeLayerAt(0));
    proxy.setScene(nullptr);

    const QStringList unexpected = tester.unexpectedFailures();
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(u'\n')));
}

QTEST_MAIN(TestFrameRangeModel)

#include "tst_framerangemodel.moc"
