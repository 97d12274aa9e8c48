#include "render/premultipliedblend.h"

namespace Model {

void blendPremultiplied(QImage &target, const QImage &source, QRect rect)
{
    if (target.format() != QImage::Format_ARGB32_Premultiplied
        || source.format() != QImage::Format_ARGB32_Premultiplied)
        return;
    rect &= target.rect() & source.rect();
    if (rect.isEmpty())
        return;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *line = reinterpret_cast<QRgb *>(target.scanLine(y));
        // A scene's pictures are mostly transparent, which leaves the
        // target as it is.
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (from[x] != 0)
                line[x] = sourceOver(from[x], line[x]);
        }
    }
}

} // namespace Model
