#include "app/StartupWindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velkor"));
    QApplication::setApplicationDisplayName(
        QStringLiteral("Программа обновления ПО контроллеров LUMET5x, DORN2x"));
    StartupWindow window;
    window.show();
    return QApplication::exec();
}
