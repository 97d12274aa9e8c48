#include "style/klproxystyle.h"
#include "style/uiresources.h"

#include "support/widgetevents.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace {

// The chrome's colours.
const QColor Dark(45, 41, 38);
const QColor Light(221, 216, 213);
const QColor Overlay(100, 96, 92);
const QColor PanelGrey(88, 84, 80);

// Each icon is painted at 24 pixels, as the chrome paints it at 75 % scale
// (icons are 32 × scale); the chrome's art is scaled along with it.
constexpr int IconSide = 24;
constexpr double ArtScale = IconSide / 32.0;
constexpr int Side = 80;
const QPointF Centre(Side / 2.0, Side / 2.0);

// WCAG's least contrast of graphics a user must make out.
constexpr double Legible = 3.0;
// Disabled controls are exempt from it: the chrome fades them to 30 %, which
// on the light panels no colour of glyph could bring to 3:1 (black reaches
// 1.9:1). They must still show.
constexpr double StillVisible = 1.5;
// A colour reads as the glyph when its legible pixels stretch across at
// least this much of the glyph's width and height.
constexpr double TracesGlyph = 0.75;

QRectF iconRect()
{
    QRectF rect(0, 0, IconSide, IconSide);
    rect.moveCenter(Centre);
    return rect;
}

void renderArt(QPainter &painter, const QString &file, QPointF centre, double scale = ArtScale)
{
    QSvgRenderer art(file);
    UI::drawArtCentred(painter, art, centre, scale);
}

// WCAG 2 relative luminance and contrast ratio of two opaque colours.
double luminance(QRgb colour)
{
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) + 0.0722 * linear(qBlue(colour));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colours a glyph is drawn with: the darkest and the lightest colour of
// the pixels it covers at least half (the same colour for a glyph of one).
std::pair<QRgb, QRgb> strokeColours(const QImage &ink)
{
    QRgb darkest = qRgb(255, 255, 255);
    QRgb lightest = qRgb(0, 0, 0);
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            const QRgb pixel = ink.pixel(x, y);
            if (qAlpha(pixel) < 128)
                continue;
            const QRgb colour = qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
            if (luminance(colour) < luminance(darkest))
                darkest = colour;
            if (luminance(colour) > luminance(lightest))
                lightest = colour;
        }
    }
    return {darkest, lightest};
}

// How much of each pixel one of the two colours covers: the pixel's colour
// read as a mix of the two, times the pixel's coverage.
std::vector<double> coverageOf(const QImage &ink, QRgb colour, QRgb other)
{
    std::vector<double> coverage(size_t(ink.width() * ink.height()), 0.0);
    const double dr = qRed(colour) - qRed(other);
    const double dg = qGreen(colour) - qGreen(other);
    const double db = qBlue(colour) - qBlue(other);
    const double length = dr * dr + dg * dg + db * db;
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            const QRgb pixel = ink.pixel(x, y);
            double share = 1.0;
            if (length > 0.0) {
                share = ((qRed(pixel) - qRed(other)) * dr + (qGreen(pixel) - qGreen(other)) * dg
                         + (qBlue(pixel) - qBlue(other)) * db)
                        / length;
                share = std::clamp(share, 0.0, 1.0);
            }
            coverage[size_t(y * ink.width() + x)] = share * qAlpha(pixel) / 255.0;
        }
    }
    return coverage;
}

// The colour painted at full strength wherever it covers any of a pixel.
QImage layerOf(QSize size, const std::vector<double> &coverage, QRgb colour)
{
    QImage layer(size, QImage::Format_ARGB32);
    layer.fill(Qt::transparent);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (coverage[size_t(y * size.width() + x)] > 0.0)
                layer.setPixel(x, y, colour);
        }
    }
    return layer;
}

// What one of the glyph's colours shows on one ground.
struct Reading
{
    double contrast = 1.0;
    double span = 0.0;
};

// One colour of the glyph on its ground, after WCAG's rule for graphics: the
// contrast ratio of the colour against the ground behind it, pixel by pixel
// (the colour at full strength: antialiasing only softens its rim),
// averaged by how much of each pixel the colour covers; and the span, how
// far the pixels that the colour covers at least half and where it reaches
// 3:1 stretch across the glyph (the smaller of the width and height
// fractions of the glyph's bounds), so that a colour that draws only a
// corner of the glyph does not count.
Reading read(const QImage &ground, const QImage &painted, const QImage &ink, const std::vector<double> &coverage)
{
    QRect glyph;
    QRect legible;
    double weighted = 0.0;
    double covered = 0.0;
    for (int y = 0; y < ink.height(); ++y) {
        for (int x = 0; x < ink.width(); ++x) {
            if (qAlpha(ink.pixel(x, y)) >= 128)
                glyph |= QRect(x, y, 1, 1);
            const double share = coverage[size_t(y * ink.width() + x)];
            if (share <= 0.0)
                continue;
            const double ratio = contrast(ground.pixel(x, y), painted.pixel(x, y));
            weighted += ratio * share;
            covered += share;
            if (share >= 0.5 && ratio >= Legible)
                legible |= QRect(x, y, 1, 1);
        }
    }
    Reading reading;
    if (glyph.isEmpty() || covered <= 0.0)
        return reading;
    reading.contrast = weighted / covered;
    reading.span = std::min(double(legible.width()) / glyph.width(), double(legible.height()) / glyph.height());
    return reading;
}

// How a reader makes out a glyph: by the one of its colours that stands out
// most from the ground, as long as that colour traces the glyph. A glyph
// drawn as a dark body with a light edge shows its body on light grounds and
// its edge on dark ones.
Reading bestReading(const QImage &ink,
                    const std::function<Reading(const QImage &layer, const std::vector<double> &coverage)> &readLayer)
{
    const auto [dark, light] = strokeColours(ink);
    Reading best;
    for (const auto &[colour, other] : {std::pair(dark, light), std::pair(light, dark)}) {
        const std::vector<double> coverage = coverageOf(ink, colour, other);
        const Reading reading = readLayer(layerOf(ink.size(), coverage, colour), coverage);
        const bool traces = reading.span >= TracesGlyph;
        const bool bestTraces = best.span >= TracesGlyph;
        if ((traces && !bestTraces) || (traces == bestTraces && reading.contrast > best.contrast))
            best = reading;
    }
    return best;
}

// A ground the chrome paints an icon on: what lies under the icon, what is
// painted over it (hover frames, glows) and the opacity the icon gets.
struct Surface
{
    std::function<void(QPainter &)> under;
    std::function<void(QPainter &)> over;
    double opacity = 1.0;
};

QImage paintOn(const Surface &surface, const QImage *ink)
{
    QImage image(Side, Side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    surface.under(painter);
    if (ink) {
        painter.save();
        painter.setOpacity(surface.opacity);
        painter.drawImage(0, 0, *ink);
        painter.restore();
    }
    if (surface.over)
        surface.over(painter);
    return image;
}

// The glyph as QIcon paints it, alone: its colour and coverage of each pixel.
QImage inkOf(const QIcon &icon, const QRect &rect, QSize imageSize)
{
    QImage ink(imageSize, QImage::Format_ARGB32_Premultiplied);
    ink.fill(Qt::transparent);
    QPainter painter(&ink);
    icon.paint(&painter, rect, Qt::AlignCenter, QIcon::Normal, QIcon::Off);
    painter.end();
    return ink.convertToFormat(QImage::Format_ARGB32);
}

// The tool bar and the tool-bar editor: the light inset of the bar, the
// pressed well under a checked icon, the hover frame over the icon.
void toolBar(QPainter &painter)
{
    painter.fillRect(QRectF(0, 0, Side, Side), Light);
}

void clickWell(QPainter &painter)
{
    toolBar(painter);
    renderArt(painter, QStringLiteral(":/toolbar/icon-click.svg"), Centre + QPointF(0, 2) * ArtScale);
}

void hoverFrame(QPainter &painter)
{
    renderArt(painter, QStringLiteral(":/toolbar/icon-hover.svg"), Centre + QPointF(1, 1) * ArtScale);
}

// The speed dial (and its editor, which paints the same art) around slot 0,
// to the right of its centre, over the paper.
constexpr double DialSide = 194 * ArtScale;
const QPointF DialCentre(97 * ArtScale, 97 * ArtScale);
const QPointF SlotCentre = DialCentre + QPointF(69 * ArtScale, 0);

void toDial(QPainter &painter)
{
    painter.translate(Centre - SlotCentre);
}

void dialFace(QPainter &painter)
{
    toDial(painter);
    QSvgRenderer(QStringLiteral(":/speeddial/quickselectBase.svg")).render(&painter, QRectF(0, 0, DialSide, DialSide));
    painter.resetTransform();
}

// The lit wedge of a chosen slot, with its shadow.
void dialHighlight(QPainter &painter)
{
    toDial(painter);
    renderArt(painter, QStringLiteral(":/speeddial/quickselectHighlightShadow.svg"), SlotCentre);
    const double outer = 89.75 * ArtScale;
    const double inner = 46.75 * ArtScale;
    QPainterPath ring;
    ring.addEllipse(DialCentre, outer, outer);
    QPainterPath hole;
    hole.addEllipse(DialCentre, inner, inner);
    QPainterPath pie(DialCentre);
    pie.arcTo(QRectF(DialCentre - QPointF(outer, outer), QSizeF(2 * outer, 2 * outer)), -22.5, 45);
    pie.closeSubpath();
    painter.fillPath(ring.subtracted(hole).intersected(pie), Light);
    painter.resetTransform();
}

// The customise overlay's action list: the dashed frame of an item.
void actionListItem(QPainter &painter)
{
    painter.fillRect(QRectF(0, 0, Side, Side), Overlay);
    renderArt(painter, QStringLiteral(":/customize/iconFrame.svg"), Centre);
}

// The picture under the pointer while an action is dragged over the overlay.
void dragPicture(QPainter &painter)
{
    painter.fillRect(QRectF(0, 0, Side, Side), Overlay);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(234, 231, 229, 192));
    painter.drawRoundedRect(iconRect(), 25, 25, Qt::RelativeSize);
}

// The controls bar lies over the paper; its pockets hold the pen and eraser
// icons, the chosen one over a shadow and under a glow. The same pockets
// stand on the tool settings panel.
void controlsBar(QPainter &painter)
{
    QColor bar = Dark;
    bar.setAlpha(191);
    painter.fillRect(QRectF(0, 0, Side, Side), bar);
}

void pocketShadow(QPainter &painter)
{
    controlsBar(painter);
    QSvgRenderer art(QStringLiteral(":/toolpocket/penpresetShadow.svg"));
    const QSizeF size = QSizeF(art.defaultSize()) * ArtScale;
    const double baseLine = iconRect().bottom() + 1;
    const double x = Centre.x() + 5 * ArtScale;
    art.render(&painter, QRectF(QPointF(x - size.width() / 2, baseLine - size.height()), size));
}

void pocketGlow(QPainter &painter)
{
    renderArt(painter, QStringLiteral(":/toolpocket/penpresetHighlight.svg"), Centre - QPointF(0, ArtScale));
}

// The exposure sheet's button bar, with the pressed well of the dark panels.
void sheetBar(QPainter &painter)
{
    QLinearGradient band(0, Centre.y() - 24, 0, Centre.y() + 24);
    band.setColorAt(0, QColor(100, 96, 92));
    band.setColorAt(1, QColor(116, 112, 108));
    painter.fillRect(QRectF(0, 0, Side, Side), band);
}

void sheetBarWell(QPainter &painter)
{
    sheetBar(painter);
    renderArt(painter, QStringLiteral(":/toolsettings/icon-click-darkBG.svg"), Centre + QPointF(0, 2) * ArtScale);
}

const std::map<QString, Surface> &surfaces()
{
    const auto fill = [](QColor colour) {
        return [colour](QPainter &painter) { painter.fillRect(QRectF(0, 0, Side, Side), colour); };
    };
    static const std::map<QString, Surface> all{
        {QStringLiteral("tool bar"), {toolBar, {}}},
        {QStringLiteral("tool bar, hovered"), {toolBar, hoverFrame}},
        {QStringLiteral("tool bar, checked"), {clickWell, {}}},
        {QStringLiteral("tool bar, pressed"), {clickWell, hoverFrame}},
        {QStringLiteral("tool bar, disabled"), {toolBar, {}, 0.3}},
        {QStringLiteral("speed dial"), {dialFace, {}}},
        {QStringLiteral("speed dial, disabled"), {dialFace, {}, 0.3}},
        {QStringLiteral("speed dial, highlighted"),
         {[](QPainter &painter) {
              dialFace(painter);
              dialHighlight(painter);
          },
          {}}},
        {QStringLiteral("speed dial, chosen"), {dialHighlight, {}}},
        {QStringLiteral("action list"), {actionListItem, {}}},
        {QStringLiteral("dragged action"), {dragPicture, {}}},
        {QStringLiteral("controls bar"), {controlsBar, {}}},
        {QStringLiteral("controls bar, chosen tool"), {pocketShadow, pocketGlow}},
        {QStringLiteral("tool settings panel"), {fill(PanelGrey), {}}},
        {QStringLiteral("exposure sheet bar"), {sheetBar, {}}},
        {QStringLiteral("exposure sheet bar, checked"), {sheetBarWell, {}}},
        {QStringLiteral("customise overlay"), {fill(Overlay), {}}},
    };
    return all;
}

// A menu entry as the platform style paints it, with the icon given; the
// menu shows icons at the style's small icon size.
QImage menuEntry(const QIcon &icon, bool highlighted)
{
    QMenu menu;
    QAction *action = menu.addAction(icon, QStringLiteral("Draw"));
    menu.adjustSize();
    if (highlighted)
        menu.setActiveAction(action);
    return menu.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QIcon solidIcon(int side, QColor colour)
{
    QPixmap pixmap(side, side);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QStringList actionIcons()
{
    return QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
}

QStringList ourSvgFiles()
{
    QStringList files;
    QDirIterator it(QStringLiteral(KL_RESOURCES_DIR), {QStringLiteral("*.svg")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(QStringLiteral(KL_RESOURCES_DIR)).relativeFilePath(it.next());
    files.sort();
    return files;
}

QStringList g_messages;

void collectMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    g_messages << QStringLiteral("%1: %2").arg(QLatin1String(context.category ? context.category : "default"), message);
}

QString describe(const Reading &reading)
{
    return QStringLiteral("contrast %1:1, legible across %2 % of the glyph")
        .arg(reading.contrast, 0, 'f', 2)
        .arg(int(reading.span * 100));
}

} // namespace

// The program's own art: every action icon reads on every surface the chrome
// paints it on, and every SVG renders in Qt SVG without a complaint.
class TestArtwork : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void iconsReadOnTheChrome_data();
    void iconsReadOnTheChrome();
    void iconsReadInMenus_data();
    void iconsReadInMenus();
    void svgRendersCleanly_data();
    void svgRendersCleanly();
};

void TestArtwork::initTestCase()
{
    TestSupport::startModel();
    UI::registerUiResources();
    // Menus are painted by the program's style over the platform's.
    QApplication::setStyle(new UI::KLProxyStyle);
    QVERIFY(actionIcons().size() >= 62);
}

void TestArtwork::iconsReadOnTheChrome_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("surface");
    QTest::addColumn<double>("least");

    for (const QString &icon : actionIcons()) {
        for (const auto &[name, surface] : surfaces()) {
            const double least = surface.opacity < 1.0 ? StillVisible : Legible;
            QTest::addRow("%s on %s", qPrintable(icon), qPrintable(name)) << icon << name << least;
        }
    }
}

void TestArtwork::iconsReadOnTheChrome()
{
    QFETCH(QString, icon);
    QFETCH(QString, surface);
    QFETCH(double, least);

    const Surface &ground = surfaces().at(surface);
    const QImage ink = inkOf(QIcon(QStringLiteral(":/icons/") + icon), iconRect().toRect(), QSize(Side, Side));
    const QImage bare = paintOn(ground, nullptr);
    const Reading reading = bestReading(ink, [&](const QImage &layer, const std::vector<double> &coverage) {
        return read(bare, paintOn(ground, &layer), ink, coverage);
    });
    QVERIFY2(reading.contrast >= least, qPrintable(describe(reading)));
    if (least >= Legible)
        QVERIFY2(reading.span >= TracesGlyph, qPrintable(describe(reading)));
}

void TestArtwork::iconsReadInMenus_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("highlighted");

    for (const QString &icon : actionIcons()) {
        QTest::addRow("%s in a menu", qPrintable(icon)) << icon << false;
        QTest::addRow("%s on a highlighted entry", qPrintable(icon)) << icon << true;
    }
}

// Menus are painted by the platform style; the entry is painted with a
// solid probe icon to find where the style puts icons.
void TestArtwork::iconsReadInMenus()
{
    QFETCH(QString, icon);
    QFETCH(bool, highlighted);

    const int side = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
    const QImage ground = menuEntry(solidIcon(side, Qt::transparent), highlighted);
    const QImage probe = menuEntry(solidIcon(side, QColor(255, 0, 255)), highlighted);
    QRect place;
    for (int y = 0; y < ground.height(); ++y) {
        for (int x = 0; x < ground.width(); ++x) {
            if (ground.pixel(x, y) != probe.pixel(x, y))
                place |= QRect(x, y, 1, 1);
        }
    }
    QCOMPARE(place.size(), QSize(side, side));

    const QImage ink = inkOf(QIcon(QStringLiteral(":/icons/") + icon), place, ground.size());
    const Reading reading = bestReading(ink, [&](const QImage &layer, const std::vector<double> &coverage) {
        QImage painted = ground;
        QPainter(&painted).drawImage(0, 0, layer);
        return read(ground, painted, ink, coverage);
    });
    QVERIFY2(reading.contrast >= Legible, qPrintable(describe(reading)));
    QVERIFY2(reading.span >= TracesGlyph, qPrintable(describe(reading)));
}

void TestArtwork::svgRendersCleanly_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : ourSvgFiles())
        QTest::newRow(qPrintable(file)) << file;
}

// Qt SVG draws only what it understands and says so for the rest (patterns,
// filters, masks): a silent, valid renderer means the art shows as drawn.
void TestArtwork::svgRendersCleanly()
{
    QFETCH(QString, file);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    bool valid = false;
    {
        QSvgRenderer renderer(QDir(QStringLiteral(KL_RESOURCES_DIR)).filePath(file));
        valid = renderer.isValid();
        QImage image(renderer.defaultSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
    }
    qInstallMessageHandler(previous);
    QVERIFY(valid);
    QCOMPARE(g_messages, QStringList());
}

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
