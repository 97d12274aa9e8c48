#pragma once

// What an importer that follows the Open Cel Animation rules finds wrong
// with a package: the tests of the exporter and of the window's export
// command read packages back through it.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>

#include <tinyexr.h>

namespace OcaRules {

// The rules of the Open Cel Animation format for what a JSON value holds.
enum class Kind { String, Number, Integer, Bool, Array, Point, Colour };

struct Field
{
    const char *key;
    Kind kind;
};

inline QString kindFault(const QJsonValue &value, Kind kind)
{
    const auto isInteger = [](const QJsonValue &v) { return v.isDouble() && v.toDouble() == std::floor(v.toDouble()); };
    switch (kind) {
    case Kind::String:
        return value.isString() ? QString() : QStringLiteral("not a string");
    case Kind::Number:
        return value.isDouble() ? QString() : QStringLiteral("not a number");
    case Kind::Integer:
        return isInteger(value) ? QString() : QStringLiteral("not an integer");
    case Kind::Bool:
        return value.isBool() ? QString() : QStringLiteral("not a boolean");
    case Kind::Array:
        return value.isArray() ? QString() : QStringLiteral("not an array");
    case Kind::Point: {
        const QJsonArray point = value.toArray();
        return point.size() == 2 && isInteger(point.at(0)) && isInteger(point.at(1))
            ? QString()
            : QStringLiteral("not two integers");
    }
    case Kind::Colour: {
        const QJsonArray colour = value.toArray();
        const bool inRange = std::all_of(colour.begin(), colour.end(), [](const QJsonValue &v) {
            return v.isDouble() && v.toDouble() >= 0.0 && v.toDouble() <= 1.0;
        });
        return colour.size() == 4 && inRange ? QString() : QStringLiteral("not four numbers from 0 to 1");
    }
    }
    return {};
}

// The object holds exactly these keys, each with a value of its kind.
inline QString objectFault(const QJsonObject &object, std::initializer_list<Field> fields, const QString &where)
{
    QStringList expected;
    for (const Field &field : fields) {
        expected.append(QLatin1String(field.key));
        if (!object.contains(QLatin1String(field.key)))
            return QStringLiteral("%1 lacks \"%2\"").arg(where, QLatin1String(field.key));
        const QString fault = kindFault(object.value(QLatin1String(field.key)), field.kind);
        if (!fault.isEmpty())
            return QStringLiteral("%1: \"%2\" is %3").arg(where, QLatin1String(field.key), fault);
    }
    for (const QString &key : object.keys()) {
        if (!expected.contains(key))
            return QStringLiteral("%1 has the unknown key \"%2\"").arg(where, key);
    }
    return {};
}

// Within each object of the written text the keys come in ascending order.
inline QString keyOrderFault(const QByteArray &text)
{
    const QRegularExpression keyLine(QStringLiteral("^( *)\"([^\"]+)\":"));
    QMap<int, QString> lastKeyAtIndent;
    for (const QByteArray &line : text.split('\n')) {
        const QString string = QString::fromUtf8(line);
        int indent = 0;
        while (indent < string.size() && string.at(indent) == u' ')
            ++indent;
        while (!lastKeyAtIndent.isEmpty() && lastKeyAtIndent.lastKey() > indent)
            lastKeyAtIndent.erase(std::prev(lastKeyAtIndent.end()));
        const QRegularExpressionMatch match = keyLine.match(string);
        if (!match.hasMatch())
            continue;
        const QString key = match.captured(2);
        if (lastKeyAtIndent.contains(indent) && lastKeyAtIndent.value(indent) >= key)
            return QStringLiteral("\"%1\" after \"%2\"").arg(key, lastKeyAtIndent.value(indent));
        lastKeyAtIndent.insert(indent, key);
    }
    return {};
}

// The colour depth of an image file in the words of the format's rules
// ("U8", "U16", "F16", "F32"), as the libraries that read it see it: Qt's
// reader for PNG, tinyexr for OpenEXR, whose channels must all be stored
// alike. Empty when the file cannot be read.
inline QString imageDepth(const QString &path)
{
    if (path.endsWith(QStringLiteral(".exr"))) {
        const QByteArray name = QFile::encodeName(path);
        EXRVersion version;
        if (ParseEXRVersionFromFile(&version, name.constData()) != TINYEXR_SUCCESS)
            return {};
        EXRHeader header;
        InitEXRHeader(&header);
        const char *message = nullptr;
        if (ParseEXRHeaderFromFile(&header, &version, name.constData(), &message) != TINYEXR_SUCCESS) {
            FreeEXRErrorMessage(message);
            return {};
        }
        QSet<int> types;
        for (int c = 0; c < header.num_channels; ++c)
            types.insert(header.pixel_types[c]);
        FreeEXRHeader(&header);
        if (types == QSet<int>{TINYEXR_PIXELTYPE_HALF})
            return QStringLiteral("F16");
        if (types == QSet<int>{TINYEXR_PIXELTYPE_FLOAT})
            return QStringLiteral("F32");
        return {};
    }
    switch (QImageReader(path).imageFormat()) {
    case QImage::Format_Invalid:
        return {};
    case QImage::Format_RGBA64:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return QStringLiteral("U16");
    default:
        return QStringLiteral("U8");
    }
}

// What an importer following the Open Cel Animation rules would find wrong
// with the package folder; empty when it reads it. The document is named as
// the folder; layers are listed bottom first with unique names; every frame
// has its image file inside the package, unless it is "_blank" with no
// file, and the document's colour depth is that of every image;
// frames follow each other within startTime..endTime.
inline QString ocaFault(const QString &package)
{
    QFile file(QDir(package).filePath(QFileInfo(package).fileName()));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no document named as the folder");
    const QByteArray text = file.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QStringLiteral("not a JSON object: %1").arg(error.errorString());
    if (const QString fault = keyOrderFault(text); !fault.isEmpty())
        return fault;

    const QJsonObject root = document.object();
    QString fault = objectFault(root,
                                {{"backgroundColor", Kind::Colour}, {"colorDepth", Kind::String},
                                 {"endTime", Kind::Integer}, {"frameRate", Kind::Number}, {"height", Kind::Integer},
                                 {"layers", Kind::Array}, {"name", Kind::String}, {"ocaVersion", Kind::String},
                                 {"originApp", Kind::String}, {"originAppVersion", Kind::String},
                                 {"startTime", Kind::Integer}, {"width", Kind::Integer}},
                                QStringLiteral("the document"));
    if (!fault.isEmpty())
        return fault;
    if (!QStringList{"U8", "U16", "F16", "F32"}.contains(root.value("colorDepth").toString()))
        return QStringLiteral("unknown colour depth");
    if (!QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(root.value("ocaVersion").toString()).hasMatch())
        return QStringLiteral("the version is no x.y.z");
    const int startTime = root.value("startTime").toInt();
    const int endTime = root.value("endTime").toInt();
    if (endTime <= startTime)
        return QStringLiteral("no frames between startTime and endTime");

    QSet<QString> names;
    for (const QJsonValue &layerValue : root.value("layers").toArray()) {
        const QJsonObject layer = layerValue.toObject();
        const QString where = QStringLiteral("layer \"%1\"").arg(layer.value("name").toString());
        fault = objectFault(layer,
                            {{"animated", Kind::Bool}, {"blendingMode", Kind::String}, {"childLayers", Kind::Array},
                             {"fileType", Kind::String}, {"frames", Kind::Array}, {"height", Kind::Integer},
                             {"inheritAlpha", Kind::Bool}, {"label", Kind::Integer}, {"name", Kind::String},
                             {"opacity", Kind::Number}, {"passThrough", Kind::Bool}, {"position", Kind::Point},
                             {"reference", Kind::Bool}, {"type", Kind::String}, {"visible", Kind::Bool},
                             {"width", Kind::Integer}},
                            where);
        if (!fault.isEmpty())
            return fault;
        if (names.contains(layer.value("name").toString()))
            return where + QStringLiteral(" is not the only one of its name");
        names.insert(layer.value("name").toString());
        if (layer.value("type").toString() != u"paintlayer" || !layer.value("childLayers").toArray().isEmpty())
            return where + QStringLiteral(" is not a paint layer");
        const QString fileType = layer.value("fileType").toString();
        if (fileType != u"png" && fileType != u"exr")
            return where + QStringLiteral(" has an unknown file type");
        const double opacity = layer.value("opacity").toDouble();
        if (opacity < 0.0 || opacity > 1.0)
            return where + QStringLiteral(" has its opacity out of range");

        int nextFree = startTime;
        for (const QJsonValue &frameValue : layer.value("frames").toArray()) {
            const QJsonObject frame = frameValue.toObject();
            const QString at = QStringLiteral("%1, frame \"%2\"").arg(where, frame.value("name").toString());
            fault = objectFault(frame,
                                {{"duration", Kind::Integer}, {"fileName", Kind::String}, {"frameNumber", Kind::Integer},
                                 {"name", Kind::String}, {"opacity", Kind::Number}, {"position", Kind::Point}},
                                at);
            if (!fault.isEmpty())
                return fault;
            const int number = frame.value("frameNumber").toInt();
            const int duration = frame.value("duration").toInt();
            if (number < nextFree || duration < 1 || number + duration > endTime)
                return at + QStringLiteral(" overlaps another or lies outside the animation");
            nextFree = number + duration;
            const QString fileName = frame.value("fileName").toString();
            if (fileName.isEmpty() != (frame.value("name").toString() == u"_blank"))
                return at + QStringLiteral(": only a blank frame has no file");
            if (fileName.isEmpty())
                continue;
            if (QDir::isAbsolutePath(fileName) || fileName.split(u'/').contains(QStringLiteral("..")))
                return at + QStringLiteral(": the file lies outside the package");
            if (!fileName.endsWith(u'.' + fileType))
                return at + QStringLiteral(": the file is no ") + fileType;
            if (!QFileInfo(QDir(package).filePath(fileName)).isFile())
                return at + QStringLiteral(": no file ") + fileName;
            const QString depth = imageDepth(QDir(package).filePath(fileName));
            if (depth != root.value("colorDepth").toString())
                return at + QStringLiteral(": the image is of depth \"%1\", the document says \"%2\"")
                                .arg(depth, root.value("colorDepth").toString());
        }
    }
    return {};
}

} // namespace OcaRules
