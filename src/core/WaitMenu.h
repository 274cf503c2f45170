#pragma once

class Loader;

// The wait bar's menu items that ask for a number: the answer wait time and the longest pause
// awaited inside an answer. They ask through the loader's dialogs, so the command exchange
// itself needs none.
namespace WaitMenu {

// "Время ожидания отклика": a text that is not a whole number of 0 or more gives 1000 ms.
void mnuTimeOutClick(Loader& loader);
// "Пауза внутри ответа": a text that is not a whole number of 0 or more gives the default.
void mnuAnswerGapClick(Loader& loader);

} // namespace WaitMenu
