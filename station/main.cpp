#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return KAVO_STATION_NUMBER - KAVO_STATION_NUMBER;
}
