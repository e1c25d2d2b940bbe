#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>
#include <functional>
#include <vector>

#include "serial/SerialDevice.h"

// The COM port list: 64 items "COM 1" ... "COM 64"; a port that could not be opened at the last
// scan is drawn grey, and the tool tip of every item names the Linux device behind it, the
// adapter when the system knows it and, for a grey one, why it cannot be used.

// Whether the port of a list position was present at the last scan.
using PortPresence = std::function<bool(int index)>;
// The tool tip of COM n.
using PortTip = std::function<QString(int comNumber)>;

// Draws one item: enabled (present and the list enabled) in the list's colours, the highlight
// when selected; otherwise grey text, on white when selected.
void DrawPortItem(QPainter* painter, const QStyleOptionViewItem& option, const QString& text,
                  bool present, bool listEnabled);

// The tool tip of COM n: its device and whether it can be used now, and if not, why; then the
// adapter and its /dev/serial/by-id name when the device is among `devices`.
QString PortToolTip(int comNumber, const std::vector<serial::SerialDevice>& devices = {});

class PortItemDelegate : public QStyledItemDelegate {
  public:
    PortItemDelegate(QComboBox* list, PortPresence presence, PortTip tip = {});

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  private:
    QComboBox* list_;
    PortPresence presence_;
    PortTip tip_;
};

// The drop-down itself: shows the selected item grey when its port is absent, and gives the
// selected port's tool tip.
class PortComboBox : public QComboBox {
  public:
    explicit PortComboBox(QWidget* parent = nullptr);
    void SetPresence(PortPresence presence);
    void SetToolTips(PortTip tip) { tip_ = std::move(tip); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    PortPresence presence_;
    PortTip tip_;
};
