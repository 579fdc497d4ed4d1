#include "ui/about1.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/modal.h"
#include "ui/sdimain.h"

namespace zantrel {

namespace {

QString Text(std::string_view text) { return QtText(text); }

QColor QtColour(Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }

Rgb RgbOf(const QColor& colour) {
    return {static_cast<std::uint8_t>(colour.red()), static_cast<std::uint8_t>(colour.green()),
            static_cast<std::uint8_t>(colour.blue())};
}

} // namespace

TAboutBox1::TAboutBox1(QWidget* parent) : QDialog(parent), OpenDirectory1(this) {
    setWindowTitle(Text(SettingsCaption));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    GroupBox1 = new QGroupBox(this);
    CheckBox1 = new QCheckBox(Text(CheckBox1Caption), GroupBox1);
    CheckBox2 = new QCheckBox(Text(CheckBox2Caption), GroupBox1);
    auto* group1 = new QVBoxLayout(GroupBox1);
    group1->addWidget(CheckBox1);
    group1->addWidget(CheckBox2);

    GroupBox2 = new QGroupBox(this);
    CheckBox4 = new QCheckBox(Text(CheckBox4Caption), GroupBox2);
    CheckBox5 = new QCheckBox(Text(CheckBox5Caption), GroupBox2);
    CheckBox5->setEnabled(false);
    Shape1 = new QFrame(GroupBox2);
    Shape1->setFixedSize(22, 22);
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setAutoFillBackground(true);
    // The swatch takes the keyboard too: Space or Enter opens the colour dialog.
    Shape1->setFocusPolicy(Qt::StrongFocus);
    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(CheckBox5);
    colourRow->addSpacing(8);
    colourRow->addWidget(Shape1);
    colourRow->addStretch();
    auto* group2 = new QVBoxLayout(GroupBox2);
    group2->addWidget(CheckBox4);
    group2->addLayout(colourRow);

    GroupBox3 = new QGroupBox(this);
    CheckBox3 = new QCheckBox(Text(CheckBox3Caption), GroupBox3);
    WorkFolderLabel = new QLabel(GroupBox3);
    WorkFolderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* group3 = new QVBoxLayout(GroupBox3);
    group3->addWidget(CheckBox3);
    group3->addWidget(WorkFolderLabel);

    Button2 = new QPushButton(Text(OkCaption), this);
    Button1 = new QPushButton(Text(CancelCaption), this);
    Button2->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addWidget(GroupBox3);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    OpenDirectory1.Title = Text(FolderPickerTitle);
    OpenDirectory1.EnableSizing = true;

    // Tab goes as the dialog reads: the boxes, the swatch, the folder, OK, Cancel.
    QWidget* order[] = {CheckBox1, CheckBox2, CheckBox4, CheckBox5,
                        Shape1,    CheckBox3, Button2,   Button1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button2, &QPushButton::clicked, this, &QDialog::accept);
    // clicked, not toggled: only the user's clicks run the handlers.
    connect(CheckBox3, &QCheckBox::clicked, this, &TAboutBox1::CheckBox3Click);
    connect(CheckBox4, &QCheckBox::clicked, this, &TAboutBox1::CheckBox4Click);
    connect(CheckBox5, &QCheckBox::clicked, this, &TAboutBox1::CheckBox5Click);
    Shape1->installEventFilter(this);

    FormCreate();
}

void TAboutBox1::FormCreate() {
    zantrel::FormCreate(state_);
    ShowState();
}

const SettingsDialogState& TAboutBox1::CurrentState() {
    state_.checkBox1 = CheckBox1->isChecked();
    state_.checkBox2 = CheckBox2->isChecked();
    state_.checkBox3 = CheckBox3->isChecked();
    state_.checkBox4 = CheckBox4->isChecked();
    state_.checkBox5 = CheckBox5->isChecked();
    return state_;
}

QColor TAboutBox1::Shape1Colour() const { return Shape1->palette().color(QPalette::Window); }

void TAboutBox1::ShowState() {
    CheckBox1->setChecked(state_.checkBox1);
    CheckBox2->setChecked(state_.checkBox2);
    CheckBox3->setChecked(state_.checkBox3);
    CheckBox4->setChecked(state_.checkBox4);
    CheckBox5->setChecked(state_.checkBox5);
    CheckBox5->setEnabled(state_.checkBox5Enabled);
    Shape1->setEnabled(state_.shape1Enabled);
    QPalette palette = Shape1->palette();
    const QColor colour = QtColour(state_.shape1Colour);
    // A disabled swatch keeps its colour; only the frame shows the state.
    palette.setColor(QPalette::Active, QPalette::Window, colour);
    palette.setColor(QPalette::Inactive, QPalette::Window, colour);
    palette.setColor(QPalette::Disabled, QPalette::Window, colour);
    Shape1->setPalette(palette);

    WorkFolderLabel->setToolTip(QDir::toNativeSeparators(Text(ShownWorkFolder(state_))));
    WorkFolderLabel->setText(Text(WorkFolderCaption) + " " +
                             QDir::toNativeSeparators(Text(ShortWorkFolder(state_))));
}

bool TAboutBox1::eventFilter(QObject* watched, QEvent* event) {
    // The swatch's focus ring: a thicker frame while it has the keyboard.
    if (watched == Shape1 &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        Shape1->setLineWidth(event->type() == QEvent::FocusIn ? 2 : 1);
    const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
    const bool chosen = event->type() == QEvent::MouseButtonRelease ||
                        (key && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                                 key->key() == Qt::Key_Enter));
    if (watched == Shape1 && chosen && Shape1->isEnabled() && CheckBox5->isEnabled()) {
        CheckBox5->setChecked(true);
        CheckBox5Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox1::CheckBox4Click() {
    CurrentState();
    zantrel::CheckBox4Click(state_);
    ShowState();
}

void TAboutBox1::CheckBox5Click() {
    CurrentState();
    QColorDialog ColorDialog1(colorDialog1Colour_, this);
    ColorDialog1.setOption(QColorDialog::DontUseNativeDialog, true);
    std::optional<Rgb> picked;
    if (RunModal(ColorDialog1) == QDialog::Accepted) {
        const QColor colour = ColorDialog1.selectedColor().isValid() ? ColorDialog1.selectedColor()
                                                                     : ColorDialog1.currentColor();
        colorDialog1Colour_ = colour;
        picked = RgbOf(colour);
    }
    zantrel::CheckBox5Click(state_, picked);
    ShowState();
}

void TAboutBox1::CheckBox3Click() {
    CurrentState();
    std::optional<std::string> picked;
    if (state_.checkBox3) {
        OpenDirectory1.InitialDirectory = FromLocalPath(CurrentWorkFolder());
        if (OpenDirectory1.Execute())
            // A folder reached by a network path alone is its network form.
            picked =
                ToLocalPath(OpenDirectory1.Directory().isEmpty() ? OpenDirectory1.UncDirectory()
                                                                 : OpenDirectory1.Directory());
    }
    zantrel::CheckBox3Click(state_, picked);
    ShowState();
}

void TAboutBox1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, not over the main window.
    if (QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
}

} // namespace zantrel
