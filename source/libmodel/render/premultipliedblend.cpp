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
        // target as it is: empty stretches are passed over four pixels at a
        // time.
        int x = rect.left();
        for (; x + 4 <= rect.right() + 1; x += 4) {
            if ((from[x] | from[x + 1] | from[x + 2] | from[x + 3]) == 0)
                continue;
            for (int i = x; i < x + 4; ++i) {
                if (from[i] != 0)
                    line[i] = sourceOver(from[i], line[i]);
            }
        }
        for (; x <= rect.right(); ++x) {
            if (from[x] != 0)
                line[x] = sourceOver(from[x], line[x]);
        }
    }
}

} // namespace Model
