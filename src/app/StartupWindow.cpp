#include "app/StartupWindow.h"

#include <QLabel>

StartupWindow::StartupWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Обновление ПО:Korve Loader (Версия 1.97)"));
    auto* label = new QLabel(QStringLiteral("Программа загрузки \nПО в микроконтроллеры"), this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(727, 155);
}
