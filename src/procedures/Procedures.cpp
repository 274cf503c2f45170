#include "Procedures.h"

#include "core/Loader.h"

Procedures::Procedures(Loader& loader) : flash(loader) {
    loader.driver.setProcedure(kModeFlash, [this] { flash.EnterBootloader(); });
}
