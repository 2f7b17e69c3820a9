#include "app/forms.h"

#include <QApplication>

#include "adapter/port_backend.h"
#include "app/about_box.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"

namespace varnok {

namespace {
FormSet g_forms;
}  // namespace

const FormSet& Forms() {
    return g_forms;
}

FormOwner::FormOwner() = default;

FormOwner::~FormOwner() {
    FormSet forms = g_forms;
    g_forms = FormSet{};
    delete forms.memloesch;
    delete forms.Dateiauswahl;
    delete forms.AuslesenDlg;
    delete forms.Brennbox;
    delete forms.dateiinhalt_ansehen;
    delete forms.AboutBox;
    delete forms.Form1;
}

void PrepareApplication() {
    QApplication::setWindowIcon(ProgramIcon());
    SetEventHook([] { QCoreApplication::processEvents(); });
}

std::unique_ptr<FormOwner> CreateForms() {
    auto owner = std::make_unique<FormOwner>();
    g_forms.Form1 = new TForm1;
    g_forms.AboutBox = new TAboutBox;
    g_forms.dateiinhalt_ansehen = new Tdateiinhalt_ansehen;
    g_forms.Brennbox = new TBrennbox;
    g_forms.AuslesenDlg = new TAuslesenDlg;
    g_forms.Dateiauswahl = new TDateiauswahl;
    g_forms.memloesch = new Tmemloesch;
    g_forms.Form1->connectForms();
    return owner;
}

}  // namespace varnok
