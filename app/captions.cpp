// The two caption tables and the language items of the main window.
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/forms.h"
#include "app/main_window.h"
#include "app/shared_state.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"

namespace {

struct CaptionColumn {
    const char* Brennen1;
    const char* Auslesen1;
    const char* Dateiauswahl1;
    const char* Inhaltansehen3;
    const char* Sprache1;
    const char* Deutsch1;
    const char* English1;
    const char* Datei1;
    const char* Processor1;
    const char* Nurlschen1;
    const char* AuslesenCaption;
    const char* AuslesenOKBtn;
    const char* AuslesenSpeicher;
    const char* AuslesenHelpBtn;
    const char* ViewerOKButton;
    const char* ViewerButton1;
    const char* ViewerCaption;
    const char* SelectionCaption;
    const char* SelectionButton1;
    const char* BrennboxCheckBox1;
    const char* BrennboxCaption;
    const char* MemloeschLabel1;
};

constexpr CaptionColumn kGerman{
    "&Brennen",
    "&Auslesen",
    "Datei&auswahl",
    "Datei&inhalt ansehen",
    "S&prache",
    "&Deutsch",
    "&English",
    "Da&tei",
    "&Prozessor",
    "Speic&her löschen",
    "Prozessorinhalt auslesen",
    "&Schließen",
    "&Datei sichern",
    "&Hilfe",
    "&Schließen",
    "&Hexadezimal",
    "Dateiinhalt ansehen",
    "Auswahl der zu brennenden Datei",
    "&Hexadezimal",
    "&Lockbit setzen",
    "Mikrocontroller brennen",
    "Programmspeicher löschen",
};

constexpr CaptionColumn kEnglish{
    "&Programming",
    "&Readout",
    "&Select file for programming",
    "&View selected file",
    "&Language",
    "&Deutsch",
    "&English",
    "F&ile",
    "&Processor",
    "&Clear memory only",
    "Read out proessor memory",
    "&Close",
    "&save file",
    "&Help",
    "&Close",
    "&Hexadecimal",
    "View selected file",
    "File selection to program the chip",
    "&Hexadecimal",
    "&lockbit on",
    "Programming chip",
    "Erase program memory only",
};

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

// The table names the hexadecimal form on both mode buttons. A window that
// shows the hexadecimal form at the moment keeps a button that names the
// other form ("&Binär" / "&Binary"), as its own toggle would, so the button
// never offers the form already on screen.
QString ModeButtonText(bool hexMode, const char* tableText, bool german) {
    if (!hexMode) return Text(tableText);
    return german ? QStringLiteral("&Binär") : QStringLiteral("&Binary");
}

// Writes one column into the controls of all windows, in the table's order.
void Apply(TForm1& form, const CaptionColumn& c, bool german) {
    const varnok::FormSet& forms = varnok::Forms();
    form.Brennen1->setText(Text(c.Brennen1));
    form.Auslesen1->setText(Text(c.Auslesen1));
    form.Dateiauswahl1->setText(Text(c.Dateiauswahl1));
    form.Inhaltansehen3->setText(Text(c.Inhaltansehen3));
    form.Sprache1->setTitle(Text(c.Sprache1));
    form.Deutsch1->setText(Text(c.Deutsch1));
    form.English1->setText(Text(c.English1));
    form.Datei1->setTitle(Text(c.Datei1));
    form.Processor1->setTitle(Text(c.Processor1));
    form.Nurlschen1->setText(Text(c.Nurlschen1));
    if (TAuslesenDlg* readout = forms.AuslesenDlg) {
        readout->setWindowTitle(Text(c.AuslesenCaption));
        readout->OKBtn->setText(Text(c.AuslesenOKBtn));
        readout->speicher_btn->setText(Text(c.AuslesenSpeicher));
        readout->HelpBtn->setText(Text(c.AuslesenHelpBtn));
    }
    if (Tdateiinhalt_ansehen* viewer = forms.dateiinhalt_ansehen) {
        viewer->OKButton->setText(Text(c.ViewerOKButton));
        viewer->Button1->setText(ModeButtonText(viewer->hexMode(), c.ViewerButton1, german));
        viewer->setWindowTitle(Text(c.ViewerCaption));
    }
    if (TDateiauswahl* selection = forms.Dateiauswahl) {
        selection->setWindowTitle(Text(c.SelectionCaption));
        selection->Button1->setText(
            ModeButtonText(selection->hexMode(), c.SelectionButton1, german));
    }
    if (TBrennbox* programming = forms.Brennbox) {
        programming->CheckBox1->setText(Text(c.BrennboxCheckBox1));
        programming->setWindowTitle(Text(c.BrennboxCaption));
    }
    if (Tmemloesch* erase = forms.memloesch) {
        erase->Label1->setText(Text(c.MemloeschLabel1));
        erase->Label2->setText(erase->Label1->text());
    }
}

}  // namespace

void TForm1::SetGermanCaptions() {
    Apply(*this, kGerman, true);
}

void TForm1::SetEnglishCaptions() {
    Apply(*this, kEnglish, false);
}

void TForm1::Deutsch1Click() {
    SetGermanCaptions();
    Deutsch1->setChecked(true);
    English1->setChecked(false);
    varnok::Shared().LanguageGerman = true;
    varnok::Shared().HelpFileName = "Varnok.hlp";
}

void TForm1::English1Click() {
    SetEnglishCaptions();
    English1->setChecked(true);
    Deutsch1->setChecked(false);
    varnok::Shared().LanguageGerman = false;
    varnok::Shared().HelpFileName = "Englhelp.hlp";
}
