#pragma once

// Qt's own texts (standard buttons, the file dialog) in German, whatever the
// machine's locale, to match the programs' German interface.
namespace GermanQtTexts {

// Loads Qt's German translation into the running application; false when the
// translation files are not installed (the texts then stay English).
bool install();

}
