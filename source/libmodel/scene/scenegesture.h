#pragma once

#include <QPointer>

namespace Model {

class KLScene;

// A view's gesture that may end in steps (a stroke, an outline, a drag), on
// the scene that was current when it began, which holds back what is pushed
// until it ends (see KLScene::undo()). It ends there once, whichever scene
// is current by then; ending one that is not under way does nothing, so a
// view may end it wherever its gesture can end.
class SceneGesture
{
public:
    // On the current scene, unless this gesture is under way already.
    void begin();
    // As the gesture's release ends it: what it made stays.
    void end();
    // With nothing of its own: an undo that ends it offers nothing it held
    // to redo. Outside an undo the same as end(): what was done meanwhile
    // stays.
    void drop();
    bool isUnderWay() const { return !m_scene.isNull(); }

private:
    void finish(bool kept);

    QPointer<KLScene> m_scene;
};

} // namespace Model
