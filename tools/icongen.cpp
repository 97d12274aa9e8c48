// Renders the application icon from its SVG into the PNG sizes that the
// window icon is built from.
//
//   kl-icongen <icon.svg> <output folder> <size>...
//
// Writes <output folder>/kl-icon_<size>.png for every size. The pictures are
// fully determined by the SVG, so every build embeds the same pixels.

#include "svgraster.h"

#include <QDir>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: kl-icongen <icon.svg> <output folder> <size>...\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "kl-icongen: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir output(QString::fromLocal8Bit(argv[2]));
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "kl-icongen: cannot make %s\n", argv[2]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "kl-icongen: bad size %s\n", argv[i]);
            return 2;
        }
        const QString path = output.filePath(QStringLiteral("kl-icon_%1.png").arg(size));
        if (!writeRendering(renderer, QSize(size, size), path)) {
            std::fprintf(stderr, "kl-icongen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
