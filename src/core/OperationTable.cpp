#include "OperationTable.h"

#include "UiTexts.h"

#include <algorithm>
#include <stdexcept>

namespace {

const char* kVersionHelp =
    "Usage: velkor-cli version CONNECTION [OPTIONS]\n"
    "Asks the controller's command interpreter its firmware version (\"VER\", asked again\n"
    "while its answer is lost) and prints the answer's line. With --id and several ids (for\n"
    "example --id 1-1000 --jobs 64) it is the inventory of a fleet: one row per id. flash\n"
    "--skip-version TEXT asks the same query and skips the ids whose version holds TEXT.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 the version came, 69 the connection could not be opened (or the broker has\n"
    "no controller with that id), 75 no answer (or a damaged or cut one), 76 the controller\n"
    "refused the command, 130 cancelled (Ctrl-C).\n"
    "With --json the version is in \"version\". Each run that opened the connection writes a\n"
    "journal entry with the version or why there is none.\n\n";

const char* kStoredHelp =
    "Usage: velkor-cli stored CONNECTION [OPTIONS]\n"
    "Reads the descriptor of the controller's storage memory (page 70, address 0: the stored\n"
    "text's length and checksum) and prints it, without reading the text: what a store left\n"
    "there, before a read-back or a finalisation. With --id and several ids it is a fleet's\n"
    "inventory of stored firmware: one row per id.\n"
    "  -q, --quiet                no status messages on standard error\n"
    "Exit codes: 0 the descriptor was read, 69 the connection could not be opened (or the broker\n"
    "has no controller with that id), 75 no answer (or a damaged or cut one), 76 the controller\n"
    "refused a command or the password, 130 cancelled (Ctrl-C).\n"
    "With --json the descriptor is in \"length\" (characters) and \"checksum\" (four hex\n"
    "digits). Each run that opened the connection writes a journal entry.\n\n";

std::vector<OperationRow> makeRows() {
    return {
        {.operation = Operation::Send,
         .done = QStringLiteral("Терминал: %1 - ответ получен"),
         .failed = QStringLiteral("Терминал: %1 - "),
         .subjectIsCommands = true,
         .command = QStringLiteral("send")},
        {.operation = Operation::Version,
         .done = QStringLiteral("Версия контроллера: %1"),
         .failed = QStringLiteral("Запрос версии не выполнен - "),
         .command = QStringLiteral("version"),
         .summary = QStringLiteral("ask the controller its firmware version"),
         .help = kVersionHelp,
         .answer = AnswerWords::Controller},
        {.operation = Operation::Flash,
         .icon = kIconFlash,
         .menuItem = "N1",
         .caption = UiTexts::menuFlash(),
         .command = QStringLiteral("flash")},
        {.operation = Operation::Store,
         .icon = kIconStore,
         .menuItem = "N2",
         .caption = UiTexts::menuStore(),
         .separatorBefore = true,
         .command = QStringLiteral("store")},
        {.operation = Operation::ReadBack,
         .icon = kIconReadBack,
         .menuItem = "N3",
         .caption = UiTexts::menuReadBack(),
         .command = QStringLiteral("readback")},
        {.operation = Operation::Stored,
         .done = QStringLiteral("В памяти: %1"),
         .failed = QStringLiteral("Запрос записанного не выполнен - "),
         .command = QStringLiteral("stored"),
         .summary = QStringLiteral("read what the storage memory holds (its descriptor)"),
         .help = kStoredHelp,
         .answer = AnswerWords::System},
    };
}

} // namespace

const std::vector<OperationRow>& OperationTable::rows() {
    static const std::vector<OperationRow> table = makeRows();
    return table;
}

const OperationRow& OperationTable::row(Operation operation) {
    const auto& table = rows();
    const auto found = std::find_if(table.begin(), table.end(), [operation](const OperationRow& r) {
        return r.operation == operation;
    });
    if (found == table.end()) {
        throw std::logic_error("an operation without a row in the operation table");
    }
    return *found;
}
