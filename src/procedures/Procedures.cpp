#include "Procedures.h"

#include "core/Loader.h"
#include "core/OperationTable.h"

#include <stdexcept>

Procedures::Procedures(Loader& loader, Questions* questions)
    : loader_(loader), dialogQuestions_(loader.dialogs, loader.fileDialog), flash(loader),
      store(loader, questions != nullptr ? *questions : dialogQuestions_),
      readBack(loader, questions != nullptr ? *questions : dialogQuestions_), queries(loader) {
    store.verifyWith(&readBack);
    for (const OperationRow& row : OperationTable::rows()) {
        const Operation operation = row.operation;
        loader.driver.setProcedure(operation, [this, operation](const OperationRequest& request) {
            return run(operation, request);
        });
    }
}

Procedures::~Procedures() {
    for (const OperationRow& row : OperationTable::rows()) {
        loader_.driver.setProcedure(row.operation, OperationDriver::Procedure());
    }
}

Task<Verdict> Procedures::run(Operation operation, const OperationRequest& request) {
    switch (operation) {
    case Operation::Flash:
        return flash.EnterBootloader(request);
    case Operation::Store:
        return store.LoadToStorage(request);
    case Operation::ReadBack:
        return readBack.ReadBackStorage(request);
    case Operation::Send:
        return queries.send(request);
    case Operation::Version:
        return queries.version();
    case Operation::Stored:
        return readBack.storedDescriptor(request);
    }
    throw std::logic_error("an operation without a procedure");
}
