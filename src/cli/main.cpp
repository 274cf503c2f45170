#include "cli/CliApp.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velkor"));
    return CliApp(QCoreApplication::arguments()).run();
}
