#pragma once

#include "procedures/DialogQuestions.h"
#include "procedures/FlashProcedure.h"
#include "procedures/ReadBackProcedure.h"
#include "procedures/StorageLoadProcedure.h"

class Loader;

// The device procedures of one loader, registered with its operation driver by mode. Their
// questions go to the front end's own answers, or, without them, to the loader's dialogs.
class Procedures {
public:
    explicit Procedures(Loader& loader, Questions* questions = nullptr);
    Procedures(const Procedures&) = delete;
    Procedures& operator=(const Procedures&) = delete;

private:
    DialogQuestions dialogQuestions_;

public:
    FlashProcedure flash;
    StorageLoadProcedure store;
    ReadBackProcedure readBack;
};
