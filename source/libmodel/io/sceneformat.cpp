#include "io/sceneformat.h"

#include "export/exportprogress.h"

#include <QMetaObject>
#include <QObject>
#include <QSize>
#include <QVariant>

#include <cmath>

namespace Model::SceneFormat {

namespace {

// Below this a matrix entry counts as zero when the angle is taken.
constexpr double Tiny = 1e-12;
constexpr double DegreesPerRadian = 57.29577951308232;
constexpr int ProgressHiddenMs = 2000;

bool isBase64Character(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+'
        || u == u'/' || u == u'=';
}

} // namespace

QString integerText(qint64 value)
{
    return QString::number(value);
}

QString shortDecimal(double value)
{
    return QVariant(value).toString();
}

QString sixDigits(double value)
{
    return QString::number(value, 'g', 6);
}

QString flagText(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString identifierText(const QUuid &identifier)
{
    return identifier.toString();
}

QString colorText(const QColor &color)
{
    return color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
}

std::optional<int> readInteger(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<double> readNumber(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    // "inf" and "nan" parse, but no value of the file may be either.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool readFlag(QStringView text)
{
    return text != u"no";
}

QUuid readIdentifier(QStringView text)
{
    return QUuid::fromString(text);
}

QColor readColor(QStringView text)
{
    return QColor::fromString(text);
}

QByteArray readBase64(QStringView text, bool *clean)
{
    QByteArray latin1;
    latin1.reserve(text.size());
    bool onlyAlphabet = true;
    for (const QChar c : text) {
        if (isBase64Character(c))
            latin1.append(char(c.unicode()));
        else if (!c.isSpace())
            onlyAlphabet = false;
    }
    if (clean)
        *clean = onlyAlphabet;
    return QByteArray::fromBase64(latin1);
}

void preparePayloadStream(QDataStream &stream, Payload payload)
{
    stream.setVersion(PayloadStreamVersion);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(payload == Payload::Strokes ? QDataStream::SinglePrecision
                                                                 : QDataStream::DoublePrecision);
}

std::optional<OffPegs> decomposeOffPegs(const QTransform &transform)
{
    if (transform.isIdentity())
        return std::nullopt;
    const double m11 = transform.m11();
    const double m12 = transform.m12();
    const double m21 = transform.m21();
    const double m22 = transform.m22();
    double angle = 0.0;
    if (std::abs(m11) > Tiny || std::abs(m12) > Tiny) {
        angle = std::acos(m11 / std::sqrt(m11 * m11 + m12 * m12));
        if (!(m12 > 0.0))
            angle = -angle;
    } else if (std::abs(m21) > Tiny || std::abs(m22) > Tiny) {
        const double v = m22 > 0.0 ? -m21 : m21;
        angle = M_PI / 2.0 - std::acos(v / std::sqrt(m21 * m21 + m22 * m22));
    }
    return OffPegs{transform.dx(), transform.dy(), angle * DegreesPerRadian};
}

QTransform composeOffPegs(std::optional<double> x, std::optional<double> y, std::optional<double> degrees)
{
    QTransform transform;
    if (x)
        transform.translate(*x, 0.0);
    if (y)
        transform.translate(0.0, *y);
    if (degrees)
        transform.rotate(*degrees);
    return transform;
}

void prepareProgress(QObject *progress, const QString &label, const QString &cancelText)
{
    if (!progress)
        return;
    progress->setProperty("windowModality", QVariant::fromValue(Qt::WindowModal));
    progress->setProperty("labelText", label);
    if (progress->metaObject()->indexOfMethod("setCancelButtonText(QString)") >= 0)
        QMetaObject::invokeMethod(progress, "setCancelButtonText", Q_ARG(QString, cancelText));
    progress->setProperty("minimumDuration", ProgressHiddenMs);
    // A dialog that keeps its size does not jump about while its label and
    // button stay the same.
    const QVariant hint = progress->property("sizeHint");
    if (hint.isValid()) {
        progress->setProperty("minimumSize", hint);
        progress->setProperty("maximumSize", hint);
    }
    ExportProgress(progress).reset();
}

} // namespace Model::SceneFormat
