#include "cli/OperationSupport.h"

#include "cli/CliSession.h"
#include "firmware/FileSelection.h"

#include <QFileInfo>
#include <cstdio>

bool OperationSupport::selectFirmware(Loader& loader, const QString& path) {
    setEdName(loader, QFileInfo(path).absoluteFilePath());
    btnOpenClick(loader, false);
    return !loader.state.FirmwareFilePath.isEmpty();
}

bool OperationSupport::runOperation(CliSession& session, int mode) {
    Loader& loader = session.loader;
    loader.driver.N1Click(mode);
    bool reached = false;
    OperationDriver::Procedure procedure = loader.driver.procedure(mode);
    loader.driver.setProcedure(mode, [&reached, procedure] {
        reached = true;
        if (procedure) {
            procedure();
        }
    });
    loader.driver.btnConnectClick();
    loader.driver.setProcedure(mode, procedure);
    return reached;
}

void OperationSupport::report(const QString& subcommand, const QString& text) {
    std::fprintf(stderr, "velkor-cli %s: %s\n", subcommand.toLocal8Bit().constData(),
                 text.toLocal8Bit().constData());
    std::fflush(stderr);
}
