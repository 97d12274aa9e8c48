#pragma once

#include "layers/visuallayer.h"

#include <memory>

class QPainterPath;

namespace Model {

class FloatingSelection;
class SingleStroke;

// A visual layer that the animator draws on.
class DrawLayer : public VisualLayer
{
    Q_OBJECT

public:
    DrawLayer(const QSize &frameSize, QObject *parent = nullptr);
    DrawLayer(const DrawLayer &other);
    ~DrawLayer() override;

    // Paints a frame as it will look once the stroke being drawn is added.
    virtual void paintWithActiveStroke(int frame, QPainter *painter, const QRect &target,
                                       const SingleStroke *stroke) const = 0;
    // Lifts what a frame shows inside path; null when there is nothing.
    virtual std::unique_ptr<FloatingSelection> floatingSelectionContent(int frame,
                                                                        const QPainterPath &path) const = 0;
};

} // namespace Model
