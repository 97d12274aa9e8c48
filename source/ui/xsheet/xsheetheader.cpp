#include "xsheet/xsheetheader.h"

#include "dialogs/dialogs.h"
#include "importcommands.h"
#include "layerpropertycommands.h"
#include "style/tooltips.h"
#include "style/uiresources.h"
#include "xsheet/xsheetchrome.h"

#include "layers/audiolayer.h"
#include "layers/layer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QHoverEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

using Role = Model::SceneModel::Role;

// The parts of a section that the pointer can be over.
enum Area : int {
    // The left half of a visual layer's icon band (link), or the whole band
    // of the audio (sound) and annotation (link) columns.
    FirstIcon = 0,
    // The right half of a visual layer's icon band (visibility).
    SecondIcon = 1,
    NameStrip = 2,
    // The icon band of a column without icons.
    NoIcon = 3,
};

bool isVisualKind(int kind)
{
    return kind >= Model::Layer::StrokeLayerType && kind <= Model::Layer::ReferenceLayerType;
}

// A right button pressed, held or let go only reaches the base: it opens the
// context menu and toggles nothing.
bool involvesRightButton(const QMouseEvent *event)
{
    return (event->buttons() & Qt::RightButton) || event->button() == Qt::RightButton;
}

} // namespace

class XSheetHeaderPrivate
{
public:
    explicit XSheetHeaderPrivate(XSheetHeader *owner)
        : q(owner)
    {
        registerUiResources();
        m_audioOn = QIcon(QStringLiteral(":/xsheet/audioOn.svg"));
        m_audioOff = QIcon(QStringLiteral(":/xsheet/audioOff.svg"));
        m_linkOn = QIcon(QStringLiteral(":/xsheet/linkOn.svg"));
        m_linkOff = QIcon(QStringLiteral(":/xsheet/linkOff.svg"));
        m_visibilityOn = QIcon(QStringLiteral(":/xsheet/visibilityOn.svg"));
        m_visibilityOff = QIcon(QStringLiteral(":/xsheet/visibilityOff.svg"));
    }

    void updateMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_fontPixelSize = int(11 * s);
        m_iconBandHeight = int(28 * s);
        m_nameStripHeight = int(16 * s);
        m_iconSize = QSize(int(19 * s), int(17 * s));
        m_iconBandGradient = SheetChrome::bandGradient(1, m_iconBandHeight);
        m_nameStripGradient =
            SheetChrome::bandGradient(m_iconBandHeight + 1, m_iconBandHeight + m_nameStripHeight, true);
    }

    QVariant data(int section, int role) const { return SheetChrome::columnData(q->model(), section, role); }
    int kind(int section) const { return SheetChrome::columnKind(q->model(), section); }

    // A viewport position as a position in the sections' own coordinates,
    // which scrolling does not change.
    QPoint contentPoint(QPointF position) const { return position.toPoint() + QPoint(q->offset(), 0); }
    int sectionAt(QPoint content) const { return q->logicalIndexAt(content.x() - q->offset()); }

    int hitTest(int section, QPoint content) const
    {
        if (content.y() > m_iconBandHeight)
            return NameStrip;
        const int kind = this->kind(section);
        if (isVisualKind(kind)) {
            const int x = content.x() - q->sectionPosition(section);
            return x >= q->sectionSize(section) / 2 - 1 ? SecondIcon : FirstIcon;
        }
        if (kind == Model::Layer::AudioLayerType || kind == Model::Layer::AnnotationLayerType)
            return FirstIcon;
        return NoIcon;
    }

    void updateSection(int section) const
    {
        if (section >= 0)
            q->updateSection(section);
    }

    // The tint over one toggle: pressed while the pointer stays on the part
    // that was pressed, else hovered while no button is held.
    void paintTint(QPainter *painter, const QRect &rect, int section, int area) const
    {
        if (m_trackedSection == section && m_pressSection == section && m_trackedArea == area
            && m_pressArea == area) {
            painter->fillRect(rect, SheetChrome::pressTint());
        } else if (m_trackedSection < 0 && m_hoverSection == section && m_hoverArea == area) {
            painter->fillRect(rect, SheetChrome::hoverTint());
        }
    }

    static void paintIcon(QPainter *painter, const QIcon &icon, const QRect &rect, QSize size)
    {
        if (size.isEmpty())
            return;
        const QPixmap pixmap = icon.pixmap(size, QIcon::Normal, QIcon::Off);
        const QPointF centre = QPointF(pixmap.width(), pixmap.height()) / (2.0 * pixmap.devicePixelRatio());
        painter->drawPixmap((QRectF(rect).center() - centre).toPoint(), pixmap);
    }

    // Acts on a click released over the part it was pressed on.
    void toggle(int section, int area) const
    {
        const int kind = this->kind(section);
        QAbstractItemModel *model = q->model();
        if (isVisualKind(kind) && area == SecondIcon) {
            const bool visible = data(section, Role::VisibleRole).toBool();
            Model::KLScene::pushCommand(new Commands::SetLayerVisible(model, section, !visible));
        } else if ((isVisualKind(kind) || kind == Model::Layer::AnnotationLayerType) && area == FirstIcon) {
            const bool linked = data(section, Role::LinkedRole).toBool();
            Model::KLScene::pushCommand(new Commands::SetLayerLinked(model, section, !linked));
        } else if (kind == Model::Layer::AudioLayerType && area == FirstIcon) {
            // The sound switch is a view setting, not an edit of the scene.
            const bool audible = data(section, Role::AudibleRole).toBool();
            model->setHeaderData(section, Qt::Horizontal, !audible, Role::AudibleRole);
        }
    }

    QString toolTip(int section, int area) const
    {
        const int kind = this->kind(section);
        const bool current = q->currentIndex().isValid() && q->currentIndex().column() == section;
        const Model::KLScene *handle = Model::KLScene::current();
        const bool hasAudio = handle && handle->scene() && handle->scene()->hasAudio();
        if (isVisualKind(kind)) {
            switch (area) {
            case FirstIcon:
                return (data(section, Role::LinkedRole).toBool() ? XSheetHeader::tr("Layer Linked")
                                                                 : XSheetHeader::tr("Layer Unlinked"))
                    + (current ? QStringLiteral(" [-]") : QString());
            case SecondIcon:
                return (data(section, Role::VisibleRole).toBool() ? XSheetHeader::tr("Layer Visible")
                                                                  : XSheetHeader::tr("Layer Hidden"))
                    + (current ? QStringLiteral(" [V]") : QString());
            case NameStrip: {
                const QString name = data(section, Qt::DisplayRole).toString();
                return name.isEmpty() ? QString() : XSheetHeader::tr("Layer Name: %1").arg(name);
            }
            default:
                return QString();
            }
        }
        if (kind == Model::Layer::AudioLayerType) {
            if (area == FirstIcon) {
                if (!hasAudio)
                    return XSheetHeader::tr("No Audio");
                return data(section, Role::AudibleRole).toBool() ? XSheetHeader::tr("Audio On")
                                                                 : XSheetHeader::tr("Audio Muted");
            }
            if (area == NameStrip && hasAudio)
                return XSheetHeader::tr("Audio Offset");
            return QString();
        }
        if (kind == Model::Layer::AnnotationLayerType && area == FirstIcon) {
            return data(section, Role::LinkedRole).toBool() ? XSheetHeader::tr("Annotations Linked")
                                                            : XSheetHeader::tr("Annotations Unlinked");
        }
        return QString();
    }

    void onDoubleClick(int section)
    {
        if (m_pressArea != NameStrip || hitTest(section, m_releasePoint) != NameStrip)
            return;
        const int kind = this->kind(section);
        if (isVisualKind(kind)) {
            const int width = q->QHeaderView::sectionSizeFromContents(section).width();
            Q_EMIT q->doubleClickedLayer(section, QRect(0, m_iconBandHeight, width, m_nameStripHeight));
        } else if (kind == Model::Layer::AudioLayerType) {
            Model::KLScene *handle = Model::KLScene::current();
            Model::Scene *scene = handle ? handle->scene() : nullptr;
            if (!scene || !scene->hasAudio())
                return;
            // Only offsets the sound can be placed at are offered; the
            // answer is held to them too, whoever gave it.
            const double farthest = Model::AudioLayer::MaximumOffsetFrames;
            const auto bounded = [farthest](double frames) { return std::clamp(frames, -farthest, farthest); };
            const double current = bounded(data(section, Qt::DisplayRole).toDouble());
            Dialogs fallback;
            Dialogs &dialogs = m_dialogs ? *m_dialogs : fallback;
            bool ok = false;
            const double offset = dialogs.getDouble(q, XSheetHeader::tr("Audio Offset"),
                                                    XSheetHeader::tr("Offset (in number of frames):"), current,
                                                    -farthest, farthest, 2, &ok, Qt::WindowFlags(), 1.0);
            // The dialog runs its own event loop, in which the scene may
            // have been closed.
            if (ok && std::isfinite(offset) && Model::KLScene::current() == handle)
                Model::KLScene::pushCommand(new Commands::SetAudioOffset(scene, bounded(offset)));
        }
    }

    XSheetHeader *q;
    // Not owned; null: Qt's own dialogs.
    Dialogs *m_dialogs = nullptr;
    QLinearGradient m_iconBandGradient;
    QLinearGradient m_nameStripGradient;
    QIcon m_audioOn;
    QIcon m_audioOff;
    QIcon m_linkOn;
    QIcon m_linkOff;
    QIcon m_visibilityOn;
    QIcon m_visibilityOff;
    QSize m_iconSize{19, 17};
    int m_fontPixelSize = 11;
    int m_iconBandHeight = 28;
    int m_nameStripHeight = 16;
    // In content coordinates.
    QPoint m_pressPoint;
    QPoint m_releasePoint;
    int m_hoverSection = -1;
    // The section under the pointer while a button is held.
    int m_trackedSection = -1;
    int m_pressSection = -1;
    int m_hoverArea = NoIcon;
    int m_trackedArea = NoIcon;
    int m_pressArea = NoIcon;
};

XSheetHeader::XSheetHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , d(std::make_unique<XSheetHeaderPrivate>(this))
{
    d->updateMetrics();
    setAttribute(Qt::WA_Hover);
    setFixedHeight(d->m_iconBandHeight + d->m_nameStripHeight);
    // Sections are exactly as wide as the model's size hints, however
    // narrow a small UI scale makes them.
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::ResizeToContents);
    setSectionsMovable(false);
    setSectionsClickable(true);
    connect(this, &QHeaderView::sectionDoubleClicked, this, [this](int section) { d->onDoubleClick(section); });
}

XSheetHeader::~XSheetHeader() = default;

void XSheetHeader::setDialogs(Dialogs *dialogs)
{
    d->m_dialogs = dialogs;
}

void XSheetHeader::updateUISize()
{
    d->updateMetrics();
    setFixedHeight(d->m_iconBandHeight + d->m_nameStripHeight);
    update();
    updateGeometry();
}

bool XSheetHeader::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
        const QPoint content = d->contentPoint(static_cast<QHoverEvent *>(event)->position());
        const int section = d->sectionAt(content);
        const int area = section >= 0 ? d->hitTest(section, content) : NoIcon;
        if (section != d->m_hoverSection || area != d->m_hoverArea) {
            d->updateSection(d->m_hoverSection);
            d->m_hoverSection = section;
            d->m_hoverArea = area;
            d->updateSection(section);
        }
        break;
    }
    case QEvent::HoverLeave:
    case QEvent::Leave:
        d->updateSection(d->m_hoverSection);
        d->m_hoverSection = -1;
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint content = d->contentPoint(help->pos());
        const int section = d->sectionAt(content);
        return answerToolTip(help, section >= 0 ? d->toolTip(section, d->hitTest(section, content)) : QString());
    }
    default:
        break;
    }
    return QHeaderView::event(event);
}

void XSheetHeader::abandonPress()
{
    if (d->m_trackedSection < 0 && d->m_pressSection < 0)
        return;
    d->updateSection(d->m_trackedSection);
    d->m_trackedSection = d->m_pressSection = -1;
    d->m_trackedArea = d->m_pressArea = NoIcon;
}

void XSheetHeader::mousePressEvent(QMouseEvent *event)
{
    if (involvesRightButton(event)) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    // The base repaints the pressed section; it must not show a hover tint
    // there any more.
    const int hover = d->m_hoverSection;
    d->m_hoverSection = -1;
    QHeaderView::mousePressEvent(event);
    d->m_hoverSection = hover;

    d->m_pressPoint = d->contentPoint(event->position());
    d->m_pressSection = d->m_trackedSection = d->sectionAt(d->m_pressPoint);
    d->m_pressArea = d->m_trackedArea =
        d->m_pressSection >= 0 ? d->hitTest(d->m_pressSection, d->m_pressPoint) : NoIcon;
    d->updateSection(d->m_pressSection);
}

void XSheetHeader::mouseMoveEvent(QMouseEvent *event)
{
    if (involvesRightButton(event)) {
        QHeaderView::mouseMoveEvent(event);
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        d->m_trackedSection = -1;
    } else if (d->m_trackedSection >= 0) {
        const QPoint content = d->contentPoint(event->position());
        const int section = d->sectionAt(content);
        const int area = section >= 0 ? d->hitTest(section, content) : NoIcon;
        if (section != d->m_trackedSection || area != d->m_trackedArea) {
            d->updateSection(d->m_trackedSection);
            d->updateSection(section);
        }
        d->m_trackedSection = section;
        d->m_trackedArea = area;
    }
    QHeaderView::mouseMoveEvent(event);
}

void XSheetHeader::mouseReleaseEvent(QMouseEvent *event)
{
    if (involvesRightButton(event)) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    d->updateSection(d->m_trackedSection);
    d->m_releasePoint = d->contentPoint(event->position());
    const int section = d->sectionAt(d->m_releasePoint);
    // Only the part that was pressed toggles: the same part of another
    // column would change a layer the user never pressed on.
    const bool onPressedPart = section >= 0 && section == d->m_trackedSection && section == d->m_pressSection
        && d->hitTest(section, d->m_releasePoint) == d->m_pressArea;
    d->m_trackedSection = -1;
    QHeaderView::mouseReleaseEvent(event);
    if (onPressedPart)
        d->toggle(section, d->m_pressArea);
}

void XSheetHeader::contextMenuEvent(QContextMenuEvent *event)
{
    const int section = logicalIndexAt(event->pos());
    Q_EMIT rightClickedLayer(SheetChrome::visualLayerOrNone(model(), section), event->globalPos());
}

void XSheetHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const int section = logicalIndex;
    const int b = d->m_iconBandHeight;
    const int size = sectionSize(section);
    QRect top = rect;
    top.setHeight(b);
    const QRect name = rect.adjusted(0, b, 0, 0);
    const QRect icon = top.adjusted(1, 2, -1, 0);

    painter->fillRect(top, d->m_iconBandGradient);
    painter->fillRect(name, d->m_nameStripGradient);

    const int kind = d->kind(section);
    painter->setPen(Qt::NoPen);
    if (kind == Model::Layer::AudioLayerType || kind == Model::Layer::AnnotationLayerType) {
        const bool on = kind == Model::Layer::AudioLayerType ? d->data(section, Role::AudibleRole).toBool()
                                                             : d->data(section, Role::LinkedRole).toBool();
        const QIcon &image = kind == Model::Layer::AudioLayerType ? (on ? d->m_audioOn : d->m_audioOff)
                                                                  : (on ? d->m_linkOn : d->m_linkOff);
        XSheetHeaderPrivate::paintIcon(painter, image, icon, d->m_iconSize);
        d->paintTint(painter, top, section, FirstIcon);
    } else if (isVisualKind(kind)) {
        const QRect left = top.adjusted(0, 0, -(size / 2) - 1, 0);
        const QRect right = top.adjusted(size / 2 - 1, 0, 0, 0);
        const QRect leftIcon = left.adjusted(0, 2, 0, 0);
        const QRect rightIcon = right.adjusted(0, 2, 0, 0);
        const QSize iconSize = d->m_iconSize.boundedTo(leftIcon.size() - QSize(4, 4));
        const bool linked = d->data(section, Role::LinkedRole).toBool();
        const bool visible = d->data(section, Role::VisibleRole).toBool();
        XSheetHeaderPrivate::paintIcon(painter, linked ? d->m_linkOn : d->m_linkOff, leftIcon, iconSize);
        XSheetHeaderPrivate::paintIcon(painter, visible ? d->m_visibilityOn : d->m_visibilityOff, rightIcon, iconSize);
        d->paintTint(painter, left, section, FirstIcon);
        d->paintTint(painter, right, section, SecondIcon);
    }

    painter->setRenderHint(QPainter::Antialiasing);
    QFont font = painter->font();
    font.setPixelSize(std::max(1, d->m_fontPixelSize));
    font.setWeight(QFont::Medium);
    painter->setFont(font);
    painter->setPen(QColor(0, 0, 0, 128));
    QString text;
    if (kind == Model::Layer::AudioLayerType) {
        // Whole frames, rounded down: half a frame early is frame -1.
        const double offset = d->data(section, Qt::DisplayRole).toDouble();
        if (std::abs(offset) > 1e-12)
            text = QString::number(std::floor(offset));
    } else {
        text = d->data(section, Qt::DisplayRole).toString();
    }
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    const int width = name.width() - margin - (name.width() >= 36 ? margin : 0);
    text = painter->fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, width));
    painter->drawText(name.adjusted(0, 0, 0, -2), Qt::AlignCenter, text);

    if (this->width() > sectionViewportPosition(section) + size) {
        painter->setPen(QColor(84, 80, 76));
        painter->drawLine(QPointF(top.right() + 0.5, top.top()), QPointF(top.right() + 0.5, top.top() + top.height()));
        painter->setPen(QColor(78, 75, 72));
        painter->drawLine(QPointF(name.right() + 0.5, name.top() + 1),
                          QPointF(name.right() + 0.5, name.top() + 1 + name.height()));
    }
    painter->setPen(SheetChrome::lineColor());
    const auto across = [painter, &rect](double y) {
        painter->drawLine(QPointF(rect.left(), y), QPointF(rect.left() + rect.width(), y));
    };
    across(rect.top() + 0.5);
    across(rect.top() + rect.height() - 0.5);
    across(name.top() + 0.5);
}

} // namespace UI
