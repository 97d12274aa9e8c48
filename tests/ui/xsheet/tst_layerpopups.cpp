#include "layerpropertycommands.h"
#include "xsheet/layerrenamewidget.h"
#include "xsheet/opacityslider.h"
#include "xsheet/opacityslidergraphicseffect.h"

#include "scene/klscene.h"
#include "scene/scenemodel.h"
#include "scene/scenetesthelpers.h"
#include "support/widgetevents.h"

#include <QGraphicsEffect>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>
#include <QVBoxLayout>

#include <memory>

namespace {

// A scene of two stroke layers, the second at 70 % opacity.
std::unique_ptr<Model::KLScene> twoLayers()
{
    auto handle = std::make_unique<Model::KLScene>();
    Model::Scene *scene = handle->scene();
    SceneTest::addStrokeLayer(*scene, QStringLiteral("XX"));
    SceneTest::addStrokeLayer(*scene, QStringLiteral("X"));
    scene->setLayerOpacity(1, 0.7);
    return handle;
}

// The slider wired to the scene as the main window wires it: live previews
// straight to the scene, one undo command at the release, and the scene's
// changes back to the slider.
void wire(UI::OpacitySlider &slider, Model::Scene *scene)
{
    QObject::connect(&slider, &UI::OpacitySlider::opacitySliderMoved, scene, &Model::Scene::setLayerOpacity);
    QObject::connect(&slider, &UI::OpacitySlider::opacityChanged, scene,
                     [scene](int layer, double previous, double opacity) {
                         scene->undoStack()->push(new Commands::ChangeLayerOpacity(scene, layer, previous, opacity));
                     });
    QObject::connect(scene, &Model::Scene::layerOpacityChanged, &slider, [&slider](int layer, double opacity) {
        if (layer == slider.layerIdx())
            slider.setOpacity(opacity);
    });
}

void openFor(UI::OpacitySlider &slider, const Model::Scene &scene, int layer)
{
    slider.setLayerIdx(layer);
    slider.setColor(scene.layerColor(layer));
    slider.setOpacity(scene.layerOpacity(layer));
}

// A drag down the middle of the slider through the heights ys.
void drag(QWidget *widget, const QList<int> &ys)
{
    QList<QPointF> points;
    for (int y : ys)
        points.append(QPointF(22, y));
    TestSupport::drag(widget, points);
}

} // namespace

// The layer rename editor and the opacity slider: what they report, what the
// commands they end in do, and the shadows around them.
class TestLayerPopups : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void sliderLevels_data();
    void sliderLevels();
    void oneCommandPerDrag();
    void draggedOutOfReachCommitsNothing();
    void echoWhileDraggingIsIgnored();
    void renameKeys_data();
    void renameKeys();
    void shadows();
};

void TestLayerPopups::initTestCase()
{
    TestSupport::startModel();
}

void TestLayerPopups::sliderLevels_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<double>("level");
    QTest::newRow("near the top") << 3 << 1.0;
    QTest::newRow("near the bottom") << 108 << 0.0;
    QTest::newRow("halfway") << 56 << 0.5;
    QTest::newRow("a quarter up") << 84 << 0.25;
    QTest::newRow("above the top, within reach") << -60 << 1.0;
    QTest::newRow("below the bottom, within reach") << 200 << 0.0;
}

// A press jumps to the pointer; a release without moving commits the level
// at the press; the layer's colour rises as high as the level.
void TestLayerPopups::sliderLevels()
{
    QFETCH(int, y);
    QFETCH(double, level);
    UI::OpacitySlider slider;
    slider.setLayerIdx(4);
    slider.setColor(Qt::red);
    slider.setOpacity(0.7);
    QSignalSpy moved(&slider, &UI::OpacitySlider::opacitySliderMoved);
    QSignalSpy changed(&slider, &UI::OpacitySlider::opacityChanged);

    TestSupport::sendMouse(&slider, QEvent::MouseButtonPress, QPointF(20, y));
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.first(), QVariantList({4, level}));
    // The slider's own pixels, without its shadow.
    slider.graphicsEffect()->setEnabled(false);
    QImage painted(slider.size(), QImage::Format_ARGB32);
    slider.render(&painted, QPoint(), QRegion(), QWidget::DrawChildren);
    const int top = int((1.0 - level) * 112);
    if (top < 112)
        QCOMPARE(painted.pixelColor(20, 111), QColor(Qt::red));
    if (top > 0)
        QVERIFY(painted.pixelColor(20, top - 1) != QColor(Qt::red));

    TestSupport::sendMouse(&slider, QEvent::MouseButtonRelease, QPointF(20, y));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first(), QVariantList({4, 0.7, level}));
    QCOMPARE(slider.opacity(), level);
}

// Every move previews the opacity on the scene, the release leaves one
// history entry; a second drag of the same layer adds to that entry, a drag
// of another layer makes one of its own, and undo gives each layer back its
// opacity.
void TestLayerPopups::oneCommandPerDrag()
{
    auto handle = twoLayers();
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    UI::OpacitySlider slider;
    wire(slider, scene);
    QSignalSpy live(scene, &Model::Scene::layerOpacityChanged);

    openFor(slider, *scene, 0);
    drag(&slider, {80, 60, 40, 28});
    // Four previews, then the command's own redo.
    QCOMPARE(live.count(), 5);
    QCOMPARE(stack->count(), 1);
    QCOMPARE(scene->layerOpacity(0), 0.75);
    drag(&slider, {56});
    QCOMPARE(stack->count(), 1);
    QCOMPARE(scene->layerOpacity(0), 0.5);

    openFor(slider, *scene, 1);
    drag(&slider, {100, 84});
    QCOMPARE(stack->count(), 2);
    QCOMPARE(scene->layerOpacity(1), 0.25);

    stack->undo();
    QCOMPARE(scene->layerOpacity(1), 0.7);
    QCOMPARE(scene->layerOpacity(0), 0.5);
    stack->undo();
    QCOMPARE(scene->layerOpacity(0), 1.0);
}

// Beyond the slider's own size from it, the preview goes back to the
// committed opacity, and letting go there commits nothing.
void TestLayerPopups::draggedOutOfReachCommitsNothing()
{
    auto handle = twoLayers();
    Model::Scene *scene = handle->scene();
    UI::OpacitySlider slider;
    wire(slider, scene);
    openFor(slider, *scene, 1);
    QSignalSpy moved(&slider, &UI::OpacitySlider::opacitySliderMoved);
    QSignalSpy changed(&slider, &UI::OpacitySlider::opacityChanged);

    drag(&slider, {56, -80, -200});
    QCOMPARE(changed.count(), 0);
    QCOMPARE(moved.count(), 4);
    QCOMPARE(moved.at(1).at(1).toDouble(), 1.0);
    QCOMPARE(moved.at(2).at(1).toDouble(), 0.7);
    QCOMPARE(moved.last().at(1).toDouble(), 0.7);
    QCOMPARE(scene->layerOpacity(1), 0.7);
    QCOMPARE(scene->undoStack()->count(), 0);
}

// The scene echoing a live preview back, even with another value, leaves the
// slider's drag alone.
void TestLayerPopups::echoWhileDraggingIsIgnored()
{
    UI::OpacitySlider slider;
    slider.setOpacity(0.7);
    connect(&slider, &UI::OpacitySlider::opacitySliderMoved, &slider, [&slider] { slider.setOpacity(0.3); });
    TestSupport::sendMouse(&slider, QEvent::MouseButtonPress, QPointF(20, 56));
    QCOMPARE(slider.opacity(), 0.7);
    QCOMPARE(slider.shownOpacity(), 0.5);
    slider.setOpacity(0.3);
    QCOMPARE(slider.opacity(), 0.3);
}

void TestLayerPopups::renameKeys_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("name");
    QTest::newRow("Return") << "return" << "Ink";
    QTest::newRow("Enter") << "enter" << "Ink";
    QTest::newRow("a click elsewhere") << "elsewhere" << "Ink";
    QTest::newRow("Escape") << "escape" << "1";
}

// The editor opened over layer 0 (named "1"), "Ink" typed in: Return, Enter
// and a click elsewhere rename it once in the history, Escape changes
// nothing; the editor closes each time.
void TestLayerPopups::renameKeys()
{
    QFETCH(QString, how);
    QFETCH(QString, name);
    auto handle = twoLayers();
    Model::Scene *scene = handle->scene();
    scene->setLayerName(0, QStringLiteral("1"));
    Model::SceneModel *model = handle->sceneModel();

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *elsewhere = new QLineEdit(&window);
    layout->addWidget(elsewhere);
    auto *editor = new UI::LayerRenameWidget(&window);
    layout->addWidget(editor);
    connect(editor, &UI::LayerRenameWidget::renamed, scene, [scene, model](const QString &typed) {
        scene->undoStack()->push(new Commands::RenameLayer(model, 0, typed));
    });
    QSignalSpy renamed(editor, &UI::LayerRenameWidget::renamed);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    editor->setText(model->headerData(0, Qt::Horizontal).toString());
    editor->setFocus();
    QTRY_VERIFY(editor->hasFocus());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Ink"));

    QKeyEvent override(QEvent::ShortcutOverride, how == u"escape" ? Qt::Key_Escape : Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(editor, &override);
    QVERIFY(override.isAccepted());
    if (how == u"return")
        QTest::keyClick(editor, Qt::Key_Return);
    else if (how == u"enter")
        QTest::keyClick(editor, Qt::Key_Enter);
    else if (how == u"escape")
        QTest::keyClick(editor, Qt::Key_Escape);
    else
        elsewhere->setFocus();

    QTRY_VERIFY(!editor->isVisible());
    QCOMPARE(scene->layerName(0), name);
    QCOMPARE(scene->undoStack()->count(), how == u"escape" ? 0 : 1);
    QCOMPARE(renamed.isEmpty(), how == u"escape");
    for (const QList<QVariant> &emitted : std::as_const(renamed))
        QCOMPARE(emitted.first().toString(), QStringLiteral("Ink"));
}

// Each pop-up's shadow spans its art, centred on the widget, and darkens
// its parent just outside the widget.
void TestLayerPopups::shadows()
{
    UI::LayerRenameWidget editor;
    QCOMPARE(editor.graphicsEffect()->boundingRectFor(QRectF(0, 0, 76, 25)), QRectF(-7, -6.5, 90, 38));
    UI::OpacitySlider slider;
    QVERIFY(qobject_cast<UI::OpacitySliderGraphicsEffect *>(slider.graphicsEffect()));
    QCOMPARE(slider.graphicsEffect()->boundingRectFor(QRectF(slider.rect())), QRectF(-12, -12, 68, 136));

    QWidget parent;
    parent.resize(200, 200);
    parent.setAutoFillBackground(true);
    QPalette white = parent.palette();
    white.setColor(QPalette::Window, Qt::white);
    parent.setPalette(white);
    auto *child = new UI::OpacitySlider(&parent);
    child->move(50, 40);
    child->setColor(Qt::red);
    child->setOpacity(0.5);
    const QImage painted = parent.grab().toImage();
    // The slider's own pixels lie on top of its shadow.
    QCOMPARE(painted.pixelColor(50 + 20, 40 + 100), QColor(Qt::red));
    QCOMPARE(painted.pixelColor(20, 20), QColor(Qt::white));
    QVERIFY(qGray(painted.pixel(50 + 44 + 4, 40 + 56)) < 250);
    QVERIFY(qGray(painted.pixel(50 + 22, 40 + 112 + 4)) < 250);
}

QTEST_MAIN(TestLayerPopups)
#include "tst_layerpopups.moc"
