// The erase dialog: checks the link to the adapter, then erases the chip.
#pragma once

#include <QDialog>
#include <memory>

#include "chip/run_dialog.h"

class QLabel;
class QPushButton;

class Tmemloesch : public QDialog {
    Q_OBJECT

public:
    explicit Tmemloesch(QWidget* parent = nullptr);

    QPushButton* BitBtn1;  // close
    QPushButton* BitBtn2;  // help
    QPushButton* BitBtn3;  // erase
    QLabel* Label1;        // the heading, maroon
    QLabel* Label2;        // its white shadow
    QLabel* Image1;

    // Sizes are laid out at 120 pixels per inch; this is one of them at 96.
    static int Scaled(int pixels120);

public slots:
    void FormActivate();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool FormKeyDown(QKeyEvent* event);

    std::unique_ptr<varnok::DialogReporter> reporter_;
    bool closePending_ = false;
};
