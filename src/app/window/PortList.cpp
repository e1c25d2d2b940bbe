#include "app/window/PortList.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QStylePainter>
#include <QToolTip>

#include "serial/ComPortListing.h"
#include "serial/OpenFailure.h"
#include "serial/PortAvailability.h"

namespace {
// The least height of an item; more when the font needs it.
constexpr int kItemHeight = 13;
constexpr int kTextIndent = 2;
const QColor kAbsentText(128, 128, 128);
}  // namespace

void DrawPortItem(QPainter* painter, const QStyleOptionViewItem& option, const QString& text,
                  bool present, bool listEnabled) {
    const bool enabled = present && listEnabled;
    const bool selected = option.state & QStyle::State_Selected;
    QBrush brush = option.palette.brush(QPalette::Base);
    QColor textColour = option.palette.color(QPalette::Text);
    if (enabled) {
        if (selected) {
            brush = option.palette.brush(QPalette::Highlight);
            textColour = option.palette.color(QPalette::HighlightedText);
        }
    } else {
        textColour = kAbsentText;
        if (selected)
            brush = QBrush(Qt::white);
    }
    painter->save();
    painter->fillRect(option.rect, brush);
    painter->setClipRect(option.rect);
    painter->setPen(textColour);
    painter->setFont(option.font);
    painter->drawText(option.rect.adjusted(kTextIndent, 0, 0, 0),
                      Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

QString PortToolTip(int comNumber, const std::vector<serial::SerialDevice>& devices) {
    const serial::OpenFailure check = serial::CheckComPort(comNumber);
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    const QString device =
        check.device.empty() ? QStringLiteral("no device") : QString::fromStdString(check.device);
    QString tip =
        serial::IsAvailable(check)
            ? QStringLiteral("%1 is %2").arg(com, device)
            : QStringLiteral("%1 is %2 and cannot be used:\n%3")
                  .arg(com, device, QString::fromStdString(serial::DescribeOpenFailure(check)));
    if (const auto adapter = serial::DeviceOf(check, devices)) {
        const QString facts = QString::fromStdString(serial::DescribeSerialDevice(*adapter));
        if (!facts.isEmpty())
            tip +=
                (adapter->IsUsb() ? QStringLiteral("\nAdapter: ") : QStringLiteral("\nDriver: ")) +
                facts;
        if (!adapter->byId.empty())
            tip += QStringLiteral("\nBy id: ") + QString::fromStdString(adapter->byId);
    }
    return tip;
}

PortItemDelegate::PortItemDelegate(QComboBox* list, PortPresence presence, PortTip tip)
    : QStyledItemDelegate(list),
      list_(list),
      presence_(std::move(presence)),
      tip_(std::move(tip)) {}

void PortItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    DrawPortItem(painter, item, index.data(Qt::DisplayRole).toString(),
                 presence_ && presence_(index.row()), list_->isEnabled());
}

QSize PortItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QSize natural = QStyledItemDelegate::sizeHint(option, index);
    const int height = std::max(kItemHeight, option.fontMetrics.height() + 2);
    return QSize(natural.width() + 2 * kTextIndent, height);
}

bool PortItemDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const int comNumber = index.row() + 1;
    QToolTip::showText(event->globalPos(), tip_ ? tip_(comNumber) : PortToolTip(comNumber), view,
                       view->visualRect(index));
    return true;
}

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {}

void PortComboBox::SetPresence(PortPresence presence) {
    presence_ = std::move(presence);
    update();
}

void PortComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const bool absent = presence_ && currentIndex() >= 0 && !presence_(currentIndex());
    if (absent) {
        option.palette.setColor(QPalette::ButtonText, kAbsentText);
        option.palette.setColor(QPalette::Text, kAbsentText);
    }
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool PortComboBox::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && currentIndex() >= 0) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int comNumber = currentIndex() + 1;
        QToolTip::showText(help->globalPos(), tip_ ? tip_(comNumber) : PortToolTip(comNumber),
                           this);
        return true;
    }
    return QComboBox::event(event);
}
