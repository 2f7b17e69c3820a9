// The image file viewer: lists the whole of the accepted image file, as
// characters or hexadecimal values, beside the main window and its dialogs.
#pragma once

#include <QDialog>

#include "chip/run_reporter.h"
#include "chip/texts.h"

class QFrame;
class QKeyEvent;
class QPushButton;

namespace varnok {
class ListingModel;
class ListingView;
}  // namespace varnok

class Tdateiinhalt_ansehen : public QDialog {
    Q_OBJECT

public:
    explicit Tdateiinhalt_ansehen(QWidget* parent = nullptr);

    QFrame* Panel1;
    QPushButton* OKButton;
    varnok::ListingView* ListBox1;
    QPushButton* Button1;

    bool hexMode() const { return HexMode; }
    varnok::ListingModel* listingModel() const { return model_; }

    // The event handlers, named after their control and event.
    void FormCreate();
    void FormShow();
    void Button1Click();
    void OKButtonClick();
    // True when it has consumed the key.
    bool FormKeyUp(QKeyEvent* event);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildListing();
    void message(const varnok::Bilingual& text);

    bool HexMode = false;
    varnok::ListingModel* model_;
};
