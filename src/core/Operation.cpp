#include "Operation.h"

#include "OperationTable.h"

int operationIcon(Operation operation) {
    return OperationTable::row(operation).icon;
}

std::optional<Operation> operationOfIcon(int icon) {
    for (const OperationRow& row : OperationTable::rows()) {
        if (row.icon != 0 && row.icon == icon) {
            return row.operation;
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
