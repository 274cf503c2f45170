#pragma once

#include "Operation.h"

#include <QString>
#include <vector>

// How the shell prints a query's answer: the controller's own words go out in its encoding,
// the system's words in the terminal's.
enum class AnswerWords { None, Controller, System };

// One operation or query with everything the front ends and the driver say of it. The
// procedure that runs it is bound by operation in procedures/Procedures.cpp.
struct OperationRow {
    Operation operation = Operation::Flash;
    // The window's operation menu: the item's icon number (kept by the settings as the chosen
    // mode), its object name and its caption; a query has no item (icon 0).
    int icon = 0;
    const char* menuItem = nullptr;
    QString caption = {};
    bool separatorBefore = false; // the item begins a group of its own (the storage memory's)
    // The status and journal text of a run. Empty for the operations of the main button, which
    // say "Операция выполнена за ..." or "Операция не выполнена - " and the cause; else "%1" in
    // done stands for the subject, and failed is followed by the cause.
    QString done = {};
    QString failed = {};
    bool subjectIsCommands = false; // the subject: the commands sent, else the verdict's reason
    // The shell: the subcommand's name, its line in --help, and for a query the help text
    // above the common options and how its answer prints (the verdict's facts go into --json).
    QString command = {};
    QString summary = {};
    const char* help = nullptr;
    AnswerWords answer = AnswerWords::None;
};

namespace OperationTable {

// Every operation and query, in the order the shell's --help lists them.
const std::vector<OperationRow>& rows();
const OperationRow& row(Operation operation);

} // namespace OperationTable
