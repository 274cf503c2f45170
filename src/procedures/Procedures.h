#pragma once

#include "procedures/DialogQuestions.h"
#include "procedures/FlashProcedure.h"
#include "procedures/QueryProcedure.h"
#include "procedures/ReadBackProcedure.h"
#include "procedures/StorageLoadProcedure.h"

class Loader;

// The device procedures of one loader, registered with its operation driver for every row of the
// operation table for as long as they live: the destructor takes the registrations back, so the
// driver never calls a procedure that is gone. Their questions go to the front end's own answers,
// or, without them, to the loader's dialogs.
class Procedures {
public:
    explicit Procedures(Loader& loader, Questions* questions = nullptr);
    ~Procedures();
    Procedures(const Procedures&) = delete;
    Procedures& operator=(const Procedures&) = delete;

private:
    // The procedure of an operation: the one place an operation is bound to its steps.
    Task<Verdict> run(Operation operation, const OperationRequest& request);

    Loader& loader_;
    DialogQuestions dialogQuestions_;

public:
    FlashProcedure flash;
    StorageLoadProcedure store;
    ReadBackProcedure readBack;
    QueryProcedure queries;
};
