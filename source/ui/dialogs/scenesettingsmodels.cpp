#include "dialogs/scenesettingsmodels.h"

#include <QSize>

#include <optional>

namespace UI {

namespace {

const QString SeparatorRow = QStringLiteral("---");
const QString CustomLabel = QStringLiteral("Custom");

// A frame size row's width (part 1) or height (part 2); nothing when the
// row is too short to hold both or the part is no number.
std::optional<int> numberPart(const QStringList &parts, int part)
{
    if (parts.size() < 3)
        return std::nullopt;
    bool ok = false;
    const int value = parts.at(part).toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

SceneSettingsListModel::SceneSettingsListModel(QObject *parent)
    : QStringListModel(parent)
{
}

SceneSettingsListModel::SceneSettingsListModel(const QStringList &rows, QObject *parent)
    : QStringListModel(rows, parent)
{
}

SceneSettingsListModel::~SceneSettingsListModel() = default;

QStringList SceneSettingsListModel::parts(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    return QStringListModel::data(index, Qt::EditRole).toString().split(QLatin1Char('|'), Qt::KeepEmptyParts);
}

QVariant SceneSettingsListModel::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case Qt::DisplayRole: {
        const QStringList rowParts = parts(index);
        if (rowParts.isEmpty())
            return QVariant();
        const QString &label = rowParts.first();
        if (label == SeparatorRow)
            return QString();
        if (label == CustomLabel)
            return tr("Custom");
        return label;
    }
    case SeparatorRole:
        return parts(index).value(0) == SeparatorRow;
    case CustomRole:
        return parts(index).value(0) == CustomLabel;
    default:
        return QStringListModel::data(index, role);
    }
}

Qt::ItemFlags SceneSettingsListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QStringListModel::flags(index);
    if (data(index, SeparatorRole).toBool())
        result &= ~Qt::ItemIsEnabled;
    return result;
}

FrameSizeModel::FrameSizeModel(QObject *parent)
    : SceneSettingsListModel(parent)
{
}

FrameSizeModel::FrameSizeModel(const QStringList &rows, QObject *parent)
    : SceneSettingsListModel(rows, parent)
{
}

FrameSizeModel::~FrameSizeModel() = default;

QVariant FrameSizeModel::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case WidthRole:
        return numberPart(parts(index), 1).value_or(0);
    case HeightRole:
        return numberPart(parts(index), 2).value_or(0);
    case SizeRole: {
        const QStringList rowParts = parts(index);
        const std::optional<int> width = numberPart(rowParts, 1);
        const std::optional<int> height = numberPart(rowParts, 2);
        return width && height ? QSize(*width, *height) : QSize();
    }
    default:
        return SceneSettingsListModel::data(index, role);
    }
}

FrameRateModel::FrameRateModel(QObject *parent)
    : SceneSettingsListModel(parent)
{
}

FrameRateModel::FrameRateModel(const QStringList &rows, QObject *parent)
    : SceneSettingsListModel(rows, parent)
{
}

FrameRateModel::~FrameRateModel() = default;

QVariant FrameRateModel::data(const QModelIndex &index, int role) const
{
    if (role != FrameRateRole)
        return SceneSettingsListModel::data(index, role);
    const QStringList rowParts = parts(index);
    if (rowParts.size() < 2)
        return 0;
    bool ok = false;
    const double rate = rowParts.at(1).toDouble(&ok);
    return ok ? rate : 0.1;
}

} // namespace UI
