#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;

// The password dialog of the Start button: a masked edit, OK and Cancel. `accepted` tells how
// it was closed (1 OK, 0 Cancel or the window's close button).
class TCodeDownPassDispDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TCodeDownPassDispDlg(QWidget* parent = nullptr);

    QString Password() const;

    QLineEdit* m_PasswordEdit = nullptr;
    QPushButton* BitBtn1 = nullptr;  // OK
    QPushButton* BitBtn2 = nullptr;  // Cancel
    std::uint8_t accepted = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormActivate();
    void BitBtn1Click();
    void BitBtn2Click();
};
