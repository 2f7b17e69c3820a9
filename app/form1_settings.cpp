// The main window's two uses of the settings file: read once at start-up,
// written once at close.
#include <QCheckBox>

#include "app/forms.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "chip/brennbox_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/listing.h"

void TForm1::ReadSettings() {
    varnok::Shared().Settings = varnok::ReadSettings();
}

bool TForm1::WriteSettings() {
    varnok::SharedState& s = varnok::Shared();
    varnok::SettingsRecord record = s.Settings;
    record.languageCode = English1->isChecked() ? 2 : 1;
    record.chipCode = 1;
    if (AT89C20511->isChecked()) record.chipCode = 2;
    if (AT89C40511->isChecked()) record.chipCode = 4;
    record.portCode = 1;
    if (LPT21->isChecked()) record.portCode = 2;
    if (LPT31->isChecked()) record.portCode = 3;
    if (LPT41->isChecked()) record.portCode = 4;
    if (TDateiauswahl* selection = varnok::Forms().Dateiauswahl) {
        // The directory the selection shows now, not the one restored at start,
        // as the system names it: decoded for display, a name that is not UTF-8
        // would come back as another directory or none.
        record.ImageDirectory = varnok::CutToCharacters(selection->directoryBytes().toStdString(),
                                                        varnok::kImageDirectoryLimit);
        const QString drive = selection->drive();
        if (!drive.isEmpty() && drive.at(0).unicode() < 0x80)
            record.ImageDrive = drive.at(0).toLatin1();
        s.ImageDirectory = record.ImageDirectory;
        s.ImageDrive = record.ImageDrive;
    }
    if (TBrennbox* programming = varnok::Forms().Brennbox)
        record.lockBit = programming->CheckBox1->isChecked();
    record.ImageFileName = s.ImageFileName;
    s.Settings = record;

    const varnok::SettingsWriteResult result = varnok::WriteSettings(record);
    if (result.ok) return true;
    // The old file is still whole; say why this one could not replace it.
    QString text = QString::fromStdString(result.message);
    if (!result.reason.empty()) text += QLatin1Char('\n') + QString::fromStdString(result.reason);
    varnok::ShowMessage(this, varnok::MessageKind::Error, text);
    return false;
}
