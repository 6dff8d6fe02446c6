#pragma once

class QWidget;

// Gives the widget its inherited font at a size in pixels, upright and of normal weight: what the
// style sheet "font: 11px;" gives it, without the widget taking a style sheet of its own (each
// such widget is drawn through a style-sheet style, which costs the window's start).
void setPixelFont(QWidget *widget, int pixels);
