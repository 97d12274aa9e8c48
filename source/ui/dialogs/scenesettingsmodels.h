#pragma once

#include <QStringList>
#include <QStringListModel>

namespace UI {

// The preset lists of the scene settings dialog. Each row is one fixed,
// untranslated string of parts separated by "|": a label, then the values.
// "---" as the whole row is a separator, which cannot be chosen; the label
// "Custom" marks the row that stands for any value not among the presets
// (shown translated). Other roles than those below answer as
// QStringListModel does, so the edit role gives the whole row string.
class SceneSettingsListModel : public QStringListModel
{
    Q_OBJECT

public:
    enum Role {
        SeparatorRole = Qt::UserRole,
        CustomRole,
        // The first role of the derived models' values.
        ValueRole,
    };

    explicit SceneSettingsListModel(QObject *parent = nullptr);
    SceneSettingsListModel(const QStringList &rows, QObject *parent = nullptr);
    ~SceneSettingsListModel() override;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    // The row's parts, empty ones kept; none for an invalid index.
    QStringList parts(const QModelIndex &index) const;
};

// Frame sizes: "label|width|height". Numbers are read as plain base-10
// integers whatever the locale; a row without both has no valid size.
class FrameSizeModel : public SceneSettingsListModel
{
    Q_OBJECT

public:
    enum Role {
        WidthRole = ValueRole,
        HeightRole,
        SizeRole,
    };

    explicit FrameSizeModel(QObject *parent = nullptr);
    FrameSizeModel(const QStringList &rows, QObject *parent = nullptr);
    ~FrameSizeModel() override;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

// Frame rates: "label|frames per second", read with a point as decimal
// separator whatever the locale. The "Custom|" row reads as 0.1, a separator
// as the integer 0.
class FrameRateModel : public SceneSettingsListModel
{
    Q_OBJECT

public:
    enum Role {
        FrameRateRole = ValueRole,
    };

    explicit FrameRateModel(QObject *parent = nullptr);
    FrameRateModel(const QStringList &rows, QObject *parent = nullptr);
    ~FrameRateModel() override;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};

} // namespace UI
