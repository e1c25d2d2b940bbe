#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

// The password dialog of the Start button: a masked edit, OK and Cancel. `accepted` tells how
// it was closed (1 OK, 0 Cancel or the window's close button).
class TCodeDownPassDispDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TCodeDownPassDispDlg(QWidget* parent = nullptr);

    QString Password() const;
    // The same dialog serves the radio's own codeplug password with another prompt.
    void SetPrompt(const QString& prompt);

    QLineEdit* m_PasswordEdit = nullptr;
    QPushButton* BitBtn1 = nullptr;  // OK
    QPushButton* BitBtn2 = nullptr;  // Cancel
    std::uint8_t accepted = 0;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormActivate();
    QLabel* prompt_ = nullptr;
    void BitBtn1Click();
    void BitBtn2Click();
};
