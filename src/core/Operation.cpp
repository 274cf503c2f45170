#include "Operation.h"

#include "UiTexts.h"

int operationIcon(Operation operation) {
    switch (operation) {
    case Operation::Flash:
        return kIconFlash;
    case Operation::Store:
        return kIconStore;
    case Operation::ReadBack:
        return kIconReadBack;
    case Operation::Send:
    case Operation::Version:
    case Operation::Stored:
        break;
    }
    return 0;
}

std::optional<Operation> operationOfIcon(int icon) {
    for (const Operation operation : {Operation::Flash, Operation::Store, Operation::ReadBack}) {
        if (operationIcon(operation) == icon) {
            return operation;
        }
    }
    return std::nullopt;
}

int linkKindNumber(LinkKind kind) {
    return static_cast<int>(kind);
}

std::optional<LinkKind> linkKindOfNumber(int number) {
    if (number < 0 || number >= kLinkKindCount) {
        return std::nullopt;
    }
    return static_cast<LinkKind>(number);
}

LinkKind nextLinkKind(LinkKind kind) {
    return *linkKindOfNumber((linkKindNumber(kind) + 1) % kLinkKindCount);
}
