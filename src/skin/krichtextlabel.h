#pragma once

#include <QHash>
#include <QLabel>
#include <QSizeF>

#include <memory>

class QTextDocument;

// A label for a word-wrapped rich text that does not change while it is shown, such as a window's
// header. It sizes and draws the text as QLabel does, but keeps one document of its own and lays
// it out once for each width asked for; QLabel lays its document out again for every question
// about its size and after every change of its options, each pass shaping the whole text anew.
// Any other content (plain text, no word wrap, a margin, an indent or a frame) is left to QLabel.
class KRichTextLabel : public QLabel
{
    Q_OBJECT

public:
    explicit KRichTextLabel(QWidget *parent = nullptr);
    ~KRichTextLabel() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool drawsItself() const;
    QTextDocument *document() const;
    QSizeF documentSize(int textWidth) const;
    void layOut(int textWidth) const;
    QSize sizeForWidth(int width) const;

    mutable std::unique_ptr<QTextDocument> m_document;
    mutable QString m_documentText;
    mutable QFont m_documentFont;
    mutable int m_documentAlignment = 0;
    mutable qreal m_laidOutWidth = -2;
    mutable QHash<int, QSizeF> m_sizes;
    mutable QSizeF m_adjustedSize;
};
