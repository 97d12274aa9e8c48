// Renders a picture drawn as SVG into the PNG pair that QIcon loads: the
// picture at its own size and its twin at double size for high-density
// screens.
//
//   kl-svgrender <picture.svg> <output folder>
//
// Writes <output folder>/<picture>.png and <picture>@2x.png. The pictures are
// fully determined by the SVG, so every build embeds the same pixels.

#include "svgraster.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kl-svgrender <picture.svg> <output folder>\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(input);
    if (!renderer.isValid() || renderer.defaultSize().isEmpty()) {
        std::fprintf(stderr, "kl-svgrender: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir output(QString::fromLocal8Bit(argv[2]));
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "kl-svgrender: cannot make %s\n", argv[2]);
        return 1;
    }
    const QString name = QFileInfo(input).completeBaseName();
    const QSize size = renderer.defaultSize();
    const QString single = output.filePath(name + QStringLiteral(".png"));
    const QString twice = output.filePath(name + QStringLiteral("@2x.png"));
    if (!writeRendering(renderer, size, single) || !writeRendering(renderer, size * 2, twice)) {
        std::fprintf(stderr, "kl-svgrender: cannot write into %s\n", argv[2]);
        return 1;
    }
    return 0;
}
