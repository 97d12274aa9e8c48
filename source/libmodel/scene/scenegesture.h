#pragma once

#include <QPointer>
#include <QString>

namespace Model {

class KLScene;

// A view's gesture that may end in steps (a stroke, an outline, a drag), on
// the scene that was current when it began, which holds back the steps the
// gesture makes until it ends (see KLScene::undo()). It ends there once,
// whichever scene is current by then; ending one that is not under way does
// nothing, so a view may end it wherever its gesture can end.
//
// The steps a gesture makes are those pushed while an OwnSteps lives: the
// view opens one around its press, drag and release, which covers what the
// window makes of them. A step pushed outside one (by a key, a menu, a
// timer) is the user's own: it is never held, and it ends every gesture
// under way before it runs.
class SceneGesture
{
public:
    class OwnSteps
    {
    public:
        OwnSteps();
        ~OwnSteps();
        OwnSteps(const OwnSteps &) = delete;
        OwnSteps &operator=(const OwnSteps &) = delete;
    };
    static bool isMakingOwnSteps();

    // On the current scene, unless this gesture is under way already. text
    // names what an undo would take back meanwhile, as the history names
    // the step the gesture ends in ("Draw", "Add Clone Drawings").
    void begin(const QString &text);
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
    QString m_text;
};

} // namespace Model
