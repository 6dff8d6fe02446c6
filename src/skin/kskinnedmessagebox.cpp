#include "skin/kskinnedmessagebox.h"

#include "skin/skinresources.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

KSkinnedMessageBox::KSkinnedMessageBox(Icon icon, const QString &title, const QString &text,
    StandardButtons buttons, QWidget *parent, Qt::WindowFlags flags)
    : QMessageBox(icon, title, text, buttons, parent, flags)
    , KSkinnedAbstract<QDialog>(this)
{
    registerSkinResources();
    setAttribute(Qt::WA_QuitOnClose, false);

    const bool classic = isClassicSkin();
    if (classic)
        setWindowFlags(flags | Qt::FramelessWindowHint);
    findWidgets(classic);
    if (classic)
        addTitleBar();

    backgroundImage = QStringLiteral(":/images/background/bg_skinneddialog.png");
    sliceBorder = 0;
    backgroundStyle = 3;

    // A style sheet that cannot be read is empty: the widgets keep the toolkit's look.
    QFile file(QStringLiteral(":/stylesheets/stylesheets/messagebox-win.css"));
    if (file.open(QIODevice::ReadOnly))
        styleSheetText = QString::fromUtf8(file.readAll());
    buttonBox->setStyleSheet(styleSheetText);
    textLabel->setStyleSheet(styleSheetText);
}

// QMessageBox lays out its icon label, its text label and its button box in a grid (Qt 6 puts an
// indent spacer between the icon and the text). Classic mode lays them out again one row lower,
// leaving row 0 to the title bar, with a fixed 8-pixel column at the right.
void KSkinnedMessageBox::findWidgets(bool classic)
{
    grid = qobject_cast<QGridLayout *>(layout());
    iconLabel
        = findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label"), Qt::FindDirectChildrenOnly);
    textLabel = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"), Qt::FindDirectChildrenOnly);
    buttonBox = findChild<QDialogButtonBox *>(QString(), Qt::FindDirectChildrenOnly);
    Q_ASSERT(grid && iconLabel && textLabel && buttonBox);
    if (!classic)
        return;

    while (QLayoutItem *item = grid->takeAt(0))
        delete item; // the item only: its widget stays a child of the box
    grid->addWidget(iconLabel, 1, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(textLabel, 1, 1, 1, 1);
    grid->addWidget(buttonBox, 3, 0, 1, 2);
    auto *rightMargin = new QWidget;
    rightMargin->setMinimumWidth(8);
    rightMargin->setMaximumWidth(8);
    grid->addWidget(rightMargin, 1, 2, 4, 1);

    iconLabel->setMargin(8);
    textLabel->setMargin(8);
}

void KSkinnedMessageBox::addTitleBar()
{
    auto *bar = new VM::KAppTitle;
    titleBar = bar;
    bar->setButtons(Qt::WindowCloseButtonHint);
    connect(bar, &VM::KAppTitle::sigClose, this, &KSkinnedMessageBox::reject);
    connect(bar, &VM::KAppTitle::sigMoveWindow, this, &KSkinnedMessageBox::moveWindow);

    const QMargins margins = grid->contentsMargins();
    grid->setContentsMargins(0, 0, 0, margins.bottom());
    grid->addWidget(bar, 0, 0, 1, 3);
    setTitle(windowTitle());
}

void KSkinnedMessageBox::moveWindow(QPoint ptDifference)
{
    move(frameGeometry().topLeft() + ptDifference);
}

void KSkinnedMessageBox::paintEvent(QPaintEvent *)
{
    paintBackground();
}

void KSkinnedMessageBox::resizeEvent(QResizeEvent *event)
{
    QMessageBox::resizeEvent(event);
    const QRect frame = frameGeometry();
    updateMask(frame.width(), frame.height(), this);
}

QMessageBox::StandardButton KSkinnedMessageBox::showMessageBox(QWidget *parent, Icon icon,
    const QString &title, const QString &text, StandardButtons buttons,
    StandardButton defaultButton, Qt::WindowFlags flags)
{
    KSkinnedMessageBox box(
        icon, title, text, NoButton, parent, flags | Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    QDialogButtonBox *buttonBox = box.findChild<QDialogButtonBox *>();

    for (uint mask = Ok; mask <= RestoreDefaults; mask <<= 1) {
        const auto standard = StandardButton(mask);
        if (!buttons.testFlag(standard))
            continue;
        QPushButton *button = box.addButton(standard);
        if (box.defaultButton())
            continue;
        if ((defaultButton == NoButton
                && buttonBox->buttonRole(button) == QDialogButtonBox::AcceptRole)
            || (defaultButton != NoButton && standard == defaultButton))
            box.setDefaultButton(button);
    }

    if (box.exec() == -1)
        return Cancel;
    return box.standardButton(box.clickedButton());
}

QMessageBox::StandardButton KSkinnedMessageBox::warning(QWidget *parent, const QString &title,
    const QString &text, StandardButtons buttons, StandardButton defaultButton,
    Qt::WindowFlags flags)
{
    return showMessageBox(parent, Warning, title, text, buttons, defaultButton, flags);
}
