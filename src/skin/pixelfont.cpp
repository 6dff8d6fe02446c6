#include "skin/pixelfont.h"

#include <QFont>
#include <QWidget>

void setPixelFont(QWidget *widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    font.setStyle(QFont::StyleNormal);
    font.setWeight(QFont::Normal);
    widget->setFont(font);
}
