#include "skin/kfileiconengine.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <memory>

namespace {
// The reader of the file, told its format by the name, so that no image plugin is loaded to guess.
std::unique_ptr<QImageReader> readerOf(const QString &fileName)
{
    return std::make_unique<QImageReader>(fileName, QFileInfo(fileName).suffix().toLatin1());
}
} // namespace

KFileIconEngine::KFileIconEngine(const QString &fileName)
    : m_fileName(fileName)
{ }

QSize KFileIconEngine::fileSize()
{
    if (!m_sizeRead) {
        m_sizeRead = true;
        m_fileSize = m_read ? m_image.size() : readerOf(m_fileName)->size();
    }
    return m_fileSize;
}

const QImage &KFileIconEngine::image()
{
    if (!m_read) {
        m_read = true;
        m_image = readerOf(m_fileName)->read();
    }
    return m_image;
}

QSize KFileIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State)
{
    const QSize picture = fileSize();
    if (!picture.isValid())
        return QSize();
    // Never larger than the picture, its proportions kept, as the toolkit's file icons do.
    if (picture.width() <= size.width() && picture.height() <= size.height())
        return picture;
    return picture.scaled(size, Qt::KeepAspectRatio);
}

QPixmap KFileIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    const QSize actual = actualSize(size, mode, state);
    if (actual.isEmpty() || image().isNull())
        return QPixmap();
    QPixmap pixmap = QPixmap::fromImage(actual == m_image.size()
            ? m_image
            : m_image.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    if (mode != QIcon::Normal && qApp) {
        QStyleOption option;
        option.palette = QApplication::palette();
        const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        if (!generated.isNull())
            pixmap = generated;
    }
    return pixmap;
}

void KFileIconEngine::paint(
    QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    QPixmap picture = pixmap(rect.size() * ratio, mode, state);
    if (picture.isNull())
        return;
    picture.setDevicePixelRatio(ratio);
    const QSize shown = picture.deviceIndependentSize().toSize();
    const QRect target(rect.topLeft()
            + QPoint((rect.width() - shown.width()) / 2, (rect.height() - shown.height()) / 2),
        shown);
    painter->drawPixmap(target, picture);
}

QList<QSize> KFileIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    const QSize picture = fileSize();
    if (!picture.isValid())
        return {};
    return { picture };
}

QString KFileIconEngine::key() const
{
    return QStringLiteral("KFileIconEngine");
}

QIconEngine *KFileIconEngine::clone() const
{
    return new KFileIconEngine(*this);
}

bool KFileIconEngine::isNull()
{
    // Asked often, and before any picture is needed: the file's presence answers it unread.
    return !QFileInfo::exists(m_fileName);
}

QIcon KFileIconEngine::icon(const QString &fileName)
{
    return QIcon(new KFileIconEngine(fileName));
}
