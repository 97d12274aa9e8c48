#include "scene/scenemodel.h"

#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "settings/settings.h"
#include "sheetmodeltester.h"
#include "strokes/bitmapstroke.h"
#include "support/cellpattern.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Model;

// The scene as the exposure sheet reads it through the table model. Layers
// are written as cell patterns: upper case an original named after the
// letter, lower case a hold of the drawing before it.
namespace {

using CellPattern::build;
using CellPattern::cells;
using CellPattern::FrameSize;

// A cell pattern by kind alone: 'O' an original, 'h' a hold, 'd' a distant
// clone. Records put back copies of drawings, which carry no names.
QString kinds(const QString &pattern)
{
    QString result;
    for (const QChar c : pattern)
        result += c == u'?' ? u'd' : (c.isUpper() || c == u'_') ? u'O' : u'h';
    return result;
}

QString drawingName(const SceneModel &model, const QModelIndex &index)
{
    const auto item = model.itemAt(index);
    return item && item->drawing() ? item->drawing()->name() : QString();
}

} // namespace

class TestSceneModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void withoutSceneTheModelIsEmpty();

    // Cells
    void cellsReachOnePastTheLastDrawing_data();
    void cellsReachOnePastTheLastDrawing();
    void cellRoles_data();
    void cellRoles();
    void annotationImagesAreSetThroughTheModel();
    void changedDrawingsRefreshTheirCells();

    // Layers and frames in the headers
    void layerHeaders_data();
    void layerHeaders();
    void headerEditsReachTheScene_data();
    void headerEditsReachTheScene();
    void scrubbingRefreshesOnlyItsFrames_data();
    void scrubbingRefreshesOnlyItsFrames();
    void sizeHintsFollowTheFrame_data();
    void sizeHintsFollowTheFrame();
    void thumbnailSizeChangesTheHints();

    // Rows and columns
    void columnsFollowTheLayers();
    void rowsFollowTheLongestLayer();

    // Edits through the model
    void editsAreUndoneByTheirRecords_data();
    void editsAreUndoneByTheirRecords();
    void removeDrawingsRemovesFromTheCellDown();
    void replacedContentIsPutBack_data();
    void replacedContentIsPutBack();
    void strokesGoToTheCellsDrawing();
    void drawingKeysFindTheirCells();
    void copyPutsTheSelectedCellsOnTheClipboard();

    void staysConsistentUnderEdits();
};

void TestSceneModel::initTestCase()
{
    initAlphaCompositionTables();
}

void TestSceneModel::init()
{
    QSettings().clear();
    Settings::instance()->load();
    Settings::instance()->setUIScalePercent(100);
}

void TestSceneModel::withoutSceneTheModelIsEmpty()
{
    SceneModel model;
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
    QVERIFY(!model.data(model.index(0, 0), SceneModel::OriginalDrawingRole).isValid());
    for (const int role : {int(Qt::DisplayRole), int(Qt::SizeHintRole), int(SceneModel::LayerTypeRole),
                           int(SceneModel::FrameCountRole)})
        QVERIFY(!model.headerData(0, Qt::Horizontal, role).isValid());
    QVERIFY(!model.setHeaderData(0, Qt::Horizontal, QStringLiteral("Ink"), Qt::DisplayRole));

    QVERIFY(model.addBlankDrawing(QModelIndex()).isEmpty());
    QVERIFY(model.addCloneDrawings(QModelIndex(), 2).isEmpty());
    QVERIFY(model.removeDrawings(QModelIndex(), 2).isEmpty());
    QVERIFY(model.makeHold(QModelIndex(), false).isEmpty());
    QVERIFY(!model.removeStroke(QModelIndex()));
    QVERIFY(!model.addStroke(QModelIndex(), std::make_unique<BitmapStroke>(QImage(4, 4, QImage::Format_Alpha8),
                                                                         QRect(0, 0, 4, 4))));
    QVERIFY(!model.itemAt(QModelIndex()));
    QVERIFY(!model.copyToClipboard(QModelIndex()));
    QCOMPARE(model.drawingKey(QModelIndex()), Scene::DrawingKey());
}

void TestSceneModel::cellsReachOnePastTheLastDrawing_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("column");
    QTest::addColumn<QList<int>>("validRows");
    QTest::addColumn<QList<int>>("selectableRows");
    QTest::addColumn<QList<int>>("enabledRows");

    const QStringList layers{QStringLiteral("AbC"), QStringLiteral("ABCDe"), QStringLiteral("notes"),
                             QStringLiteral("audio")};
    QTest::newRow("short layer") << layers << 0 << QList<int>{0, 1, 2, 3} << QList<int>{0, 1, 2}
                                 << QList<int>{0, 1, 2, 3};
    QTest::newRow("longest layer") << layers << 1 << QList<int>{0, 1, 2, 3, 4, 5}
                                   << QList<int>{0, 1, 2, 3, 4} << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("notes") << layers << 2 << QList<int>{0, 1, 2, 3, 4, 5, 6} << QList<int>{} << QList<int>{};
    QTest::newRow("audio without sound") << layers << 3 << QList<int>{} << QList<int>{} << QList<int>{};
}

void TestSceneModel::cellsReachOnePastTheLastDrawing()
{
    QFETCH(QStringList, layers);
    QFETCH(int, column);
    QFETCH(QList<int>, validRows);
    QFETCH(QList<int>, selectableRows);
    QFETCH(QList<int>, enabledRows);

    Scene scene;
    build(scene, layers);
    SceneModel model;
    model.setScene(&scene);

    for (int row = 0; row <= 6; ++row) {
        const QModelIndex cell = model.index(row, column);
        QCOMPARE(cell.isValid(), validRows.contains(row));
        QCOMPARE(model.flags(cell).testFlag(Qt::ItemIsSelectable), selectableRows.contains(row));
        QCOMPARE(model.flags(cell).testFlag(Qt::ItemIsEnabled), enabledRows.contains(row));
    }
    QVERIFY(!model.index(-1, column).isValid());
    QVERIFY(!model.index(0, model.columnCount()).isValid());
}

void TestSceneModel::cellRoles_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("original");
    QTest::addColumn<bool>("clone");
    QTest::addColumn<bool>("distantClone");
    QTest::addColumn<bool>("key");
    QTest::addColumn<bool>("afterLast");

    // Layer 0 is "AbC" with frame 3 marked as a key drawing, layer 1 shows
    // A's drawing at its frame 2.
    QTest::newRow("original") << 0 << true << false << false << false << false;
    QTest::newRow("hold") << 1 << false << true << false << false << false;
    QTest::newRow("key drawing") << 2 << true << false << false << true << false;
    QTest::newRow("empty row after the last") << 3 << false << false << false << false << true;
}

void TestSceneModel::cellRoles()
{
    QFETCH(int, row);
    QFETCH(bool, original);
    QFETCH(bool, clone);
    QFETCH(bool, distantClone);
    QFETCH(bool, key);
    QFETCH(bool, afterLast);

    Scene scene;
    build(scene, {QStringLiteral("AbC"), QStringLiteral("DE")});
    QVERIFY(scene.setKeyDrawing(0, 3, true));
    SceneModel model;
    model.setScene(&scene);

    const QModelIndex cell = model.index(row, 0);
    QVERIFY(cell.isValid());
    QCOMPARE(model.data(cell, SceneModel::OriginalDrawingRole).toBool(), original);
    QCOMPARE(model.data(cell, SceneModel::CloneRole).toBool(), clone);
    QCOMPARE(model.data(cell, SceneModel::DistantCloneRole).toBool(), distantClone);
    QCOMPARE(model.data(cell, SceneModel::KeyDrawingRole).toBool(), key);
    QCOMPARE(model.data(cell, SceneModel::FrameAfterLastRole).toBool(), afterLast);
    QCOMPARE(model.data(cell, Qt::ToolTipRole).toString(), scene.frameLabel(row + 1, 0));
    QVERIFY(!model.data(cell, Qt::DisplayRole).isValid());
    QVERIFY(!model.data(cell, SceneModel::AnnotationImageRole).isValid());
}

void TestSceneModel::annotationImagesAreSetThroughTheModel()
{
    Scene scene;
    build(scene, {QStringLiteral("ABC"), QStringLiteral("notes")});
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QImage note(16, 8, QImage::Format_Alpha8);
    note.fill(120);
    const QModelIndex cell = model.index(1, 1);
    QVERIFY(model.setData(cell, note, SceneModel::AnnotationImageRole));
    QCOMPARE(model.data(cell, SceneModel::AnnotationImageRole).value<QImage>(), note);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), cell);

    // Only notes take images, and only through their own role.
    QVERIFY(!model.setData(model.index(1, 0), note, SceneModel::AnnotationImageRole));
    QVERIFY(!model.setData(cell, note, Qt::EditRole));
    QCOMPARE(model.data(model.index(0, 0), Qt::ToolTipRole).toString(), scene.frameLabel(1, 0));
    QCOMPARE(model.data(cell, Qt::ToolTipRole).toString(), QString());
}

void TestSceneModel::changedDrawingsRefreshTheirCells()
{
    Scene scene;
    build(scene, {QStringLiteral("AbC"), QStringLiteral("DE")});
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(scene.setKeyDrawing(1, 2, true));

    QCOMPARE(changed.count(), 1);
    const QModelIndex cell = changed.at(0).at(0).value<QModelIndex>();
    QCOMPARE(cell, model.index(1, 1));
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), cell);
    QVERIFY(model.data(cell, SceneModel::KeyDrawingRole).toBool());
}

void TestSceneModel::layerHeaders_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    // Layers: strokes "AB" (linked), reference "CDE", notes, audio.
    QTest::newRow("name") << 0 << int(Qt::DisplayRole) << QVariant(QStringLiteral("Ink"));
    QTest::newRow("audio offset") << 3 << int(Qt::DisplayRole) << QVariant(0.0);
    QTest::newRow("stroke type") << 0 << int(SceneModel::LayerTypeRole) << QVariant(1);
    QTest::newRow("reference type") << 1 << int(SceneModel::LayerTypeRole) << QVariant(3);
    QTest::newRow("notes type") << 2 << int(SceneModel::LayerTypeRole) << QVariant(5);
    QTest::newRow("audio type") << 3 << int(SceneModel::LayerTypeRole) << QVariant(4);
    QTest::newRow("no such layer") << 7 << int(SceneModel::LayerTypeRole) << QVariant(0);
    QTest::newRow("linked") << 0 << int(SceneModel::LinkedRole) << QVariant(true);
    QTest::newRow("not linked") << 1 << int(SceneModel::LinkedRole) << QVariant(false);
    QTest::newRow("visible") << 1 << int(SceneModel::VisibleRole) << QVariant(true);
    QTest::newRow("notes are not visible") << 2 << int(SceneModel::VisibleRole) << QVariant(false);
    QTest::newRow("silent audio") << 3 << int(SceneModel::AudibleRole) << QVariant(false);
    QTest::newRow("stroke colour") << 0 << int(SceneModel::ColorRole) << QVariant(QColor(Qt::darkBlue));
    QTest::newRow("reference colour") << 1 << int(SceneModel::ColorRole) << QVariant(QColor(Qt::black));
    QTest::newRow("notes colour") << 2 << int(SceneModel::ColorRole) << QVariant();
    QTest::newRow("opacity") << 0 << int(SceneModel::OpacityRole) << QVariant(1.0);
    QTest::newRow("notes opacity") << 2 << int(SceneModel::OpacityRole) << QVariant(0.0);
    QTest::newRow("draw layer") << 0 << int(SceneModel::DrawLayerRole) << QVariant(true);
    QTest::newRow("reference is no draw layer") << 1 << int(SceneModel::DrawLayerRole) << QVariant(false);
    QTest::newRow("reference is visual") << 1 << int(SceneModel::VisualLayerRole) << QVariant(true);
    QTest::newRow("audio is not visual") << 3 << int(SceneModel::VisualLayerRole) << QVariant(false);
    QTest::newRow("beyond last") << 0 << int(SceneModel::BeyondLastRole) << QVariant(1);
    QTest::newRow("beyond last of notes") << 2 << int(SceneModel::BeyondLastRole) << QVariant(0);
    QTest::newRow("frames of strokes") << 0 << int(SceneModel::FrameCountRole) << QVariant(3);
    QTest::newRow("frames of notes") << 2 << int(SceneModel::FrameCountRole) << QVariant(4);
}

void TestSceneModel::layerHeaders()
{
    QFETCH(int, section);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("ref:CDE"), QStringLiteral("notes"),
                  QStringLiteral("audio")});
    QVERIFY(scene.setLayerName(0, QStringLiteral("Ink")));
    QVERIFY(scene.setLayerLinked(0, true));
    SceneModel model;
    model.setScene(&scene);

    QCOMPARE(model.headerData(section, Qt::Horizontal, role), expected);
}

void TestSceneModel::headerEditsReachTheScene_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("rename") << int(Qt::DisplayRole) << QVariant(QStringLiteral("Rough")) << true
                            << QVariant(QStringLiteral("Rough"));
    QTest::newRow("edit role does not rename") << int(Qt::EditRole) << QVariant(QStringLiteral("Rough")) << false
                                               << QVariant();
    QTest::newRow("type is fixed") << int(SceneModel::LayerTypeRole) << QVariant(3) << false << QVariant(1);
    QTest::newRow("link") << int(SceneModel::LinkedRole) << QVariant(true) << true << QVariant(true);
    QTest::newRow("hide") << int(SceneModel::VisibleRole) << QVariant(false) << true << QVariant(false);
    QTest::newRow("colour") << int(SceneModel::ColorRole) << QVariant(QColor(Qt::red)) << true
                            << QVariant(QColor(Qt::red));
    QTest::newRow("opacity") << int(SceneModel::OpacityRole) << QVariant(0.25) << true << QVariant(0.25);
}

void TestSceneModel::headerEditsReachTheScene()
{
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QVariant, expected);

    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("CD")});
    QVERIFY(scene.setLayerName(1, QStringLiteral("Ink")));
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);

    QCOMPARE(model.setHeaderData(1, Qt::Horizontal, value, role), accepted);

    if (expected.isValid())
        QCOMPARE(model.headerData(1, Qt::Horizontal, role), expected);
    if (role == Qt::EditRole)
        QCOMPARE(scene.layerName(1), QStringLiteral("Ink"));
    if (accepted) {
        QVERIFY(changed.count() >= 1);
        QCOMPARE(changed.last().at(0).value<Qt::Orientation>(), Qt::Horizontal);
        QCOMPARE(changed.last().at(1).toInt(), 1);
        QCOMPARE(changed.last().at(2).toInt(), 1);
    }
}

void TestSceneModel::scrubbingRefreshesOnlyItsFrames_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("firstSection");
    QTest::addColumn<int>("lastSection");

    QTest::newRow("unset to 5") << -1 << 5 << 4 << 4;
    QTest::newRow("3 to 6") << 3 << 6 << 2 << 5;
    QTest::newRow("6 to 2") << 6 << 2 << 1 << 5;
}

void TestSceneModel::scrubbingRefreshesOnlyItsFrames()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, firstSection);
    QFETCH(int, lastSection);

    Scene scene;
    build(scene, {QStringLiteral("ABCDEFGH")});
    if (from > 0)
        QVERIFY(scene.setScrubFrame(from));
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);

    QVERIFY(scene.setScrubFrame(to));

    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<Qt::Orientation>(), Qt::Vertical);
    QCOMPARE(changed.at(0).at(1).toInt(), firstSection);
    QCOMPARE(changed.at(0).at(2).toInt(), lastSection);
    QVERIFY(model.headerData(to - 1, Qt::Vertical, SceneModel::ScrubFrameRole).toBool());
    if (from > 0)
        QVERIFY(!model.headerData(from - 1, Qt::Vertical, SceneModel::ScrubFrameRole).toBool());
    QVERIFY(!model.headerData(to - 1, Qt::Horizontal, SceneModel::ScrubFrameRole).isValid());
}

void TestSceneModel::sizeHintsFollowTheFrame_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<QSize>("cell");
    QTest::addColumn<QSize>("notes");

    QTest::newRow("full HD") << QSize(1920, 1080) << 100 << QSize(56, 31) << QSize(188, 31);
    QTest::newRow("very wide") << QSize(4000, 1000) << 100 << QSize(112, 28) << QSize(170, 28);
    QTest::newRow("widest is six heights") << QSize(10000, 1000) << 100 << QSize(168, 28) << QSize(170, 28);
    QTest::newRow("very tall") << QSize(100, 1000) << 100 << QSize(56, 83) << QSize(500, 83);
    QTest::newRow("full HD at 150 %") << QSize(1920, 1080) << 150 << QSize(84, 47) << QSize(284, 47);
}

void TestSceneModel::sizeHintsFollowTheFrame()
{
    QFETCH(QSize, frameSize);
    QFETCH(int, scalePercent);
    QFETCH(QSize, cell);
    QFETCH(QSize, notes);

    Settings::instance()->setUIScalePercent(scalePercent);
    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("notes")});
    QVERIFY(scene.setFrameSize(QSize(333, 333), KL::FitMode::FitModeStretch));
    scene.setThumbnailSize(KL::ThumbnailSize::ThumbnailMedium);
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(scene.setFrameSize(frameSize, KL::FitMode::FitModeStretch));

    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize(), cell);
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::SizeHintRole).toSize(), notes);
    QCOMPARE(headers.count(), 1);
    QCOMPARE(headers.at(0).at(2).toInt(), 1);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(changed.last().at(2).value<QList<int>>(), QList<int>{Qt::SizeHintRole});
}

void TestSceneModel::thumbnailSizeChangesTheHints()
{
    Scene scene;
    build(scene, {QStringLiteral("AB")});
    QVERIFY(scene.setFrameSize(QSize(1920, 1080), KL::FitMode::FitModeStretch));
    scene.setThumbnailSize(KL::ThumbnailSize::ThumbnailMedium);
    SceneModel model;
    model.setScene(&scene);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize(), QSize(56, 31));
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);

    QVERIFY(scene.setThumbnailSize(KL::ThumbnailSize::ThumbnailLarge));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize(), QSize(76, 42));
    QCOMPARE(headers.count(), 1);

    // A new interface scale alone waits for the next frame or thumbnail size.
    Settings::instance()->setUIScalePercent(200);
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize(), QSize(76, 42));
    QVERIFY(scene.setThumbnailSize(KL::ThumbnailSize::ThumbnailTiny));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::SizeHintRole).toSize(), QSize(72, 40));
}

void TestSceneModel::columnsFollowTheLayers()
{
    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("CD")});
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy aboutToInsert(&model, &QAbstractItemModel::columnsAboutToBeInserted);
    QSignalSpy inserted(&model, &QAbstractItemModel::columnsInserted);
    QSignalSpy aboutToRemove(&model, &QAbstractItemModel::columnsAboutToBeRemoved);
    QSignalSpy removed(&model, &QAbstractItemModel::columnsRemoved);
    int columnsWhenAnnounced = -1;
    connect(&model, &QAbstractItemModel::columnsAboutToBeInserted, this,
            [&] { columnsWhenAnnounced = model.columnCount(); });

    auto layer = std::make_shared<StrokeLayer>(Qt::red, FrameSize, &scene);
    CellPattern::setCells(*layer, QStringLiteral("EFG"));
    QCOMPARE(scene.insertLayer(layer, 1), 1);

    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(columnsWhenAnnounced, 2);
    QCOMPARE(aboutToInsert.count(), 1);
    QCOMPARE(aboutToInsert.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(drawingName(model, model.index(2, 1)), QStringLiteral("G"));

    // A layer asked for past the end lands at the end.
    QCOMPARE(scene.insertLayer(std::make_shared<AnnotationLayer>(&scene), 10), 3);
    QCOMPARE(aboutToInsert.count(), 2);
    QCOMPARE(aboutToInsert.at(1).at(1).toInt(), 3);
    QCOMPARE(model.columnCount(), 4);

    QVERIFY(scene.removeLayerAt(0));
    QCOMPARE(aboutToRemove.count(), 1);
    QCOMPARE(aboutToRemove.at(0).at(1).toInt(), 0);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(drawingName(model, model.index(0, 0)), QStringLiteral("E"));
}

void TestSceneModel::rowsFollowTheLongestLayer()
{
    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("CD")});
    SceneModel model;
    model.setScene(&scene);
    QCOMPARE(model.rowCount(), 2);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);

    QVERIFY(!model.addBlankDrawing(model.index(1, 1)).isEmpty());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(layout.count(), 1);
    QVERIFY(model.index(3, 1).isValid());

    QVERIFY(!model.removeDrawing(model.index(2, 1)).isEmpty());
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(layout.count(), 2);
    QVERIFY(!model.index(3, 1).isValid());
}

void TestSceneModel::editsAreUndoneByTheirRecords_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("after");

    const QStringList two{QStringLiteral("ABC"), QStringLiteral("DEe")};
    QTest::newRow("add blank") << two << false << 0 << QStringLiteral("addBlank")
                               << QStringList{QStringLiteral("A_BC"), QStringLiteral("DEe")};
    QTest::newRow("insert blank on linked layers")
        << two << true << 1 << QStringLiteral("insertBlank")
        << QStringList{QStringLiteral("A_BC"), QStringLiteral("DdEe")};
    QTest::newRow("add a hold") << two << false << 2 << QStringLiteral("addClone")
                                << QStringList{QStringLiteral("ABCc"), QStringLiteral("DEe")};
    QTest::newRow("add holds on linked layers")
        << two << true << 0 << QStringLiteral("addClones")
        << QStringList{QStringLiteral("AaaBC"), QStringLiteral("DddEe")};
    QTest::newRow("remove") << two << false << 1 << QStringLiteral("remove")
                            << QStringList{QStringLiteral("AC"), QStringLiteral("DEe")};
}

void TestSceneModel::editsAreUndoneByTheirRecords()
{
    QFETCH(QStringList, layers);
    QFETCH(bool, linked);
    QFETCH(int, row);
    QFETCH(QString, edit);
    QFETCH(QStringList, after);

    Scene scene;
    build(scene, layers);
    for (int layer = 0; linked && layer < scene.layerCount(); ++layer)
        QVERIFY(scene.setLayerLinked(layer, true));
    SceneModel model;
    model.setScene(&scene);

    const QModelIndex cell = model.index(row, 0);
    QList<SceneChange> changes;
    if (edit == u"addBlank")
        changes = model.addBlankDrawing(cell);
    else if (edit == u"insertBlank")
        changes = model.insertBlankDrawing(cell);
    else if (edit == u"addClone")
        changes = model.addCloneDrawing(cell);
    else if (edit == u"addClones")
        changes = model.addCloneDrawings(cell, 2);
    else if (edit == u"remove")
        changes = model.removeDrawing(cell);
    QVERIFY(!changes.isEmpty());
    for (int layer = 0; layer < layers.size(); ++layer)
        QCOMPARE(cells(scene, layer), after.at(layer));

    model.applyChanges(changes);
    for (int layer = 0; layer < layers.size(); ++layer)
        QCOMPARE(cells(scene, layer), layers.at(layer));
}

void TestSceneModel::removeDrawingsRemovesFromTheCellDown()
{
    Scene scene;
    build(scene, {QStringLiteral("ABCDE")});
    SceneModel model;
    model.setScene(&scene);

    const QList<SceneChange> changes = model.removeDrawings(model.index(1, 0), 3);
    QCOMPARE(cells(scene, 0), QStringLiteral("AE"));

    model.applyChanges(changes);
    QCOMPARE(cells(scene, 0), QStringLiteral("ABCDE"));
}

void TestSceneModel::replacedContentIsPutBack_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("own drawing") << QStringLiteral("setDrawing") << 1 << QStringLiteral("AbC")
                                 << QStringLiteral("A_C");
    QTest::newRow("distant clone") << QStringLiteral("makeClone") << 2 << QStringLiteral("ABC")
                                   << QStringLiteral("AB?");
    QTest::newRow("hold") << QStringLiteral("makeHold") << 2 << QStringLiteral("ABC") << QStringLiteral("ABb");
    QTest::newRow("copy of its own") << QStringLiteral("makeOriginal") << 1 << QStringLiteral("AbC")
                                     << QStringLiteral("AAC");
}

void TestSceneModel::replacedContentIsPutBack()
{
    QFETCH(QString, edit);
    QFETCH(int, row);
    QFETCH(QString, before);
    QFETCH(QString, after);

    Scene scene;
    build(scene, {before});
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    const QModelIndex cell = model.index(row, 0);
    QList<SceneChange> changes;
    if (edit == u"setDrawing") {
        const auto blank = std::dynamic_pointer_cast<VisualLayer>(scene.layerAt(0))->newCell();
        changes = model.setDrawing(cell, blank->drawing(), false, false);
    } else if (edit == u"makeClone") {
        changes = model.makeClone(cell, model.drawingKey(model.index(0, 0)), false);
    } else if (edit == u"makeHold") {
        changes = model.makeHold(cell, false);
    } else {
        changes = model.makeOriginal(cell, QUuid());
    }
    QCOMPARE(kinds(cells(scene, 0)), kinds(after));
    QVERIFY(changed.count() >= 1);

    model.applyChanges(changes);
    QCOMPARE(kinds(cells(scene, 0)), kinds(before));
}

void TestSceneModel::strokesGoToTheCellsDrawing()
{
    Scene scene;
    build(scene, {QStringLiteral("Ab"), QStringLiteral("C")});
    SceneModel model;
    model.setScene(&scene);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QImage coverage(8, 8, QImage::Format_Alpha8);
    coverage.fill(255);
    QVERIFY(model.addStroke(model.index(1, 0), std::make_unique<BitmapStroke>(coverage, QRect(4, 4, 8, 8))));
    // The hold shows its original's drawing: both cells are refreshed.
    QList<QModelIndex> refreshed;
    for (const QList<QVariant> &arguments : std::as_const(changed))
        refreshed << arguments.at(0).value<QModelIndex>();
    QVERIFY(refreshed.contains(model.index(0, 0)));
    QVERIFY(refreshed.contains(model.index(1, 0)));

    QVERIFY(model.removeStroke(model.index(0, 0)));
    QVERIFY(!model.removeStroke(model.index(0, 0)));
}

void TestSceneModel::drawingKeysFindTheirCells()
{
    Scene scene;
    build(scene, {QStringLiteral("AbC"), QStringLiteral("notes")});
    SceneModel model;
    model.setScene(&scene);

    const Scene::DrawingKey hold = model.drawingKey(model.index(1, 0));
    QCOMPARE(hold.first, scene.layerAt(0)->identifier());
    QCOMPARE(hold.second, scene.itemAt(0, 2)->identifier());
    QCOMPARE(model.indexOfDrawing(hold), model.index(1, 0));
    QCOMPARE(model.originalDrawingKey(model.index(1, 0)), model.drawingKey(model.index(0, 0)));
    QCOMPARE(model.drawingKey(model.index(1, 1)), Scene::DrawingKey());
    QCOMPARE(model.drawingKey(model.index(3, 0)), Scene::DrawingKey());
    QVERIFY(!model.indexOfDrawing({QUuid::createUuid(), QUuid::createUuid()}).isValid());
    QCOMPARE(model.findDrawingKey(QUuid::createUuid()), Scene::DrawingKey());

    const QUuid copyId = QUuid::createUuid();
    scene.itemAt(0, 3)->drawing()->setCopyId(copyId);
    QCOMPARE(model.findDrawingKey(copyId), model.drawingKey(model.index(2, 0)));
}

void TestSceneModel::copyPutsTheSelectedCellsOnTheClipboard()
{
    Scene scene;
    build(scene, {QStringLiteral("ABCD")});
    SceneModel model;
    model.setScene(&scene);
    QGuiApplication::clipboard()->clear();

    QVERIFY(!model.copyToClipboard(QModelIndexList()));
    QVERIFY(model.copyToClipboard({model.index(2, 0), model.index(1, 0)}));

    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);
    if (!mime->hasFormat(QString(Scene::CellsMimeType)))
        QSKIP("The platform's clipboard keeps no data of its own types");
    // Two cells from frame 2 on, as the paste would insert them.
    scene.setActiveFrameAndLayer(1, 0, Scene::ClampToDrawings);
    QCOMPARE(scene.canPaste(mime), 2);
}

void TestSceneModel::staysConsistentUnderEdits()
{
    Scene scene;
    build(scene, {QStringLiteral("AbC"), QStringLiteral("DEfg")});
    SceneModel model;
    SheetModelTester tester(&model);
    model.setScene(&scene);

    scene.insertLayer(std::make_shared<AnnotationLayer>(&scene), 1);
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 9);
    QVERIFY(!model.addBlankDrawing(model.index(2, 0)).isEmpty());
    QVERIFY(!model.addCloneDrawings(model.index(3, 0), 3).isEmpty());
    QVERIFY(scene.setKeyDrawing(0, 2, true));
    QVERIFY(scene.setLayerName(2, QStringLiteral("Ink")));
    QVERIFY(scene.setScrubFrame(4));
    QVERIFY(scene.unsetScrubFrame());
    QVERIFY(scene.setFrameSize(QSize(400, 100), KL::FitMode::FitModeStretch));
    QVERIFY(scene.setThumbnailSize(KL::ThumbnailSize::ThumbnailSmall));
    QVERIFY(scene.moveLayer(0, scene.layerPositions().at(0), 2));
    QVERIFY(!model.removeDrawings(model.index(2, 0), 5).isEmpty());
    QVERIFY(scene.removeLayerAt(1));
    QVERIFY(scene.removeLayerAt(0));
    QVERIFY(scene.removeLayerAt(0));
    QVERIFY(scene.removeLayerAt(0));
    QCOMPARE(model.columnCount(), 0);
    model.setScene(nullptr);

    const QStringList unexpected = tester.unexpectedFailures();
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(u'\n')));
}

QTEST_MAIN(TestSceneModel)

#include "tst_scenemodel.moc"
