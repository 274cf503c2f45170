#include "Procedures.h"

#include "core/Loader.h"

Procedures::Procedures(Loader& loader, Questions* questions)
    : loader_(loader), dialogQuestions_(loader.dialogs, loader.form.OpenDialog1), flash(loader),
      store(loader, questions != nullptr ? *questions : dialogQuestions_),
      readBack(loader, questions != nullptr ? *questions : dialogQuestions_), queries(loader) {
    store.verifyWith(&readBack);
    OperationDriver& driver = loader.driver;
    driver.setProcedure(Operation::Flash, [this](const OperationRequest& request) {
        return flash.EnterBootloader(request);
    });
    driver.setProcedure(Operation::Store, [this](const OperationRequest& request) {
        return store.LoadToStorage(request);
    });
    driver.setProcedure(Operation::ReadBack, [this](const OperationRequest& request) {
        return readBack.ReadBackStorage(request);
    });
    driver.setProcedure(Operation::Send,
                        [this](const OperationRequest& request) { return queries.send(request); });
    driver.setProcedure(Operation::Stored, [this](const OperationRequest& request) {
        return readBack.storedDescriptor(request);
    });
    driver.setProcedure(Operation::Version,
                        [this](const OperationRequest&) { return queries.version(); });
}

Procedures::~Procedures() {
    for (const Operation operation : {Operation::Flash, Operation::Store, Operation::ReadBack,
                                      Operation::Send, Operation::Version, Operation::Stored}) {
        loader_.driver.setProcedure(operation, OperationDriver::Procedure());
    }
}
