// TAboutBox1: the settings dialog. It carries the user's clicks to the
// settings logic (shell/about1) and runs the colour and folder pickers.
#pragma once

#include <QColor>
#include <QDialog>

#include "shell/about1.h"

#include "ui/opendir.h"

class QCheckBox;
class QFrame;
class QLabel;
class QGroupBox;
class QPushButton;

namespace zantrel {

class TAboutBox1 : public QDialog {
    Q_OBJECT

public:
    // Builds the controls and runs FormCreate.
    explicit TAboutBox1(QWidget* parent = nullptr);

    // Sets the boxes from the shared state; once, at creation.
    void FormCreate();
    // The boxes as they stand, for ApplySettings.
    const SettingsDialogState& CurrentState();

    QColor Shape1Colour() const;
    // The colour picker's colour: magenta at first, then the last one picked.
    QColor ColorDialog1Colour() const { return colorDialog1Colour_; }

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QFrame* Shape1 = nullptr;
    // The work folder OK keeps, elided; its full path is the tooltip.
    QLabel* WorkFolderLabel = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    TOpenDirectory OpenDirectory1;

protected:
    void showEvent(QShowEvent* event) override;
    // A click on the swatch, or Space or Enter on it, is a tick of "Select
    // transparency replacer color"; its frame thickens while it has the keyboard.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The user's clicks; a tick set by the program runs none of them.
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void ShowState();

    SettingsDialogState state_;
    QColor colorDialog1Colour_{255, 0, 255};
};

} // namespace zantrel
