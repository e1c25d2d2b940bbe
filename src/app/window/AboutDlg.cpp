#include "app/window/AboutDlg.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/window/RadioPictures.h"

namespace {
// The logo is drawn at twice the size it is shown at, so it stays sharp on scaled screens.
constexpr int kLogoShownSize = 64;
}  // namespace

TAboutDialog::TAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setObjectName(QStringLiteral("AboutDialog"));

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Image1 = new QLabel(panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kLogoShownSize, kLogoShownSize);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(LoadLogo()));
    NameLabel = new QLabel(panel);
    NameLabel->setObjectName(QStringLiteral("NameLabel"));
    QFont bold = NameLabel->font();
    bold.setBold(true);
    NameLabel->setFont(bold);
    VersionLabel = new QLabel(panel);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    CommentLabel =
        new QLabel(QStringLiteral("Brings a radio's firmware up to the release it carries\n"
                                  "and keeps the radio's codeplug."),
                   panel);
    CommentLabel->setObjectName(QStringLiteral("CommentLabel"));

    auto* grid = new QGridLayout(panel);
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(NameLabel, 0, 1);
    grid->addWidget(VersionLabel, 1, 1, Qt::AlignTop);
    grid->addWidget(CommentLabel, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    setMinimumSize(302, 225);
}
