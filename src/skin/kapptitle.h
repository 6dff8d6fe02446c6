#pragma once

#include <QPixmap>
#include <QPoint>
#include <QWidget>

namespace Ui {
class KAppTitleUI;
}

namespace VM {

// The title strip of a frameless skinned window: icon, title, right-hand label, minimise and close
// buttons over the stretched header image. It never moves or closes the window itself: drags with
// the left button become sigMoveWindow requests, button releases and clicks become sigClose and
// sigMinimize. A left click on a button therefore emits its signal twice (once from the release
// seen by the event filter, once from clicked()); receivers must tolerate repeats. GUI thread only.
class KAppTitle : public QWidget
{
    Q_OBJECT

public:
    explicit KAppTitle(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~KAppTitle() override;

    // Shows btnMinimize exactly when flags hold Qt::WindowMinimizeButtonHint, and btnClose exactly
    // when they hold Qt::WindowCloseButtonHint.
    void setButtons(Qt::WindowFlags flags);
    void setTitle(QString text);

signals:
    void sigClose();
    void sigMinimize();
    // The change of the global mouse position since the previous left press or move.
    void sigMoveWindow(QPoint ptDifference);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    Ui::KAppTitleUI *ui;
    QPoint ptLastPos;
    QPixmap pixHeader;
    QPixmap pixHeaderScaled;
};

} // namespace VM
