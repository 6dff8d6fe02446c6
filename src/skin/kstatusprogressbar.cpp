#include "skin/kstatusprogressbar.h"

#include <QEvent>
#include <QFontMetrics>

KStatusProgressBar::KStatusProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    m_descriptionTimer.setSingleShot(true);
    m_descriptionTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_descriptionTimer, &QTimer::timeout, this, &KStatusProgressBar::publishDescription);
}

void KStatusProgressBar::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    fitText();
    publishDescription();
}

void KStatusProgressBar::clearStatusText()
{
    m_statusText.clear();
    m_descriptionTimer.stop();
    m_sinceDescription.invalidate();
    setAccessibleDescription(QString());
    fitText();
}

QString KStatusProgressBar::text() const
{
    return m_shownText;
}

void KStatusProgressBar::resizeEvent(QResizeEvent *event)
{
    QProgressBar::resizeEvent(event);
    fitText();
}

void KStatusProgressBar::changeEvent(QEvent *event)
{
    QProgressBar::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitText();
}

void KStatusProgressBar::fitText()
{
    const QFontMetrics metrics(font());
    // Room for the style's margins around the text on both sides.
    const int margin = 2 * metrics.horizontalAdvance(QLatin1Char(' ')) + 4;
    const QString shown = metrics.horizontalAdvance(m_statusText) + margin <= width()
        ? m_statusText
        : metrics.elidedText(m_statusText, Qt::ElideRight, qMax(0, width() - margin));
    const QString toolTip = shown == m_statusText ? QString() : m_statusText;
    if (QWidget::toolTip() != toolTip)
        setToolTip(toolTip);
    if (shown != m_shownText) {
        m_shownText = shown;
        update();
    }
}

void KStatusProgressBar::publishDescription()
{
    if (accessibleDescription() == m_statusText) {
        m_descriptionTimer.stop();
        return;
    }
    const qint64 since
        = m_sinceDescription.isValid() ? m_sinceDescription.elapsed() : descriptionIntervalMs;
    if (since >= descriptionIntervalMs) {
        m_descriptionTimer.stop();
        m_sinceDescription.start();
        setAccessibleDescription(m_statusText);
    } else if (!m_descriptionTimer.isActive()) {
        m_descriptionTimer.start(int(descriptionIntervalMs - since));
    }
}
