#pragma once

#include "skin/kskinnedabstract.h"

#include <QDialog>
#include <QMessageBox>

class QDialogButtonBox;
class QGridLayout;
class QLabel;

// Qt's message box in the product's skin: grey gradient background, styled buttons and text and,
// in classic mode, a frameless shaped window with the skin's title bar, which moves the box when
// dragged and rejects it through its close button. Closing the box never ends the application by
// itself. GUI thread only.
class KSkinnedMessageBox : public QMessageBox, public KSkinnedAbstract<QDialog>
{
    Q_OBJECT

public:
    KSkinnedMessageBox(Icon icon, const QString &title, const QString &text,
        StandardButtons buttons = NoButton, QWidget *parent = nullptr,
        Qt::WindowFlags flags = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    // Runs a modal box with the requested standard buttons and returns the button that closed
    // it; NoButton when it was closed without one (for example through the title bar). With no
    // default requested, the first accept-role button becomes the default; a requested default
    // that is not among the buttons leaves the box without one.
    static StandardButton showMessageBox(QWidget *parent, Icon icon, const QString &title,
        const QString &text, StandardButtons buttons, StandardButton defaultButton,
        Qt::WindowFlags flags = {});
    static StandardButton warning(QWidget *parent, const QString &title, const QString &text,
        StandardButtons buttons = Ok, StandardButton defaultButton = NoButton,
        Qt::WindowFlags flags = {});

protected slots:
    // Moves the window's frame by ptDifference.
    void moveWindow(QPoint ptDifference);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void findWidgets(bool classic);
    void addTitleBar();

    // Not owned: all belong to the message box's widget tree.
    QGridLayout *grid = nullptr;
    QLabel *textLabel = nullptr;
    QLabel *iconLabel = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QString styleSheetText;
};
