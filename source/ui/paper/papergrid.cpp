#include "paper/papergrid.h"

#include <QLineF>

namespace UI {

namespace {

void addLine(QPainterPath &path, QPointF from, QPointF to)
{
    path.moveTo(from);
    path.lineTo(to);
}

// The n - 1 inner lines of an n by n division, each way.
void addDivisions(QPainterPath &path, const QRectF &r, int n)
{
    for (int k = 1; k < n; ++k) {
        const double x = r.left() + k * r.width() / n;
        const double y = r.top() + k * r.height() / n;
        addLine(path, QPointF(x, r.top()), QPointF(x, r.bottom()));
        addLine(path, QPointF(r.left(), y), QPointF(r.right(), y));
    }
}

// From a corner through a point to where that line meets an edge's line.
void addRay(QPainterPath &path, QPointF corner, QPointF through, const QLineF &edge)
{
    QPointF meeting;
    if (QLineF(corner, through).intersects(edge, &meeting) != QLineF::NoIntersection)
        addLine(path, corner, meeting);
}

} // namespace

QPainterPath gridPath(KL::GridType type, const QRectF &r)
{
    QPainterPath path;
    const double left = r.left();
    const double top = r.top();
    const double right = r.right();
    const double bottom = r.bottom();
    switch (type) {
    case KL::GridType::FieldGuide:
        addDivisions(path, r, 30);
        addLine(path, r.topLeft(), r.bottomRight());
        addLine(path, r.bottomLeft(), r.topRight());
        break;
    case KL::GridType::Safety:
        path.addRect(r.adjusted(0.05 * r.width(), 0.05 * r.height(), -0.05 * r.width(), -0.05 * r.height()));
        path.addRect(r.adjusted(0.1 * r.width(), 0.1 * r.height(), -0.1 * r.width(), -0.1 * r.height()));
        break;
    case KL::GridType::Thirds:
        addDivisions(path, r, 3);
        break;
    case KL::GridType::Diagonals: {
        const double a = 0.3 * r.width();
        const double b = 0.3 * r.height();
        addLine(path, QPointF(left, top + b), QPointF(right, top + b));
        addLine(path, QPointF(left, bottom - b), QPointF(right, bottom - b));
        addLine(path, QPointF(left + a, top), QPointF(left + a, bottom));
        addLine(path, QPointF(right - a, top), QPointF(right - a, bottom));
        addLine(path, r.topLeft(), r.bottomRight());
        addLine(path, r.bottomLeft(), r.topRight());
        const QLineF bottomEdge(r.bottomLeft(), r.bottomRight());
        const QLineF topEdge(r.topLeft(), r.topRight());
        addRay(path, r.topLeft(), QPointF(left + a, bottom - b), bottomEdge);
        addRay(path, r.topRight(), QPointF(right - a, bottom - b), bottomEdge);
        addRay(path, r.bottomLeft(), QPointF(left + a, top + b), topEdge);
        addRay(path, r.bottomRight(), QPointF(right - a, top + b), topEdge);
        break;
    }
    case KL::GridType::Renaissance: {
        const double a = r.width() / 4.0;
        const double b = r.height() / 4.0;
        addDivisions(path, r, 4);
        addLine(path, QPointF(left, bottom - b), QPointF(left + a, bottom));
        addLine(path, QPointF(left, top + 2 * b), QPointF(left + 2 * a, bottom));
        addLine(path, QPointF(left, top + b), QPointF(right - a, bottom));
        addLine(path, r.topLeft(), r.bottomRight());
        addLine(path, QPointF(left + a, top), QPointF(right, bottom - b));
        addLine(path, QPointF(left + 2 * a, top), QPointF(right, top + 2 * b));
        addLine(path, QPointF(right - a, top), QPointF(right, top + b));
        addLine(path, QPointF(left, top + b), QPointF(left + a, top));
        addLine(path, QPointF(left, top + 2 * b), QPointF(left + 2 * a, top));
        addLine(path, QPointF(left, bottom - b), QPointF(right - a, top));
        addLine(path, r.bottomLeft(), r.topRight());
        addLine(path, QPointF(left + a, bottom), QPointF(right, top + b));
        addLine(path, QPointF(left + 2 * a, bottom), QPointF(right, top + 2 * b));
        addLine(path, QPointF(right - a, bottom), QPointF(right, bottom - b));
        break;
    }
    }
    return path;
}

} // namespace UI
