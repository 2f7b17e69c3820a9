#include "files/file_viewer.h"

#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

#include "app/icons.h"
#include "app/key_preview.h"
#include "app/message_box.h"
#include "app/shared_state.h"
#include "files/listing.h"
#include "files/listing_model.h"
#include "files/listing_view.h"

using varnok::Bilingual;
using varnok::Shared;

namespace {

namespace text {
constexpr Bilingual NotReadable{"Datei kann nicht gelesen werden!", "File is not readable!"};
constexpr Bilingual ReadError{"Lesefehler Datei!", "File read error!"};
constexpr Bilingual TooLargeToList{"Datei ist zu groß, um sie vollständig im Speicher zu halten!",
                                   "File is too large to be held in memory completely!"};
constexpr Bilingual CaptionStart{"Inhalt Datei ", "file contains "};
constexpr Bilingual CaptionSize{"   Größe:", "   size:"};
// The viewer's own toggle spells the English caption so; the language
// switch writes "&Hexadecimal".
constexpr Bilingual ShowHexadecimal{"&Hexadezimal", "&Hexadicimal"};
constexpr Bilingual ShowCharacters{"&Binär", "&Binary"};
}  // namespace text

QString Text(const Bilingual& text) {
    return QString::fromUtf8(text(Shared().LanguageGerman));
}

}  // namespace

Tdateiinhalt_ansehen::Tdateiinhalt_ansehen(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dateiinhalt_ansehen"));
    setWindowTitle(QStringLiteral("Dateiinhalt ansehen"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(false);
    QFont systemFont(QStringLiteral("System"));
    systemFont.setPixelSize(13);
    setFont(systemFont);
    setFixedSize(447, 335);

    // A lowered outer bevel around a raised inner one.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(8, 8, 433, 265);
    auto* innerBevel = new QFrame(Panel1);
    innerBevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    innerBevel->setLineWidth(1);
    innerBevel->setGeometry(1, 1, 431, 263);

    OKButton = new QPushButton(varnok::GlyphIcon(varnok::Glyph::Close),
                               QStringLiteral("&Schließen"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(135, 296, 186, 33);
    QFont buttonFont = OKButton->font();
    buttonFont.setPixelSize(11);
    buttonFont.setBold(true);
    OKButton->setFont(buttonFont);
    OKButton->setDefault(true);

    model_ = new varnok::ListingModel(this);
    ListBox1 = new varnok::ListingView(Panel1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 8, 417, 162);
    ListBox1->setModel(model_);
    ListBox1->setRowHeight(16);
    QFont listFont(QStringLiteral("System"));
    listFont.setPixelSize(13);
    listFont.setBold(true);
    ListBox1->setFont(listFont);
    QPalette listPalette = ListBox1->palette();
    listPalette.setColor(QPalette::Text, Qt::black);
    ListBox1->setPalette(listPalette);

    Button1 = new QPushButton(Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(144, 232, 153, 25);

    setTabOrder(ListBox1, Button1);
    setTabOrder(Button1, OKButton);
    OKButton->setFocus();

    connect(OKButton, &QPushButton::clicked, this, &Tdateiinhalt_ansehen::OKButtonClick);
    connect(Button1, &QPushButton::clicked, this, &Tdateiinhalt_ansehen::Button1Click);
    new varnok::KeyPreview(this, [this](QKeyEvent* event) {
        if (event->type() == QEvent::KeyRelease) return FormKeyUp(event);
        const Qt::KeyboardModifiers modifiers =
            event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            // Enter on the toggle toggles; anywhere else it closes.
            if (focusWidget() == Button1)
                Button1->click();
            else
                OKButton->click();
            return true;
        }
        if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
            OKButton->click();
            return true;
        }
        return false;
    });

    FormCreate();
}

void Tdateiinhalt_ansehen::FormCreate() {
    HexMode = false;
    Button1->setText(QStringLiteral("&Hexadezimal"));
}

void Tdateiinhalt_ansehen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only becoming visible builds: bringing an open viewer to the front,
    // or restoring it from an icon, does not.
    if (!event->spontaneous()) FormShow();
}

void Tdateiinhalt_ansehen::hideEvent(QHideEvent* event) {
    // The next showing builds the listing anew; its memory goes now.
    if (!event->spontaneous()) model_->clear();
    QDialog::hideEvent(event);
}

void Tdateiinhalt_ansehen::FormShow() {
    model_->clear();
    BuildListing();
}

void Tdateiinhalt_ansehen::message(const Bilingual& text) {
    varnok::ShowMessage(this, varnok::MessageKind::Error, Text(text));
}

void Tdateiinhalt_ansehen::BuildListing() {
    model_->clear();
    const varnok::ListingFormat format = varnok::ViewerFormat(HexMode);
    varnok::FileSnapshot snapshot =
        varnok::FileSnapshot::Read(Shared().ImageFile, varnok::ListingModel::ByteLimit(format));
    if (!snapshot.opened()) {
        message(text::NotReadable);
        return;
    }
    // The caption names the file whose bytes are listed. The selection
    // dialog's current entry may be another file (one previewed and not
    // accepted, or none at all after a restored start), and a caption naming
    // it over this file's bytes would mislead.
    const QString path = QFile::decodeName(QByteArray::fromStdString(Shared().ImageFile));
    setWindowTitle(Text(text::CaptionStart) + path + Text(text::CaptionSize) +
                   QString::number(snapshot.size()) + QStringLiteral(" Byte"));
    if (snapshot.status() == varnok::FileSnapshot::Status::TooLarge) {
        message(text::TooLargeToList);
        return;
    }
    const bool readFailed = snapshot.status() == varnok::FileSnapshot::Status::ReadFailed;
    model_->setListing(varnok::Listing(std::move(snapshot), format));
    if (readFailed) message(text::ReadError);
}

void Tdateiinhalt_ansehen::Button1Click() {
    HexMode = !HexMode;
    Button1->setText(Text(HexMode ? text::ShowCharacters : text::ShowHexadecimal));
    if (model_->rowCount() >= 1) BuildListing();
}

void Tdateiinhalt_ansehen::OKButtonClick() {
    hide();
}

bool Tdateiinhalt_ansehen::FormKeyUp(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->isAutoRepeat()) return false;
    hide();
    return true;
}
