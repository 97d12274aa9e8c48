#pragma once

#include "layers/layer.h"

namespace Model {

// The scene's sound (type 4). It has no cells: its place on the exposure
// sheet is an offset in frames, and frames count as its own while the sound
// plays in them. A layer without a loaded sound has no frames.
class AudioLayer : public Layer
{
    Q_OBJECT

public:
    explicit AudioLayer(QObject *parent = nullptr);
    ~AudioLayer() override;

    int type() const override;
    // Null: audio layers are not copied.
    Layer *clone() const override;
    bool hasFrame(int frame) const override;
};

} // namespace Model
