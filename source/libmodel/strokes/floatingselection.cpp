#include "strokes/floatingselection.h"

#include "settings/settings.h"
#include "strokes/stroke.h"

#include <QColor>
#include <QList>
#include <QRgb>

#include <cmath>

namespace Model {

class FloatingSelectionPrivate
{
public:
    std::unique_ptr<Stroke> m_content;
    // The last collapsed stamp, already placed for the current placement;
    // null until a collapse succeeds and after a change it cannot follow.
    std::unique_ptr<CompoundStroke> m_cachedStamp;
    FloatingSelection::Transform m_transform;
    QImage m_image;
    double m_opacity = 1.0;
    bool m_collapse = false;
    std::pair<QUuid, QUuid> m_origin;

    QTransform placement() const { return placement(m_transform); }

    static QTransform placement(const FloatingSelection::Transform &transform)
    {
        return transform.third * transform.second * transform.first;
    }
};

FloatingSelection::FloatingSelection(std::unique_ptr<Stroke> content, const QImage &image, double opacity)
    : d(std::make_unique<FloatingSelectionPrivate>())
{
    d->m_content = std::move(content);
    if (d->m_content)
        d->m_transform.center = QPointF(d->m_content->boundingRect().center());
    d->m_image = image;
    d->m_opacity = opacity;
}

FloatingSelection::~FloatingSelection() = default;
FloatingSelection::FloatingSelection(FloatingSelection &&other) noexcept = default;
FloatingSelection &FloatingSelection::operator=(FloatingSelection &&other) noexcept = default;

QRect FloatingSelection::rect() const
{
    return d->m_content ? d->m_content->boundingRect() : QRect();
}

QImage FloatingSelection::image() const
{
    return d->m_content ? d->m_image : QImage();
}

double FloatingSelection::opacity() const
{
    return d->m_opacity;
}

void FloatingSelection::setOpacity(double opacity)
{
    d->m_opacity = opacity;
}

bool FloatingSelection::collapseVectorData() const
{
    return d->m_collapse;
}

void FloatingSelection::setCollapseVectorData(bool collapse)
{
    d->m_collapse = collapse;
}

std::pair<QUuid, QUuid> FloatingSelection::origin() const
{
    return d->m_origin;
}

void FloatingSelection::setOrigin(const std::pair<QUuid, QUuid> &key)
{
    d->m_origin = key;
}

FloatingSelection::Transform FloatingSelection::transform() const
{
    return d->m_transform;
}

void FloatingSelection::setTransform(const Transform &transform)
{
    if (d->m_cachedStamp) {
        if (transform.first == d->m_transform.first && transform.second == d->m_transform.second) {
            // The bitmap was placed through the old inverse; undo that and
            // apply the new one, without rendering again.
            const QTransform moved = d->m_cachedStamp->transform() * d->placement()
                                     * FloatingSelectionPrivate::placement(transform).inverted();
            d->m_cachedStamp->setTransform(moved);
        } else {
            d->m_cachedStamp.reset();
        }
    }
    d->m_transform = transform;
}

void FloatingSelection::setColor(const QColor &color)
{
    if (d->m_image.isNull() || !d->m_content)
        return;
    const float alpha = color.alphaF();
    QList<QRgb> table;
    table.reserve(256);
    for (int i = 0; i < 256; ++i) {
        QColor entry = color;
        // std::round takes halves away from zero: alpha 0.5 gives entry 1
        // an alpha of 1, so the faintest coverage stays visible.
        entry.setAlpha(int(std::round(alpha * float(i))));
        table.append(entry.rgba());
    }
    d->m_image.setColorCount(256);
    d->m_image.setColorTable(table);
}

std::unique_ptr<Stroke> FloatingSelection::stamp(const CompoundStroke::Progress &progress)
{
    if (d->m_cachedStamp)
        return d->m_cachedStamp->clone();
    if (!d->m_content)
        return nullptr;

    std::unique_ptr<CompoundStroke> result;
    if (d->m_content->type() == Stroke::CompoundStrokeType) {
        result = std::make_unique<CompoundStroke>(static_cast<const CompoundStroke &>(*d->m_content));
    } else {
        result = std::make_unique<CompoundStroke>();
        result->addStroke(d->m_content->clone());
    }
    result->setTransform(result->transform() * d->placement().inverted());

    // Only a collapse that ran to the end is worth keeping: a cancelled one
    // left the vector data in place, and caching that would make every later
    // stamp skip the collapse the user asked for.
    if (d->m_collapse && result->collapse(Settings::instance()->collapseScaleFactor(), QRect(), progress))
        d->m_cachedStamp = std::make_unique<CompoundStroke>(*result);
    return result;
}

QString FloatingSelection::collapseProgressLabel()
{
    return tr("Collapsing stamp", "CollapseVectorData progress dialog");
}

} // namespace Model
