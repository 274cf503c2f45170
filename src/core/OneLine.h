#pragma once

#include <QString>

// A text as one line of the journal or the status bar: CR and LF as \r and \n (as velkor-cli
// send takes them), any other control character as \xNN; a tab stays.
QString asOneLine(const QString& text);
