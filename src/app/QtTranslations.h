#pragma once

// Qt's own texts in Russian: the buttons of the message boxes ("Да", "Нет", "Отмена"), the
// file dialog, the context menus of the edit fields. The program speaks only Russian, so they
// are loaded whatever the system's language.
namespace QtTranslations {

// Installs Qt's Russian catalogue into the running application; false when it is not on the
// system (Debian's qt6-translations-l10n holds it), and the texts stay English.
bool install();

} // namespace QtTranslations
