#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace Model {

// One look of the backlight (onion skin): the opacity of each neighbouring
// frame before and after the current one, tinting, what happens at the ends
// of the frame range and which layers take part.
//
// A plain value: copies share the opacity lists until one side writes, a
// move takes the lists over and leaves the source's lists empty. Levels are
// not range-checked anywhere; the scene decides how to apply them.
class BacklightSetting
{
    Q_GADGET

public:
    enum HueShift { UseHueShift, NoHueShift };
    Q_ENUM(HueShift)

    enum ShowOption { StopAtEnds, WrapAtEnds, ShowOutsideRange };
    Q_ENUM(ShowOption)

    enum Layers { BacklightVisibleLayers, BacklightActiveLayerOnly };
    Q_ENUM(Layers)

    // The text form kept in the preferences: every level with two decimals
    // and a "." whatever the user's locale, each followed by ";". Reading
    // skips empty and unparsable parts rather than failing the whole list,
    // so a hand-edited store loses only the damaged levels.
    static QString opacityLevelsToString(const QList<double> &levels);
    static QList<double> opacityLevelsFromString(const QString &text);

    QList<double> opacityLevelsBefore;
    QList<double> opacityLevelsAfter;
    HueShift hueShift = UseHueShift;
    ShowOption showOption = StopAtEnds;
    Layers layers = BacklightVisibleLayers;
};

} // namespace Model
