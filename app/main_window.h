// The main window: the menu bar that leads to every function, the shadowed
// title, and the two fixed sequences of the program, start-up when it is
// first shown and the close sequence on every way of closing it.
#pragma once

#include <QMainWindow>

#include "app/shared_state.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);

    // Wires the menu to the other windows; they all exist by now.
    void connectForms();

    QMenuBar* MainMenu1;
    QMenu* Datei1;
    QAction* Dateiauswahl1;
    QAction* Inhaltansehen3;
    QAction* Exit3;
    QMenu* Processor1;
    QAction* AT89C10511;
    QAction* AT89C20511;
    QAction* AT89C40511;
    QAction* Brennen1;
    QAction* Auslesen1;
    QAction* Nurlschen1;
    QMenu* Sprache1;
    QAction* Deutsch1;
    QAction* English1;
    QMenu* Hardware1;
    QAction* LPT11;
    QAction* LPT21;
    QAction* LPT31;
    QAction* LPT41;
    QAction* Exit1;
    QAction* Info1;
    QAction* Exit2;
    QLabel* Label1;  // the title, maroon
    QLabel* Label2;  // its white shadow

    // The chip's item gets the check mark, the other two lose it.
    void SelectChip(varnok::Chip chip);
    // Port n (1 to 4): check mark, register addresses and printer number.
    void SelectPort(int n);
    // From the chip menu's check marks: 1024, 2048 for AT89C2051, 4096 for
    // AT89C4051 (tested in that order, so 4051 wins).
    int ChipCapacity() const;

    // The caption tables of the two languages.
    void SetGermanCaptions();
    void SetEnglishCaptions();

    // The settings file: read into Shared().Settings at start-up, written from
    // the current state at close. WriteSettings returns false when the file
    // could not be written (it has told the user); the window then stays open.
    void ReadSettings();
    bool WriteSettings();

    // Whether start-up has run (it runs once, when the window is first shown).
    bool startedUp() const { return startedUp_; }

    // "Varnok", with a note when the simulator stands in for the adapter.
    static QString Caption();

signals:
    // The close sequence has run and the window has closed: the program ends.
    void programEnded();

public slots:
    void Dateiauswahl1Click();
    void Inhaltansehen3Click();
    void Brennen1Click();
    void Auslesen1Click();
    void Nurlschen1Click();
    void Deutsch1Click();
    void English1Click();
    void Info1Click();
    void Exit2Click();
    // Binds the image file just accepted: the file-dependent items come alive.
    void ImageFileAccepted();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    bool FormClose();
    void LookForRememberedImage();
    void EnableImageItems();

    bool startedUp_ = false;
    bool closePending_ = false;
    bool closing_ = false;
};
