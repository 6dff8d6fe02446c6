#include "skin/krichtextlabel.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextFrame>
#include <QtMath>

KRichTextLabel::KRichTextLabel(QWidget *parent)
    : QLabel(parent)
{ }

KRichTextLabel::~KRichTextLabel() = default;

bool KRichTextLabel::drawsItself() const
{
    if (!wordWrap() || margin() != 0 || indent() > 0 || frameWidth() != 0 || text().isEmpty())
        return false;
    // A style sheet may give the label a palette of its own, which only QLabel knows how to read.
    if (style()->inherits("QStyleSheetStyle"))
        return false;
    if (textFormat() == Qt::RichText)
        return true;
    return textFormat() == Qt::AutoText && Qt::mightBeRichText(text());
}

// The document as QLabel makes it: the label's font, no document margin, the label's alignment,
// wrapped at word boundaries. Made again when the text, the font or the alignment changes.
QTextDocument *KRichTextLabel::document() const
{
    const int alignment = int(QLabel::alignment()) | Qt::TextExpandTabs | Qt::TextWordWrap;
    if (m_document && m_documentText == text() && m_documentFont == font()
        && m_documentAlignment == alignment)
        return m_document.get();
    m_document = std::make_unique<QTextDocument>();
    m_document->setUndoRedoEnabled(false);
    m_document->setDefaultFont(font());
    QTextOption option = m_document->defaultTextOption();
    option.setAlignment(QFlag(alignment));
    option.setWrapMode(QTextOption::WordWrap);
    m_document->setDefaultTextOption(option);
    m_document->setDocumentMargin(0);
    m_document->setHtml(text());
    QTextFrameFormat frame = m_document->rootFrame()->frameFormat();
    frame.setMargin(0);
    m_document->rootFrame()->setFrameFormat(frame);
    m_documentText = text();
    m_documentFont = font();
    m_documentAlignment = alignment;
    m_laidOutWidth = -2;
    m_sizes.clear();
    m_adjustedSize = QSizeF();
    return m_document.get();
}

QSizeF KRichTextLabel::documentSize(int textWidth) const
{
    document();
    const auto known = m_sizes.constFind(textWidth);
    if (known != m_sizes.constEnd())
        return *known;
    layOut(textWidth);
    return m_sizes.value(textWidth);
}

void KRichTextLabel::layOut(int textWidth) const
{
    QTextDocument *laidOut = document();
    if (m_laidOutWidth == textWidth)
        return;
    laidOut->setTextWidth(textWidth);
    m_laidOutWidth = textWidth;
    m_sizes.insert(textWidth, laidOut->size());
}

// The size QLabel gives a word-wrapped rich text for a width; -1 asks for the width the document
// itself finds most pleasing.
QSize KRichTextLabel::sizeForWidth(int width) const
{
    if (minimumWidth() > 0)
        width = qMax(width, minimumWidth());
    const QMargins margins = contentsMargins();
    const QSize contentsMargin(margins.left() + margins.right(), margins.top() + margins.bottom());
    QSizeF size;
    if (width >= 0) {
        size = documentSize(qMax(width - contentsMargin.width(), 0));
    } else {
        // The document's own choice, as QTextDocument::adjustSize() makes it, asked for once.
        QTextDocument *adjusted = document();
        if (!m_adjustedSize.isValid()) {
            adjusted->adjustSize();
            m_adjustedSize = adjusted->size();
            m_laidOutWidth = adjusted->textWidth();
        }
        size = m_adjustedSize;
    }
    const QSize contents(qCeil(size.width()), qCeil(size.height()));
    return (contents + contentsMargin).expandedTo(minimumSize());
}

QSize KRichTextLabel::sizeHint() const
{
    if (!drawsItself())
        return QLabel::sizeHint();
    ensurePolished();
    return sizeForWidth(-1);
}

QSize KRichTextLabel::minimumSizeHint() const
{
    if (!drawsItself())
        return QLabel::minimumSizeHint();
    ensurePolished();
    const QSize hint = sizeForWidth(-1);
    // As high as one line a paragraph, as wide as the widest word, never higher than the hint.
    QSize minimum(sizeForWidth(0).width(), sizeForWidth(QWIDGETSIZE_MAX).height());
    if (hint.height() < minimum.height())
        minimum.setHeight(hint.height());
    return minimum;
}

int KRichTextLabel::heightForWidth(int width) const
{
    if (!drawsItself())
        return QLabel::heightForWidth(width);
    return sizeForWidth(width).height();
}

void KRichTextLabel::paintEvent(QPaintEvent *event)
{
    if (!drawsItself()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect();
    QTextDocument *laidOut = document();
    layOut(area.width());
    // Vertically centred as QLabel places its text; the text takes the colour of the label's
    // foreground.
    const qreal height = laidOut->documentLayout()->documentSize().height();
    const int align = int(QLabel::alignment());
    qreal top = 0;
    if (align & Qt::AlignVCenter)
        top = qMax((area.height() - height) / 2, qreal(0));
    else if (align & Qt::AlignBottom)
        top = qMax(area.height() - height, qreal(0));
    const QRectF layoutRect = QRectF(area.x(), top + area.y(), area.width(), area.height());
    const QRectF aligned = layoutRect.toAlignedRect();

    QStyleOption option;
    option.initFrom(this);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = option.palette;
    if (foregroundRole() != QPalette::Text && isEnabled())
        context.palette.setColor(QPalette::Text, context.palette.color(foregroundRole()));
    painter.translate(aligned.topLeft());
    painter.setClipRect(aligned.translated(-aligned.x(), -aligned.y()));
    laidOut->documentLayout()->draw(&painter, context);
}
