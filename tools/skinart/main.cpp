// Draws every image of the skin and the application icon with Qt's painter, so that the artwork
// can be made again from source: skinart <resources folder>. The same Qt version gives the same
// bytes. No text is drawn, so no font is needed.

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <functional>

namespace {

// The product's colours.
const QColor kSlateTop(78, 116, 170);
const QColor kSlateBottom(44, 74, 122);
const QColor kSlateDark(31, 54, 92);
const QColor kAmber(242, 168, 54);
const QColor kWhite(255, 255, 255);

QString g_root;

bool save(const QString &path, int width, int height, const std::function<void(QPainter &)> &draw)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    const QString file = g_root + QLatin1Char('/') + path;
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!image.save(file, "PNG")) {
        QTextStream(stderr) << "cannot write " << file << "\n";
        return false;
    }
    QTextStream(stdout) << path << " " << width << "x" << height << "\n";
    return true;
}

// Shape of the skinned message box: an opaque rounded rectangle inside a soft, partly transparent
// margin; the corners outside stay fully transparent. The corner radii are taller than wide
// because the image is squeezed far more in height than in width when it meets a message box.
void drawDialogShape(QPainter &painter)
{
    const QRectF full(0, 0, 940, 746);
    const int margin = 8;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i <= margin; ++i) {
        const int alpha = i == margin ? 255 : 24 + i * 24;
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setBrush(QColor(240, 240, 240, alpha));
        painter.drawRoundedRect(full.adjusted(i, i, -i, -i), 16 - i, 36 - 2 * i);
    }
}

// Push-button face, drawn as a border image with 5-pixel borders.
void drawButtonFace(QPainter &painter, const QColor &top, const QColor &bottom, const QColor &edge)
{
    const QRectF face(0.5, 0.5, 106, 28);
    QLinearGradient gradient(0, 0, 0, 29);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(gradient);
    painter.drawRoundedRect(face, 4, 4);
    // A thin light line under the top edge.
    painter.setPen(QPen(QColor(255, 255, 255, 150), 1));
    painter.drawLine(QPointF(4, 1.5), QPointF(103, 1.5));
}

// Title-bar background: slate gradient, light line on top, dark line at the bottom, rounded upper
// corners within the 16-pixel caps.
void drawHeader(QPainter &painter)
{
    const qreal w = 922;
    const qreal h = 29;
    const qreal r = 6;
    QPainterPath path;
    path.moveTo(0, h);
    path.lineTo(0, r);
    path.quadTo(0, 0, r, 0);
    path.lineTo(w - r, 0);
    path.quadTo(w, 0, w, r);
    path.lineTo(w, h);
    path.closeSubpath();
    QLinearGradient gradient(0, 0, 0, h);
    gradient.setColorAt(0, kSlateTop);
    gradient.setColorAt(1, kSlateBottom);
    painter.setPen(Qt::NoPen);
    painter.fillPath(path, gradient);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(int(r), 0, int(w - 2 * r), 1), QColor(120, 155, 205));
    painter.fillRect(QRect(0, int(h) - 1, int(w), 1), kSlateDark);
}

// Header buttons, 14 x 15: a glyph over nothing, a light plate (hover) or a dark plate (pressed);
// the close button's plates are red.
void drawHeaderButton(QPainter &painter, bool close, int state)
{
    const QRectF plate(0.5, 0.5, 13, 14);
    if (state > 0) {
        QColor fill;
        if (close)
            fill = state == 1 ? QColor(214, 76, 66) : QColor(160, 44, 38);
        else
            fill = state == 1 ? QColor(255, 255, 255, 70) : QColor(0, 0, 0, 80);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(plate, 3, 3);
    }
    QPen pen(QColor(255, 255, 255, state == 0 ? 225 : 255), 1.7);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    if (close) {
        painter.drawLine(QPointF(4, 4.5), QPointF(10, 10.5));
        painter.drawLine(QPointF(10, 4.5), QPointF(4, 10.5));
    } else {
        painter.drawLine(QPointF(4, 10.5), QPointF(10, 10.5));
    }
}

// Clock hands at ten past ten.
void drawHands(
    QPainter &painter, const QPointF &centre, qreal radius, const QColor &hands, qreal stroke)
{
    QPen handPen(hands, stroke);
    handPen.setCapStyle(Qt::RoundCap);
    painter.setPen(handPen);
    painter.drawLine(centre, centre + QPointF(-0.42 * radius, -0.30 * radius));
    painter.drawLine(centre, centre + QPointF(0.50 * radius, -0.50 * radius));
    painter.setPen(Qt::NoPen);
    painter.setBrush(hands);
    painter.drawEllipse(centre, stroke * 0.8, stroke * 0.8);
}

// A clock face with hands at ten past ten: the product's mark.
void drawClock(QPainter &painter, const QPointF &centre, qreal radius, const QColor &face,
    const QColor &ring, const QColor &hands, qreal stroke)
{
    painter.setPen(QPen(ring, stroke));
    painter.setBrush(face);
    painter.drawEllipse(centre, radius, radius);
    drawHands(painter, centre, radius, hands, stroke);
}

void drawTitleIcon(QPainter &painter)
{
    drawClock(painter, QPointF(8, 8), 6.6, kWhite, kAmber, kSlateDark, 1.6);
}

// The reporter's application icon: the clock on a slate tile, with an amber warning badge.
void drawApplicationIcon(QPainter &painter)
{
    const QRectF tile(12, 12, 232, 232);
    // Soft shadow under the tile.
    for (int i = 0; i < 8; ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 10));
        painter.drawRoundedRect(tile.adjusted(-i * 0.5, i * 0.6, i * 0.5, i * 0.9), 48, 48);
    }
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, QColor(98, 140, 200));
    gradient.setColorAt(1, QColor(36, 62, 106));
    painter.setBrush(gradient);
    painter.drawRoundedRect(tile, 48, 48);
    // Gloss on the upper half.
    QLinearGradient gloss(0, 12, 0, 128);
    gloss.setColorAt(0, QColor(255, 255, 255, 60));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    painter.setBrush(gloss);
    painter.drawRoundedRect(tile.adjusted(4, 4, -4, -116), 44, 44);

    const QPointF centre(122, 124);
    painter.setBrush(QColor(0, 0, 0, 45));
    painter.drawEllipse(centre + QPointF(0, 5), 82, 82);
    painter.setPen(QPen(QColor(222, 230, 240), 12));
    painter.setBrush(QColor(250, 251, 253));
    painter.drawEllipse(centre, 80, 80);
    // Hour ticks.
    painter.setPen(QPen(QColor(150, 165, 190), 6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; i += 3) {
        painter.save();
        painter.translate(centre);
        painter.rotate(i * 30);
        painter.drawLine(QPointF(0, -66), QPointF(0, -56));
        painter.restore();
    }
    drawHands(painter, centre, 80, kSlateDark, 12);

    // The warning badge.
    const QPointF badge(192, 190);
    painter.setPen(QPen(kWhite, 8));
    painter.setBrush(kAmber);
    painter.drawEllipse(badge, 40, 40);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kWhite);
    painter.drawRoundedRect(QRectF(badge.x() - 7, badge.y() - 26, 14, 34), 7, 7);
    painter.drawEllipse(badge + QPointF(0, 19), 8, 8);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: skinart <resources folder>\n";
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);

    bool ok
        = save(QStringLiteral("images/background/bg_skinneddialog.png"), 940, 746, drawDialogShape);
    ok &= save(QStringLiteral("buttons/normal/button_small_on.png"), 107, 29, [](QPainter &p) {
        drawButtonFace(p, QColor(253, 253, 254), QColor(221, 227, 235), QColor(138, 155, 180));
    });
    ok &= save(QStringLiteral("buttons/hover/button_small_hover.png"), 107, 29, [](QPainter &p) {
        drawButtonFace(p, QColor(240, 246, 255), QColor(196, 215, 240), QColor(74, 116, 176));
    });
    ok &= save(QStringLiteral("buttons/press/button_small_press.png"), 107, 29, [](QPainter &p) {
        drawButtonFace(p, QColor(182, 200, 226), QColor(218, 228, 241), QColor(52, 86, 138));
    });
    ok &= save(QStringLiteral("background_v2/bg_window_header_noborder.png"), 922, 29, drawHeader);
    ok &= save(QStringLiteral("background_v2/bg_empty.png"), 1, 1, [](QPainter &) {});
    ok &= save(QStringLiteral("icons/X2.png"), 16, 16, drawTitleIcon);
    const char *states[] = { "normal", "hover", "pressed" };
    for (int state = 0; state < 3; ++state) {
        for (const bool close : { false, true }) {
            const QString name = QStringLiteral("buttons_v2/header/btn_header_%1_%2.png")
                                     .arg(close ? "close" : "minimize", states[state]);
            ok &= save(
                name, 14, 15, [close, state](QPainter &p) { drawHeaderButton(p, close, state); });
        }
    }
    ok &= save(QStringLiteral("icons/application/velmora_dump.png"), 256, 256, drawApplicationIcon);
    return ok ? 0 : 1;
}
