#include "Procedures.h"

#include "core/Loader.h"

Procedures::Procedures(Loader& loader) : flash(loader), store(loader), readBack(loader) {
    loader.driver.setProcedure(kModeFlash, [this] { flash.EnterBootloader(); });
    loader.driver.setProcedure(kModeStore, [this] { store.LoadToStorage(); });
    loader.driver.setProcedure(kModeReadBack, [this] { readBack.ReadBackStorage(); });
}
