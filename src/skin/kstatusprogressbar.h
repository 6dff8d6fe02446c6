#pragma once

#include <QElapsedTimer>
#include <QProgressBar>
#include <QString>
#include <QTimer>

// A progress bar that carries a line of status text on itself ("120 / 200 KB, 14 s left",
// "Signing in… 3 s"), either busy (range 0..0) or with a value. The text never widens the bar:
// when it does not fit the bar's width, the bar shows it shortened with "…" at its end and offers
// the whole text as its tool tip. Assistive technology reads the whole text as the bar's
// description, which changes at most once a second: a newer text that comes sooner waits for the
// second to pass, and the last one always arrives.
class KStatusProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    // The shortest time between two changes of the accessible description.
    static constexpr int descriptionIntervalMs = 1000;

    explicit KStatusProgressBar(QWidget *parent = nullptr);

    // Shows text on the bar (elided to fit when needed); the description follows within a second.
    void setStatusText(const QString &text);
    // Empties the text and the description at once; the next text is described at once too. For
    // a bar that is being hidden or starts anew.
    void clearStatusText();
    // The whole text, as last set.
    QString statusText() const { return m_statusText; }
    // True when the text is shown shortened.
    bool isElided() const { return m_shownText != m_statusText; }

    // What the bar draws: the status text as it fits.
    QString text() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitText();
    void publishDescription();

    QString m_statusText;
    QString m_shownText;
    QElapsedTimer m_sinceDescription; // invalid: the next description goes out at once
    QTimer m_descriptionTimer;
};
