#include "backlightsetting.h"

#include <QLocale>

namespace Model {

QString BacklightSetting::opacityLevelsToString(const QList<double> &levels)
{
    const QLocale c = QLocale::c();
    QString text;
    for (double level : levels) {
        text += c.toString(level, 'f', 2);
        text += QLatin1Char(';');
    }
    return text;
}

QList<double> BacklightSetting::opacityLevelsFromString(const QString &text)
{
    const QLocale c = QLocale::c();
    QList<double> levels;
    const QStringList parts = text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const double level = c.toDouble(part, &ok);
        if (ok)
            levels.append(level);
    }
    return levels;
}

} // namespace Model

#include "moc_backlightsetting.cpp"
