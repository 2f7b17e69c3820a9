// The main window's two uses of the settings file. Until the file is read and
// written here, every start is a first start.
#include "app/main_window.h"

void TForm1::ReadSettings() {
    varnok::Shared().Settings = varnok::SettingsRecord{};
}

bool TForm1::WriteSettings() {
    return true;
}
