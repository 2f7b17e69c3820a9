// The program's seven windows. Each is created once, in a fixed order, before
// the main window is first shown (start-up writes into the others' controls),
// and lives until the program ends. Like the rest of the shared state, a
// window finds another through Forms() at the moment it needs it.
#pragma once

#include <memory>

class TForm1;
class TAboutBox;
class Tdateiinhalt_ansehen;
class TBrennbox;
class TAuslesenDlg;
class TDateiauswahl;
class Tmemloesch;

namespace varnok {

struct FormSet {
    TForm1* Form1 = nullptr;
    TAboutBox* AboutBox = nullptr;
    Tdateiinhalt_ansehen* dateiinhalt_ansehen = nullptr;
    TBrennbox* Brennbox = nullptr;
    TAuslesenDlg* AuslesenDlg = nullptr;
    TDateiauswahl* Dateiauswahl = nullptr;
    Tmemloesch* memloesch = nullptr;
};

// The windows of the running program (all nullptr before CreateForms).
const FormSet& Forms();

// Owns the seven windows; destroying it deletes them, last created first.
class FormOwner {
public:
    FormOwner();
    ~FormOwner();
    FormOwner(const FormOwner&) = delete;
    FormOwner& operator=(const FormOwner&) = delete;
};

// Lets the user interface run inside the adapter's waits and gives every
// window the program icon. Call once after the QApplication exists.
void PrepareApplication();

// Creates the seven windows in their fixed order, all hidden.
std::unique_ptr<FormOwner> CreateForms();

}  // namespace varnok
