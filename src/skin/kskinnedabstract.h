#pragma once

#include "skin/kapptitle.h"
#include "skin/skinmode.h"

#include <QBitmap>
#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QString>
#include <QWidget>

// The product's skin for a top-level window of Qt class T: a background painted in one of six
// fixed styles, a window shape (classic mode only) taken from the alpha of a background image
// stretched to the window with a nine-slice scaler, and the title shown in the native title and
// in the skin's title bar.
//
// The skinned window derives from T first and from KSkinnedAbstract<T> second, sets sliceBorder,
// backgroundStyle, backgroundImage and titleBar in its constructor, calls paintBackground() from
// its paintEvent and updateMask() from its resizeEvent. Not a QObject. GUI thread only.
template <class T> class KSkinnedAbstract
{
public:
    explicit KSkinnedAbstract(T *owner)
        : owner(owner)
    { }

    // Sets the native window title and, in classic mode, the title bar's text.
    void setTitle(const QString &text)
    {
        title = text;
        owner->setWindowTitle(text);
        if (titleBar && isClassicSkin())
            titleBar->setTitle(text);
    }

    // Paints the owner's whole area in backgroundStyle:
    //   0 inner rectangle, blue-grey vertical gradient    3 whole window, light grey gradient
    //   1 inner rectangle, solid slate blue               4 balloon: green body, grey band, pointer
    //   2 inner rectangle, solid light blue-grey          5 the stretched image (classic), white
    //   (native)
    // The inner rectangle leaves 5 pixels left, right and bottom, and 20 (classic) or 5 (native)
    // pixels at the top; the rest, for styles 0 to 4 and unknown styles, is rgb(203, 212, 221).
    void paintBackground()
    {
        const int w = owner->width();
        const int h = owner->height();
        const bool classic = isClassicSkin();
        const QRect full(0, 0, w, h);
        const int top = classic ? 20 : 5;
        const QRect inner(5, top, w - 10, h - top - 5);

        QPainter painter(owner);
        if (backgroundStyle != 5)
            painter.fillRect(full, QColor(203, 212, 221));

        switch (backgroundStyle) {
        case 0: {
            QLinearGradient gradient(0, 0, 0, h);
            gradient.setColorAt(0, QColor(237, 243, 250));
            gradient.setColorAt(1, QColor(198, 202, 210));
            painter.fillRect(inner, gradient);
            break;
        }
        case 1:
            painter.fillRect(inner, QColor(143, 162, 194));
            break;
        case 2:
            painter.fillRect(inner, QColor(222, 228, 234));
            break;
        case 3: {
            QLinearGradient gradient(0, 0, 0, h);
            gradient.setColorAt(0, QColor(244, 244, 244));
            gradient.setColorAt(1, QColor(227, 227, 227));
            painter.fillRect(full, gradient);
            break;
        }
        case 4:
            painter.fillRect(QRect(0, 0, w, h - 20), QColor(197, 236, 145));
            painter.fillRect(QRect(0, h - 20, w, 10), QColor(145, 145, 145));
            fillPointer(painter, w, h);
            break;
        case 5:
            if (classic) {
                if (!backgroundCache.isNull())
                    painter.drawPixmap(full, backgroundCache, full);
            } else {
                painter.fillRect(full, QColor(255, 255, 255));
            }
            break;
        default:
            break;
        }
    }

    // Classic mode: gives target the shape of backgroundImage stretched to width x height (pixels
    // whose alpha is not zero belong to the window) and, for style 5, keeps the stretched image
    // for paintBackground(). Native mode: leaves the target as it is. The image is loaded anew on
    // every call; an image that cannot be loaded is not reported.
    void updateMask(int width, int height, QWidget *target)
    {
        if (!isClassicSkin())
            return;
        const QPixmap source(backgroundImage);
        const QPixmap scaled = scaledBackground(source, sliceBorder, width, height);
        if (backgroundStyle == 5)
            backgroundCache = scaled;
        target->setMask(scaled.mask());
    }

    // A width x height image made from source by nine-slice scaling: corners of border x border
    // pixels are copied, edges stretched along their length, the centre stretched both ways; with
    // border 0 the whole source is stretched onto the whole image. In style 4 the bottom row sits
    // 10 pixels higher and the balloon's pointer is added below it.
    virtual QPixmap scaledBackground(const QPixmap &source, int border, int width, int height)
    {
        if (width <= 0 || height <= 0)
            return QPixmap();
        QPixmap result(width, height);
        result.fill(Qt::transparent);

        const int sw = source.width();
        const int sh = source.height();
        const int b = border;
        const int w = width;
        const int h = height;
        const int tail = backgroundStyle == 4 ? 10 : 0;

        QPainter painter(&result);
        const auto piece = [&](const QRect &from, const QRect &to) {
            if (from.isValid() && to.isValid())
                painter.drawPixmap(to, source, from);
        };
        piece(QRect(0, 0, b, b), QRect(0, 0, b, b));
        piece(QRect(b, 0, sw - 2 * b, b), QRect(b, 0, w - 2 * b, b));
        piece(QRect(sw - b, 0, b, b), QRect(w - b, 0, b, b));
        piece(QRect(0, b, b, sh - 2 * b), QRect(0, b, b, h - 2 * b));
        piece(QRect(b, b, sw - 2 * b, sh - 2 * b), QRect(b, b, w - 2 * b, h - 2 * b));
        piece(QRect(sw - b, b, b, sh - 2 * b), QRect(w - b, b, b, h - 2 * b));
        piece(QRect(0, sh - b, b, b), QRect(0, h - tail - b, b, b));
        // With a tail the bottom edge follows the bottom corners up.
        piece(QRect(b, sh - b, sw - 2 * b, b), QRect(b, h - tail - b, w - 2 * b, b));
        piece(QRect(sw - b, sh - b, b, b), QRect(w - b, h - tail - b, b, b));

        if (tail > 0)
            fillPointer(painter, w, h);
        return result;
    }

protected:
    // Not deleted through this base: the skinned window is destroyed as itself.
    ~KSkinnedAbstract() = default;

    int sliceBorder = 0;
    int backgroundStyle = 0;
    QString backgroundImage;
    QString title;
    QPixmap backgroundCache;
    // Not owned: it belongs to the window's widget tree.
    VM::KAppTitle *titleBar = nullptr;
    T *owner;

private:
    // The balloon's pointer below the body: (w/2 - 5, h - 10), (w/2, h - 2), (w/2 + 5, h - 10).
    static void fillPointer(QPainter &painter, int w, int h)
    {
        const int middle = w / 2;
        const QPolygon triangle(
            { QPoint(middle - 5, h - 10), QPoint(middle, h - 2), QPoint(middle + 5, h - 10) });
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(145, 145, 145));
        painter.drawPolygon(triangle);
        painter.restore();
    }
};
