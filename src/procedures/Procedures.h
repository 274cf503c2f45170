#pragma once

#include "procedures/FlashProcedure.h"
#include "procedures/ReadBackProcedure.h"
#include "procedures/StorageLoadProcedure.h"

class Loader;

// The device procedures of one loader, registered with its operation driver by mode.
class Procedures {
public:
    explicit Procedures(Loader& loader);
    Procedures(const Procedures&) = delete;
    Procedures& operator=(const Procedures&) = delete;

    FlashProcedure flash;
    StorageLoadProcedure store;
    ReadBackProcedure readBack;
};
