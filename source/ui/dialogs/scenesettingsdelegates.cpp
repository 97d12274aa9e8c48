#include "dialogs/scenesettingsdelegates.h"

#include "dialogs/scenesettingsmodels.h"

#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidget>

#include <algorithm>

namespace UI {

namespace {

QStyle *styleOf(const QWidget *widget)
{
    return widget ? widget->style() : QApplication::style();
}

void setSolidColor(QPalette &palette, QPalette::ColorRole role, const QColor &color)
{
    palette.setBrush(QPalette::All, role, QBrush(color));
}

} // namespace

SceneSettingsItemDelegate::SceneSettingsItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

SceneSettingsItemDelegate::~SceneSettingsItemDelegate() = default;

bool SceneSettingsItemDelegate::isSeparator(const QModelIndex &index)
{
    return index.data(SceneSettingsListModel::SeparatorRole).toBool();
}

void SceneSettingsItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    if (!isSeparator(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionFrame line;
    if (option.widget)
        line.initFrom(option.widget);
    line.rect = option.rect;
    line.state = option.state;
    line.lineWidth = 1;
    line.midLineWidth = 0;
    line.frameShape = QFrame::HLine;
    setSolidColor(line.palette, QPalette::WindowText, line.palette.color(QPalette::Midlight));
    styleOf(option.widget)->drawControl(QStyle::CE_ShapedFrame, &line, painter, option.widget);
}

QSize SceneSettingsItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (isSeparator(index))
        return QSize(0, 7);
    return QStyledItemDelegate::sizeHint(option, index);
}

void SceneSettingsItemDelegate::paintPreset(QPainter *painter, const QStyleOptionViewItem &option,
                                            const QModelIndex &index, double labelFraction,
                                            const QString &value) const
{
    if (isSeparator(index)) {
        SceneSettingsItemDelegate::paint(painter, option, index);
        return;
    }
    QStyle *style = styleOf(option.widget);
    // The highlight spans the whole row, under both texts.
    if (option.state & QStyle::State_Selected) {
        QStyleOptionViewItem highlight = option;
        initStyleOption(&highlight, index);
        highlight.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &highlight, painter, option.widget);
    }
    QStyleOptionViewItem label = option;
    initStyleOption(&label, index);
    label.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    QStyleOptionViewItem valueOption = label;
    valueOption.text = value;
    setSolidColor(valueOption.palette, QPalette::Text, valueOption.palette.color(QPalette::PlaceholderText));

    const int width = option.rect.width();
    if (option.direction == Qt::RightToLeft) {
        valueOption.rect.setWidth(int(width * (1.0 - labelFraction)));
        valueOption.displayAlignment = Qt::AlignRight;
        style->drawControl(QStyle::CE_ItemViewItem, &valueOption, painter, option.widget);
        label.displayAlignment = Qt::AlignLeft;
        label.rect.setLeft(valueOption.rect.right() + 1);
        style->drawControl(QStyle::CE_ItemViewItem, &label, painter, option.widget);
    } else {
        label.rect.setWidth(int(width * labelFraction));
        label.displayAlignment = Qt::AlignRight;
        style->drawControl(QStyle::CE_ItemViewItem, &label, painter, option.widget);
        valueOption.displayAlignment = Qt::AlignLeft;
        valueOption.rect.setLeft(label.rect.right() + 1);
        style->drawControl(QStyle::CE_ItemViewItem, &valueOption, painter, option.widget);
    }
}

QSize SceneSettingsItemDelegate::presetSizeHint(const QStyleOptionViewItem &option, const QModelIndex &index,
                                                const QString &value, int extraWidth) const
{
    if (isSeparator(index))
        return SceneSettingsItemDelegate::sizeHint(option, index);
    QStyle *style = styleOf(option.widget);
    QStyleOptionViewItem label = option;
    initStyleOption(&label, index);
    QStyleOptionViewItem valueOption = label;
    valueOption.text = value;
    const QSize labelSize = style->sizeFromContents(QStyle::CT_ItemViewItem, &label, QSize(), option.widget);
    const QSize valueSize = style->sizeFromContents(QStyle::CT_ItemViewItem, &valueOption, QSize(), option.widget);
    return QSize(labelSize.width() + extraWidth + valueSize.width(),
                 std::max(labelSize.height(), valueSize.height()));
}

FrameSizeItemDelegate::FrameSizeItemDelegate(QObject *parent)
    : SceneSettingsItemDelegate(parent)
{
}

FrameSizeItemDelegate::~FrameSizeItemDelegate() = default;

QString FrameSizeItemDelegate::valueText(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QSize size = index.data(FrameSizeModel::SizeRole).toSize();
    QString width = tr("width");
    QString height = tr("height");
    if (option.widget && size.isValid()) {
        const QLocale locale = option.widget->locale();
        width = locale.toString(size.width());
        height = locale.toString(size.height());
    }
    return tr("%1 x %2", "resolution (width x height)").arg(width, height);
}

void FrameSizeItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    paintPreset(painter, option, index, m_labelFraction, valueText(option, index));
}

QSize FrameSizeItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return presetSizeHint(option, index, valueText(option, index), 100);
}

FrameRateItemDelegate::FrameRateItemDelegate(QObject *parent)
    : SceneSettingsItemDelegate(parent)
{
}

FrameRateItemDelegate::~FrameRateItemDelegate() = default;

QString FrameRateItemDelegate::valueText(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!option.widget || index.data(SceneSettingsListModel::CustomRole).toBool())
        return QString();
    return option.widget->locale().toString(index.data(FrameRateModel::FrameRateRole).toDouble(), 'g', 6);
}

void FrameRateItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    paintPreset(painter, option, index, m_labelFraction, valueText(option, index));
}

QSize FrameRateItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The two texts share one pair of the item's text margins.
    const int margin = styleOf(option.widget)->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, option.widget);
    return presetSizeHint(option, index, valueText(option, index), -(2 * margin + 2));
}

} // namespace UI
