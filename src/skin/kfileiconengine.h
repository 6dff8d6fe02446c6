#pragma once

#include <QIconEngine>
#include <QImage>
#include <QString>

// An icon drawn from one image file that is read only when a picture or its size is first asked
// for. Setting it as a window's icon costs nothing; a platform that shows window icons reads it
// when the window is made, one that shows none (offscreen) never does. It is null when the file
// does not exist.
class KFileIconEngine : public QIconEngine
{
public:
    explicit KFileIconEngine(const QString &fileName);

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString key() const override;
    QIconEngine *clone() const override;
    bool isNull() override;

    // The icon of a file, as QIcon(fileName) draws it, read on first use.
    static QIcon icon(const QString &fileName);

private:
    const QImage &image();
    QSize fileSize();

    QString m_fileName;
    QSize m_fileSize;
    bool m_sizeRead = false;
    bool m_read = false;
    QImage m_image;
};
