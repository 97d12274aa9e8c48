#pragma once

#include "settings/exportsettings.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace Model {

class Scene;
class VisualLayer;

// One visual layer as an export writes it: the layer, its index in the
// scene, and the name that its files and folders carry, made safe for every
// file system and unique within the export (two layers called "Ink" become
// "Ink" and "Ink_2").
struct ExportLayer
{
    const VisualLayer *layer = nullptr;
    int index = -1;
    QString name;
};

// The frames an export covers, 1-based and inclusive.
struct ExportFrameSpan
{
    int first = 1;
    int last = 0;

    int count() const { return last - first + 1; }
    bool contains(int frame) const { return frame >= first && frame <= last; }
};

// The visual layers that take part, bottom layer first: every one, the
// visible ones, or only the active one (none when that is not visual).
QList<ExportLayer> exportLayers(const Scene &scene, ExportSettings::Layers which);
// 1 to the maximum frame number, or the scene's frame range.
ExportFrameSpan exportFrameSpan(const Scene &scene, ExportSettings::Frames which);
// The cells of all listed layers together.
int frameCountSum(const QList<ExportLayer> &layers);
// The layer of the list with that scene index; null when it is not listed.
const ExportLayer *findExportLayer(const QList<ExportLayer> &layers, int index);

// Whether the two layers paint a drawing they share into the same pixels:
// both of one kind and, for drawing layers, in one colour unless lines are
// painted black, and at one opacity where the pictures carry the layer's.
// Only then may one layer's picture of a drawing stand for the other's.
bool paintAlike(const VisualLayer &a, const VisualLayer &b, bool withOpacity, bool allBlack);

// Why an export writes nothing when none of its layers holds pictures: sound
// and notes alone make no frame, no movie and no package.
QString noPicturesToExport();

// Paints what layer shows at frame onto image (Format_ARGB32_Premultiplied)
// as the canvas shows it: at the layer's opacity, with its rule for frames
// past its last cell. allBlack draws the lines of drawing layers in black;
// pictures have no lines and stay as they are.
void paintLayerFrame(const VisualLayer &layer, int frame, QImage &image, bool allBlack);

// A new image of size over background, with the listed layers painted bottom
// to top as paintLayerFrame() paints them.
QImage compositeFrame(const QList<ExportLayer> &layers, int frame, const QSize &size, const QColor &background,
                      bool allBlack);

// The same composite at outputSize: painted at frameSize and scaled down
// smoothly when smaller, painted at outputSize through a scaled painter when
// larger in either direction, so that nothing of the scene is resized.
QImage compositeFrame(const QList<ExportLayer> &layers, int frame, const QSize &frameSize, const QSize &outputSize,
                      const QColor &background);

} // namespace Model
