#include "Procedures.h"

#include "core/Loader.h"

Procedures::Procedures(Loader& loader, Questions* questions)
    : loader_(loader), dialogQuestions_(loader.dialogs), flash(loader),
      store(loader, questions != nullptr ? *questions : dialogQuestions_),
      readBack(loader, questions != nullptr ? *questions : dialogQuestions_) {
    store.verifyWith(&readBack);
    loader.driver.setProcedure(kModeFlash, [this] {
        flash.EnterBootloader();
        return flash.verdict();
    });
    loader.driver.setProcedure(kModeStore, [this] {
        store.LoadToStorage();
        return store.verdict();
    });
    loader.driver.setProcedure(kModeReadBack, [this] {
        readBack.ReadBackStorage();
        return readBack.verdict();
    });
}

Procedures::~Procedures() {
    for (const int mode : {kModeFlash, kModeStore, kModeReadBack}) {
        loader_.driver.setProcedure(mode, nullptr);
    }
}
