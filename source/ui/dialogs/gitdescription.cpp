#include "dialogs/gitdescription.h"

#include <QRegularExpression>

namespace UI {

GitDescription GitDescription::parse(const QString &description)
{
    static const QRegularExpression longForm(QStringLiteral("^(.+)-[0-9]+-(g[0-9a-f]{4,64})$"));
    static const QRegularExpression hashOnly(QStringLiteral("^[0-9a-f]{4,64}$"));
    const QString text = description.trimmed();
    if (const QRegularExpressionMatch match = longForm.match(text); match.hasMatch())
        return {match.captured(1), match.captured(2)};
    if (hashOnly.match(text).hasMatch())
        return {QString(), QLatin1Char('g') + text};
    return {};
}

} // namespace UI
