#pragma once

#include <QRect>

class QWidget;

// Window positions and sizes are given in twips, 1440 to the inch; on screen they
// become pixels at the screen's logical resolution (15 twips a pixel at 96 dpi).
namespace Twips {

int toPixels(double twips);
double fromPixels(int pixels);
QRect toPixels(int left, int top, int width, int height);

// Places a child widget at a rectangle given in twips.
void place(QWidget *widget, int left, int top, int width, int height);

}
