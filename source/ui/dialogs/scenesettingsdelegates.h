#pragma once

#include <QStyledItemDelegate>

namespace UI {

// Draws the preset lists of the scene settings dialog (SceneSettingsListModel
// rows). The base draws separator rows as a thin line 7 px tall and leaves
// other rows to QStyledItemDelegate; the two derived delegates draw a preset
// as its label, right-aligned in the first `labelFraction` of the row, and
// its value in the placeholder colour after it (mirrored right to left).
class SceneSettingsItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SceneSettingsItemDelegate(QObject *parent = nullptr);
    ~SceneSettingsItemDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    static bool isSeparator(const QModelIndex &index);
    // What the derived delegates draw and measure; separators go to this
    // class's own paint() and sizeHint().
    void paintPreset(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                     double labelFraction, const QString &value) const;
    // As wide as the label and the value as the style measures them, plus
    // extraWidth; as tall as the taller.
    QSize presetSizeHint(const QStyleOptionViewItem &option, const QModelIndex &index, const QString &value,
                         int extraWidth) const;
};

class FrameSizeItemDelegate : public SceneSettingsItemDelegate
{
    Q_OBJECT

public:
    explicit FrameSizeItemDelegate(QObject *parent = nullptr);
    ~FrameSizeItemDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // "1,920 x 1,080" in the list's locale; "width x height" for the custom row.
    QString valueText(const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    double m_labelFraction = 0.6;
};

class FrameRateItemDelegate : public SceneSettingsItemDelegate
{
    Q_OBJECT

public:
    explicit FrameRateItemDelegate(QObject *parent = nullptr);
    ~FrameRateItemDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The rate in the list's locale; empty for the custom row.
    QString valueText(const QStyleOptionViewItem &option, const QModelIndex &index) const;

private:
    double m_labelFraction = 0.7;
};

} // namespace UI
