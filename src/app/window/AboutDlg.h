#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the logo, the program's name and version and a line about what it is for.
class TAboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutDialog(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* NameLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QLabel* CommentLabel = nullptr;
    QPushButton* OKButton = nullptr;
};
