#pragma once

#include <optional>

// What the loader does with a controller: the three operations of the main button and the
// queries of the shell, which run through the same driver and end in the same result.
enum class Operation {
    Flash,    // through the bootloader, after the restart banner
    Store,    // into the storage memory, with confirmation, roll-back and resume
    ReadBack, // the stored firmware back into a file, its checksum verified
    Send,     // command texts exactly as given, each answer kept as it came
    Version,  // the controller's firmware version ("VER")
    Stored,   // what the storage memory holds: its descriptor's length and checksum
};
// How many operations there are; a new one is added last, named here, and given its row in the
// operation table (OperationTable.cpp).
inline constexpr int kOperationCount = static_cast<int>(Operation::Stored) + 1;

// How the controller is reached.
enum class LinkKind {
    Serial,
    Tcp,
    Broker, // the relay broker, by hardware id
};
// How many link kinds there are; a new kind is added last and named here instead.
inline constexpr int kLinkKindCount = static_cast<int>(LinkKind::Broker) + 1;

// The icon number of an operation's menu item, which the settings keep as the chosen mode
// (18 flash, 37 storage upload, 2 read-back); a query has none (0).
int operationIcon(Operation operation);
// The operation of a menu item's icon number; none for any other number.
std::optional<Operation> operationOfIcon(int icon);

// The number the settings keep for a link kind (0 serial, 1 TCP/IP, 2 broker) and back.
int linkKindNumber(LinkKind kind);
std::optional<LinkKind> linkKindOfNumber(int number);
// The kind after this one, as the connection kind button steps: serial, TCP/IP, broker.
LinkKind nextLinkKind(LinkKind kind);
