#include "app/window/CodeDownPassDlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The edit masks every character with "*", whatever the desktop style would use.
class StarMaskStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

TCodeDownPassDispDlg::TCodeDownPassDispDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Radio Code Update - Enter Password"));
    setObjectName(QStringLiteral("CodeDownPassDispDlg"));

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    prompt_ = new QLabel(QStringLiteral("Please enter your password:"), panel);
    m_PasswordEdit = new QLineEdit(panel);
    m_PasswordEdit->setObjectName(QStringLiteral("m_PasswordEdit"));
    m_PasswordEdit->setEchoMode(QLineEdit::Password);
    auto* maskStyle = new StarMaskStyle;
    maskStyle->setParent(m_PasswordEdit);
    m_PasswordEdit->setStyle(maskStyle);
    prompt_->setBuddy(m_PasswordEdit);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(prompt_);
    panelLayout->addWidget(m_PasswordEdit);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    setMinimumWidth(387);
    setSizeGripEnabled(false);
}

QString TCodeDownPassDispDlg::Password() const {
    return m_PasswordEdit->text();
}

void TCodeDownPassDispDlg::SetPrompt(const QString& prompt) {
    prompt_->setText(prompt);
}

void TCodeDownPassDispDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TCodeDownPassDispDlg::FormActivate() {
    m_PasswordEdit->setFocus(Qt::ActiveWindowFocusReason);
}

void TCodeDownPassDispDlg::BitBtn1Click() {
    accepted = 1;
    accept();
}

void TCodeDownPassDispDlg::BitBtn2Click() {
    accepted = 0;
    reject();
}
