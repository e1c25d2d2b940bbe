#include "app/window/PortList.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QStylePainter>
#include <QToolTip>

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

QString PortToolTip(int comNumber) {
    const serial::OpenFailure check = serial::CheckComPort(comNumber);
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    const QString device =
        check.device.empty() ? QStringLiteral("no device") : QString::fromStdString(check.device);
    if (serial::IsAvailable(check))
        return QStringLiteral("%1 is %2").arg(com, device);
    return QStringLiteral("%1 is %2 and cannot be used:\n%3")
        .arg(com, device, QString::fromStdString(serial::DescribeOpenFailure(check)));
}

PortItemDelegate::PortItemDelegate(QComboBox* list, PortPresence presence)
    : QStyledItemDelegate(list), list_(list), presence_(std::move(presence)) {}

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
    QToolTip::showText(event->globalPos(), PortToolTip(index.row() + 1), view,
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
        QToolTip::showText(help->globalPos(), PortToolTip(currentIndex() + 1), this);
        return true;
    }
    return QComboBox::event(event);
}
