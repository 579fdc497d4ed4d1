#include "ui/about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/about1.h"

#include "ui/sdimain.h"

namespace zantrel {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QtText(AboutCaption));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    ProductName = new QLabel(QtText(ProductNameText), this);
    QFont big = ProductName->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    big.setBold(true);
    ProductName->setFont(big);
    ProductName->setAlignment(Qt::AlignCenter);

    Version = new QLabel(QtText(VersionText), this);
    Version->setAlignment(Qt::AlignCenter);

    Readme = new QLabel(QtText(ReadmeText), this);
    Readme->setAlignment(Qt::AlignCenter);

    OKButton = new QPushButton(QtText(OkCaption), this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 24, 36, 18);
    layout->setSpacing(10);
    layout->addWidget(ProductName);
    layout->addWidget(Version);
    layout->addWidget(Readme);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace zantrel
