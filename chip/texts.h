// The chip operations' own texts, German and English, letter for letter as the
// users of the original know them (typos included).
#pragma once

namespace varnok {

struct Bilingual {
    const char* german;
    const char* english;
    const char* operator()(bool languageGerman) const { return languageGerman ? german : english; }
};

namespace text {
// Programming dialog.
inline constexpr Bilingual BrennboxCaption{"Mikrocontroller brennen", "Programming chip"};
inline constexpr Bilingual FileLabel{"Datei: ", "File: "};
inline constexpr Bilingual SizeLabel{"Größe: ", "Size: "};
inline constexpr Bilingual StatusStart{"Chip initialisieren", "Startsequence"};
inline constexpr Bilingual StatusErase{"Speicher löschen", "Clear memory"};
inline constexpr Bilingual StatusProgram{"Start programmierung", "Begin programming"};
inline constexpr Bilingual StatusLockBits{"Lockbit einarbeiten", "Switch on lockbit"};
inline constexpr Bilingual ImageUnreadable{"Datei kann nicht gelesen werden!",
                                           "Selected file can not be read!"};
inline constexpr Bilingual ImageTooLarge{
    "Datei ist größer als der Speicherbereich des Mikrocontrollers!",
    "Size of selected file is larger\rthan the capacity of processor memory!"};
inline constexpr Bilingual LinkDefective{"Anschlußleitung zum Programmiergerät defekt!",
                                         "Access line to the programming device defectively!"};
inline constexpr Bilingual VerifyFailed{"Chip läßt sich nicht programmieren!",
                                        "The microcontroller cannot be programmed!"};
inline constexpr Bilingual ProgrammingDone{"Programmierung erfolgreich!", "Programming complette!"};

// Read-out dialog.
inline constexpr Bilingual AuslesenCaption{"Prozessorinhalt auslesen", "Read out proessor memory"};
inline constexpr Bilingual SaveNoScratch{
    "Speichern leider fehlgeschlagen,\rda OUTPUT.TMP nicht vorhanden",
    "Sorry, file save not possible because\rfile OUTPUT.TMP not found"};
inline constexpr Bilingual SaveFailed{"Speichern leider fehlgeschlagen",
                                      "File save was not possible"};

// Erase dialog.
inline constexpr Bilingual MemloeschCaption{"Programmspeicher löschen",
                                            "Erase chip program memory"};
inline constexpr Bilingual MemloeschHeading{"Programmspeicher löschen",
                                            "Erase program memory only"};
inline constexpr Bilingual EraseButton{"&Lösche", "&Erase"};
inline constexpr Bilingual CloseButton{"&Schließen", "&Close"};
inline constexpr Bilingual EraseDone{"Programmspeicher gelöscht", "program memory cleared"};
inline constexpr Bilingual EraseLinkDefective{"Anschlußleitung zum Programmiergerät defekt!",
                                              "Link to the programm device not ok!"};
}  // namespace text

}  // namespace varnok
