#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {
namespace {
constexpr double twipsPerInch = 1440.0;

double dotsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}
}

int toPixels(double twips)
{
    return int(std::lround(twips * dotsPerInch() / twipsPerInch));
}

double fromPixels(int pixels)
{
    return std::round(pixels * twipsPerInch / dotsPerInch());
}

QRect toPixels(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left, top, width, height));
}

}
