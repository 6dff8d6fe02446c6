#include "skin/kapptitle.h"

#include "skin/skinresources.h"
#include "ui_kapptitleui.h"

#include <QMouseEvent>
#include <QPainter>

namespace VM {

namespace {
// Width of the fixed caps at both ends of the header image; the middle is stretched.
constexpr int kHeaderCap = 16;
} // namespace

KAppTitle::KAppTitle(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::KAppTitleUI)
    , ptLastPos(0, 0)
{
    registerSkinResources();
    pixHeader.load(QStringLiteral(":/background_v2/background_v2/bg_window_header_noborder.png"));
    pixHeaderScaled = pixHeader;

    ui->setupUi(this);

    // Like a native title bar, the strip takes no keyboard focus: otherwise a dialog without a
    // default button gives the focus, and with it the Return key, to the close button.
    ui->btnClose->setFocusPolicy(Qt::NoFocus);
    ui->btnMinimize->setFocusPolicy(Qt::NoFocus);
    // Presses on the buttons must never start a drag of the window.
    ui->btnClose->setAttribute(Qt::WA_NoMousePropagation);
    ui->btnMinimize->setAttribute(Qt::WA_NoMousePropagation);
    ui->btnClose->installEventFilter(this);
    ui->btnMinimize->installEventFilter(this);
    connect(ui->btnClose, &QPushButton::clicked, this, &KAppTitle::sigClose);
    connect(ui->btnMinimize, &QPushButton::clicked, this, &KAppTitle::sigMinimize);
}

KAppTitle::~KAppTitle()
{
    delete ui;
}

void KAppTitle::setButtons(Qt::WindowFlags flags)
{
    ui->btnMinimize->setVisible(flags.testFlag(Qt::WindowMinimizeButtonHint));
    ui->btnClose->setVisible(flags.testFlag(Qt::WindowCloseButtonHint));
}

void KAppTitle::setTitle(QString text)
{
    ui->lblTitle->setText(text);
}

bool KAppTitle::eventFilter(QObject *watched, QEvent *event)
{
    // Any mouse button, anywhere: the release alone is the request.
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == ui->btnClose)
            emit sigClose();
        else if (watched == ui->btnMinimize)
            emit sigMinimize();
    }
    return QWidget::eventFilter(watched, event);
}

void KAppTitle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixHeaderScaled);
}

void KAppTitle::resizeEvent(QResizeEvent *event)
{
    const int w = width();
    const int h = height();
    const int sw = pixHeader.width();
    const int sh = pixHeader.height();
    const int b = kHeaderCap;

    QPixmap scaled(w, h);
    scaled.fill(Qt::transparent);
    if (!scaled.isNull()) {
        QPainter painter(&scaled);
        painter.drawPixmap(QRect(0, 0, b, h), pixHeader, QRect(0, 0, b, sh));
        painter.drawPixmap(QRect(b, 0, w - 2 * b, h), pixHeader, QRect(b, 0, sw - 2 * b, sh));
        painter.drawPixmap(QRect(w - b, 0, b, h), pixHeader, QRect(sw - b, 0, b, sh));
    }
    pixHeaderScaled = scaled;

    QWidget::resizeEvent(event);
}

void KAppTitle::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        ptLastPos = event->globalPosition().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void KAppTitle::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint position = event->globalPosition().toPoint();
        emit sigMoveWindow(position - ptLastPos);
        ptLastPos = position;
    }
    QWidget::mouseMoveEvent(event);
}

} // namespace VM
