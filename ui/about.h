// TAboutBox: the About box, with the product name and version.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zantrel {

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Readme = nullptr;
    QPushButton* OKButton = nullptr;
};

} // namespace zantrel
