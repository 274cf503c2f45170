#include "BaudRates.h"

int BaudRates::entryOf(int rate) {
    for (std::size_t i = 0; i < kAll.size(); ++i) {
        if (kAll.at(i) == rate) {
            return int(i);
        }
    }
    return -1;
}

bool BaudRates::rateOf(int entry, int& rate) {
    if (entry < 0 || entry >= int(kAll.size())) {
        return false;
    }
    rate = kAll.at(std::size_t(entry));
    return true;
}

QStringList BaudRates::texts() {
    QStringList list;
    for (const int rate : kAll) {
        list.append(QString::number(rate));
    }
    return list;
}

QString BaudRates::joined() {
    return texts().join(QStringLiteral(", "));
}
