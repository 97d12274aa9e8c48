// The backlight's text in the preferences: a hand-edited or damaged store
// hands the opacity levels to BacklightSetting::opacityLevelsFromString,
// and the scene then shows that many neighbouring frames at those levels.

#include "fuzztarget.h"

#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "settings/backlightsettings.h"
#include "strokes/bitmapstroke.h"
#include "drawings/strokedrawing.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <memory>

void Fuzz::testOneInput(const QByteArray &input)
{
    // The store keeps text; its bytes may be anything.
    const QString text = QString::fromUtf8(input);
    const QList<double> levels = Model::BacklightSetting::opacityLevelsFromString(text);
    // Written back, the levels read again as the same list, to two decimals.
    const QList<double> again =
        Model::BacklightSetting::opacityLevelsFromString(Model::BacklightSetting::opacityLevelsToString(levels));
    expect(again.size() == levels.size(), "written levels read back");

    const QSize frameSize(32, 18);
    Model::Scene scene;
    scene.setFrameSize(frameSize, KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::darkGreen, frameSize, &scene);
    QImage dot(3, 3, QImage::Format_Alpha8);
    dot.fill(255);
    for (int frame = 0; frame < 6; ++frame) {
        layer->insertCell(frame, layer->newCell());
        std::static_pointer_cast<Model::StrokeDrawing>(layer->cell(frame + 1)->drawing())
            ->addStroke(std::make_unique<Model::BitmapStroke>(dot, QRect(frame * 5, 7, 3, 3)));
    }
    scene.insertLayer(layer, 0);
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
    scene.setActiveFrameAndLayer(3, 0, Model::Scene::ClampToDrawings);

    Model::BacklightSettings settings;
    settings.on = true;
    settings.settingA.opacityLevelsBefore = levels;
    settings.settingA.opacityLevelsAfter = again;
    settings.settingA.showOption = Model::BacklightSetting::WrapAtEnds;
    scene.setBacklightSettings(settings);
    QImage paper(frameSize, QImage::Format_ARGB32_Premultiplied);
    paper.fill(Qt::white);
    QPainter painter(&paper);
    scene.paintBacklight(&painter, paper.rect());
}

QList<QByteArray> Fuzz::seeds()
{
    return {Model::BacklightSetting::opacityLevelsToString({0.3, 0.2, 0.15, 0.0}).toUtf8(),
            Model::BacklightSetting::opacityLevelsToString({0.3, 0.0, 0.0, 0.0}).toUtf8(),
            Model::BacklightSetting::opacityLevelsToString({}).toUtf8(),
            Model::BacklightSetting::opacityLevelsToString({1.0, 0.05}).toUtf8()};
}
