#include "app/window/CodeUpdaterMainForm.h"

#include <unistd.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "app/core/CodeplugBackup.h"
#include "app/core/TimeLeft.h"
#include "app/core/UpdaterTexts.h"
#include "app/journal/RunSummary.h"
#include "app/package/ProgramName.h"
#include "app/window/AboutDlg.h"
#include "app/window/CodeDownPassDlg.h"
#include "app/window/PortList.h"
#include "app/window/PortWatch.h"
#include "app/window/RadioPictures.h"
#include "app/window/RestoreCodeplugDlg.h"

namespace {

constexpr int kPortCount = 64;
// The pane's least width and the distance the window keeps beyond its edge.
constexpr int kVersionPaneWidth = 273;
constexpr int kPaneEdgeMargin = 5;
// The left column's least width, so the groups do not shrink to their captions.
constexpr int kLeftColumnWidth = 400;
// The radio pictures are drawn at twice this size.
constexpr int kPictureWidth = 100;
constexpr int kPictureHeight = 120;
constexpr int kProgressMaximum = 100;
// Rows the details list shows without scrolling.
constexpr int kDetailsRows = 12;
const char kAboutName[] = "Quenta Code Updater";
const char kAboutVersion[] = "1.2.9";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

int SystemProcessorCount() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<int>(count) : 1;
}

QLabel* ValueLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* Picture(QWidget* parent, const char* name, RadioPicture which) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setFixedSize(kPictureWidth, kPictureHeight);
    picture->setScaledContents(true);
    picture->setPixmap(QPixmap::fromImage(LoadRadioPicture(which)));
    picture->hide();
    return picture;
}

}  // namespace

// The window's progress bar as the downloads and the progress timer drive it.
class TCodeUpdaterMainDispForm::WidgetProgressBar : public ProgressBar {
  public:
    explicit WidgetProgressBar(QProgressBar* bar) : bar_(bar) {}
    void SetMinimum(int value) override { bar_->setMinimum(value); }
    void SetMaximum(int value) override { bar_->setMaximum(value); }
    // QProgressBar ignores a value outside its range; the bar stops at its ends instead.
    void SetPosition(int value) override {
        bar_->setValue(std::clamp(value, bar_->minimum(), bar_->maximum()));
    }

  private:
    QProgressBar* bar_;
};

TCodeUpdaterMainDispForm::TCodeUpdaterMainDispForm(const PackageResources& package,
                                                   MainFormOptions options, QWidget* parent)
    : QMainWindow(parent),
      componentClock_(ApdComPort, pump_),
      clock_(componentClock_, options.tickDivisor) {
    setWindowTitle(QStringLiteral("Quenta Code Updater"));
    setObjectName(QStringLiteral("CodeUpdaterMainDispForm"));
    BuildMenus();
    BuildControls();
    progress_ = std::make_unique<WidgetProgressBar>(m_ProgressBar);

    if (options.workingDirectory.empty())
        options.workingDirectory = std::filesystem::current_path();
    if (options.backupDirectory.empty())
        options.backupDirectory = DefaultBackupDirectory();
    if (!options.processorCount)
        options.processorCount = SystemProcessorCount;
    platform_.reset(new UpdaterPlatform{pump_,
                                        m_CommTimer,
                                        ProgressBarTimer,
                                        ApdComPort,
                                        clock_,
                                        options.processorCount,
                                        options.workingDirectory,
                                        options.backupDirectory,
                                        {},
                                        {}});
    platform_->recorder = options.recorder;
    journalPath_ = options.journalPath;
    openFolder_ =
        options.openFolder ? options.openFolder : [](const std::filesystem::path& folder) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
        };
    updater_ = std::make_unique<CodeUpdater>(*this, *platform_, package);
    // m_CommTimer and ProgressBarTimer get their handlers from the logic (Initialise).
    ApdComPort.SetOnTriggerTimer([this](int handle) { updater_->ApdComPortTriggerTimer(handle); });

    // Plugging and unplugging rescan the list, once the logic no longer holds a port.
    if (!options.serialDevices)
        options.serialDevices = serial::SystemSerialDevices();
    if (!options.serialMonitor)
        options.serialMonitor = serial::OpenSystemSerialMonitor();
    portWatch_ = new PortWatch(
        options.serialDevices, options.serialMonitor, [this] { updater_->ScanPorts(); }, this);

    // Construction in the window's fixed order: the port list, the name and release, the pane
    // collapsed, then the package's labels and picture, the logic's own steps (link, flags,
    // target kind, port scan) and the upgrade choice.
    FillPortList();
    if (options.comNumber >= 1 && options.comNumber <= kPortCount)
        m_ComportComboBox->setCurrentIndex(options.comNumber - 1);
    m_CommTimer.SetEnabled(false);
    reportSource_ = {&package,
                     options.programFilePath.empty()
                         ? QCoreApplication::applicationFilePath().toStdString()
                         : options.programFilePath,
                     options.backupDirectory};
    SetNameAndRelease(reportSource_.programFilePath);
    ToggleVersionPane();
    updater_->Initialise();
    ShowPackageLabels(package);
    ShowPicture();
    if (updater_->ShowsUpgradeChoice()) {
        m_UpgradeTypeLabel->show();
        m_ApplicationRadioButton->show();
        m_BootRadioButton->show();
    }
}

TCodeUpdaterMainDispForm::~TCodeUpdaterMainDispForm() {
    // The logic holds the link, which borrows the port component and the timers: it goes first.
    updater_.reset();
}

// ---------------------------------------------------------------------------------------------
// Building the window

void TCodeUpdaterMainDispForm::BuildMenus() {
    // The two menus open from flat buttons on a tool bar along the top.
    m_FileMenuItem = new QMenu(QStringLiteral("&File"), this);
    m_FileMenuItem->setObjectName(QStringLiteral("m_FileMenuItem"));
    m_FileRestoreMenuItem = m_FileMenuItem->addAction(QStringLiteral("&Restore Codeplug..."));
    m_FileRestoreMenuItem->setObjectName(QStringLiteral("m_FileRestoreMenuItem"));
    m_FileUpgradeMenuItem = m_FileMenuItem->addAction(QStringLiteral("&Upgrade Codeplug..."));
    m_FileUpgradeMenuItem->setObjectName(QStringLiteral("m_FileUpgradeMenuItem"));
    m_FileMenuItem->addSeparator();
    m_FileExitMenuItem = m_FileMenuItem->addAction(QStringLiteral("E&xit"));
    m_FileExitMenuItem->setObjectName(QStringLiteral("m_FileExitMenuItem"));
    m_HelpMenuItem = new QMenu(QStringLiteral("&Help"), this);
    m_HelpMenuItem->setObjectName(QStringLiteral("m_HelpMenuItem"));
    m_HelpAboutMenuItem = m_HelpMenuItem->addAction(QStringLiteral("&About"));
    m_HelpAboutMenuItem->setObjectName(QStringLiteral("m_HelpAboutMenuItem"));
    m_HelpSupportReportMenuItem =
        m_HelpMenuItem->addAction(QStringLiteral("Save &Support Report..."));
    m_HelpSupportReportMenuItem->setObjectName(QStringLiteral("m_HelpSupportReportMenuItem"));
    connect(m_FileRestoreMenuItem, &QAction::triggered, this,
            [this] { m_FileRestoreMenuItemClick(); });
    connect(m_FileUpgradeMenuItem, &QAction::triggered, this,
            [this] { m_FileUpgradeMenuItemClick(); });
    connect(m_FileExitMenuItem, &QAction::triggered, this, [this] { m_FileExitMenuItemClick(); });
    connect(m_HelpAboutMenuItem, &QAction::triggered, this, [this] { m_HelpAboutMenuItemClick(); });
    connect(m_HelpSupportReportMenuItem, &QAction::triggered, this,
            [this] { m_HelpSupportReportMenuItemClick(); });

    MenuToolBar = new QToolBar(QStringLiteral("Menu"), this);
    MenuToolBar->setObjectName(QStringLiteral("MenuToolBar"));
    MenuToolBar->setMovable(false);
    MenuToolBar->setFloatable(false);
    MenuToolBar->toggleViewAction()->setVisible(false);
    for (QMenu* menu : {m_FileMenuItem, m_HelpMenuItem}) {
        auto* button = new QToolButton(MenuToolBar);
        button->setText(menu->title());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setAutoRaise(true);
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
        MenuToolBar->addWidget(button);
    }
    addToolBar(Qt::TopToolBarArea, MenuToolBar);
    setContextMenuPolicy(Qt::NoContextMenu);
}

QGroupBox* TCodeUpdaterMainDispForm::BuildTargetGroup(QWidget* parent) {
    auto* group = new QGroupBox(QStringLiteral("Intended Target Radio"), parent);
    group->setObjectName(QStringLiteral("m_TargetInformationGroupBox"));
    m_TargetRadioLabel = ValueLabel(QStringLiteral("2600"), group, "m_TargetRadioLabel");
    m_TargetSeriesLabel = ValueLabel(QStringLiteral("4"), group, "m_TargetSeriesLabel");
    m_TargetReleaseLabel = ValueLabel(QStringLiteral("X"), group, "m_TargetReleaseLabel");
    m_TargetUpgradeTypeLabel =
        ValueLabel(QStringLiteral("Application"), group, "m_TargetUpgradeTypeLabel");
    PortableXPicture = Picture(group, "PortableXPicture", RadioPicture::kPortableX);
    PortableGPicture = Picture(group, "PortableGPicture", RadioPicture::kPortableG);
    MobileXPicture = Picture(group, "MobileXPicture", RadioPicture::kMobileX);
    MobileGPicture = Picture(group, "MobileGPicture", RadioPicture::kMobileG);

    auto* grid = new QGridLayout(group);
    const QString headings[] = {QStringLiteral("Radio:"), QStringLiteral("Series:"),
                                QStringLiteral("Release:"), QStringLiteral("Upgrade Type:")};
    QLabel* values[] = {m_TargetRadioLabel, m_TargetSeriesLabel, m_TargetReleaseLabel,
                        m_TargetUpgradeTypeLabel};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(new QLabel(headings[row], group), row, 0);
        grid->addWidget(values[row], row, 1);
    }
    for (QLabel* picture : {PortableXPicture, PortableGPicture, MobileXPicture, MobileGPicture})
        grid->addWidget(picture, 0, 2, 5, 1, Qt::AlignRight | Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnMinimumWidth(2, kPictureWidth);
    return group;
}

QGroupBox* TCodeUpdaterMainDispForm::BuildTransferGroup(QWidget* parent) {
    auto* group = new QGroupBox(QStringLiteral("Transfer"), parent);
    group->setObjectName(QStringLiteral("m_CodeUpdateGroupBox"));
    m_ComportComboBox = new PortComboBox(group);
    m_ComportComboBox->setObjectName(QStringLiteral("m_ComportComboBox"));
    m_ComportComboBox->setItemDelegate(new PortItemDelegate(
        m_ComportComboBox, [this](int i) { return updater_->PortPresent(i); },
        [this](int n) { return PortToolTipOf(n); }));
    m_ComportComboBox->SetPresence([this](int i) { return updater_->PortPresent(i); });
    m_ComportComboBox->SetToolTips([this](int n) { return PortToolTipOf(n); });
    m_ComportComboBox->setMaxVisibleItems(16);
    // A scrolling list of 16 rather than a menu of all 64 items.
    m_ComportComboBox->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    m_ComportComboBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_ComportComboBox, &QComboBox::activated, this,
            [this](int index) { m_ComportComboBoxChange(index); });
    auto* comLabel = new QLabel(QStringLiteral("COM:"), group);
    comLabel->setBuddy(m_ComportComboBox);

    m_UpgradeTypeLabel = new QLabel(QStringLiteral("Upgrade Type:"), group);
    m_UpgradeTypeLabel->setObjectName(QStringLiteral("m_UpgradeTypeLabel"));
    m_ApplicationRadioButton = new QRadioButton(QStringLiteral("Application"), group);
    m_ApplicationRadioButton->setObjectName(QStringLiteral("m_ApplicationRadioButton"));
    m_ApplicationRadioButton->setChecked(true);
    m_BootRadioButton = new QRadioButton(QStringLiteral("Boot"), group);
    m_BootRadioButton->setObjectName(QStringLiteral("m_BootRadioButton"));
    connect(m_ApplicationRadioButton, &QRadioButton::clicked, this,
            [this] { m_ApplicationRadioButtonClick(); });
    connect(m_BootRadioButton, &QRadioButton::clicked, this, [this] { m_BootRadioButtonClick(); });
    for (QWidget* w : {static_cast<QWidget*>(m_UpgradeTypeLabel),
                       static_cast<QWidget*>(m_ApplicationRadioButton),
                       static_cast<QWidget*>(m_BootRadioButton)}) {
        // Hidden, but the rows keep their place so showing them moves nothing.
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
        w->hide();
    }

    m_StatusLabel = new QLabel(QStringLiteral("Idle"), group);
    m_StatusLabel->setObjectName(QStringLiteral("m_StatusLabel"));
    m_StatusLabel->setWordWrap(true);
    m_StatusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Three lines: the longest status texts wrap without moving the controls below.
    m_StatusLabel->setMinimumHeight(3 * m_StatusLabel->fontMetrics().lineSpacing());
    m_StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_ProgressBar = new QProgressBar(group);
    m_ProgressBar->setObjectName(QStringLiteral("m_ProgressBar"));
    m_ProgressBar->setRange(0, kProgressMaximum);
    m_ProgressBar->setValue(0);
    m_ProgressBar->setTextVisible(false);
    m_StartButton = new QPushButton(QStringLiteral("Start"), group);
    m_StartButton->setObjectName(QStringLiteral("m_StartButton"));
    // Wide enough for "Start" and "Stop" alike, so the caption change moves nothing.
    m_StartButton->setMinimumWidth(m_StartButton->sizeHint().width() + 16);
    connect(m_StartButton, &QPushButton::clicked, this, [this] { m_StartButtonClick(); });

    auto* grid = new QGridLayout(group);
    grid->addWidget(comLabel, 0, 0);
    grid->addWidget(m_ComportComboBox, 0, 1, Qt::AlignLeft);
    grid->addWidget(m_UpgradeTypeLabel, 1, 0);
    auto* choice = new QHBoxLayout;
    choice->addWidget(m_ApplicationRadioButton);
    choice->addWidget(m_BootRadioButton);
    choice->addStretch(1);
    grid->addLayout(choice, 1, 1);
    auto* statusHeading = new QLabel(QStringLiteral("Status:"), group);
    // The details toggle sits under the heading, beside the status's second line: folded, the
    // group keeps its height.
    m_DetailsToggleButton = new QToolButton(group);
    m_DetailsToggleButton->setObjectName(QStringLiteral("m_DetailsToggleButton"));
    m_DetailsToggleButton->setAutoRaise(true);
    m_DetailsToggleButton->setArrowType(Qt::RightArrow);
    m_DetailsToggleButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_DetailsToggleButton->setText(QStringLiteral("Details"));
    m_DetailsToggleButton->setToolTip(QStringLiteral("Show what the update did"));
    connect(m_DetailsToggleButton, &QToolButton::clicked, this,
            [this] { m_DetailsToggleButtonClick(); });
    auto* statusCell = new QVBoxLayout;
    statusCell->setContentsMargins(0, 0, 0, 0);
    statusCell->setSpacing(0);
    statusCell->addWidget(statusHeading);
    statusCell->addWidget(m_DetailsToggleButton);
    statusCell->addStretch(1);
    grid->addLayout(statusCell, 2, 0);
    grid->addWidget(m_StatusLabel, 2, 1);
    m_DetailsArea = BuildDetailsArea(group);
    grid->addWidget(m_DetailsArea, 3, 0, 1, 2);
    grid->addWidget(m_ProgressBar, 4, 0, 1, 2);
    grid->addWidget(m_StartButton, 5, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    return group;
}

QWidget* TCodeUpdaterMainDispForm::BuildDetailsArea(QWidget* parent) {
    auto* area = new QWidget(parent);
    area->setObjectName(QStringLiteral("m_DetailsArea"));
    m_DetailsList = new QTreeWidget(area);
    m_DetailsList->setObjectName(QStringLiteral("m_DetailsList"));
    m_DetailsList->setColumnCount(2);
    m_DetailsList->setHeaderHidden(true);
    m_DetailsList->setRootIsDecorated(false);
    m_DetailsList->setSelectionMode(QAbstractItemView::NoSelection);
    m_DetailsList->setFocusPolicy(Qt::NoFocus);
    m_DetailsList->setFixedHeight(kDetailsRows * fontMetrics().lineSpacing());
    m_OpenBackupFolderButton = new QPushButton(QStringLiteral("Open Backup Folder"), area);
    m_OpenBackupFolderButton->setObjectName(QStringLiteral("m_OpenBackupFolderButton"));
    m_OpenBackupFolderButton->setEnabled(false);
    connect(m_OpenBackupFolderButton, &QPushButton::clicked, this,
            [this] { m_OpenBackupFolderButtonClick(); });
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_DetailsList);
    column->addWidget(m_OpenBackupFolderButton, 0, Qt::AlignRight);
    area->hide();
    return area;
}

QGroupBox* TCodeUpdaterMainDispForm::BuildVersionGroup(QWidget* parent) {
    auto* group = new QGroupBox(QStringLiteral("Target Radio Version Information"), parent);
    group->setObjectName(QStringLiteral("m_TargetVersionInfoGroupBox"));
    FileVersionLabel = ValueLabel(QString(), group, "FileVersionLabel");
    DSPVersionLabel = ValueLabel(QString(), group, "DSPVersionLabel");
    HWControllerVersionHeadingLabel =
        new QLabel(QString::fromLatin1(version_text::kControllerHeadingInitial), group);
    HWControllerVersionHeadingLabel->setObjectName(
        QStringLiteral("HWControllerVersionHeadingLabel"));
    HWControllerVersionLabel = ValueLabel(QString(), group, "HWControllerVersionLabel");
    HWRevisionLabel = ValueLabel(QString(), group, "HWRevisionLabel");
    SerialNumberLabel = ValueLabel(QString(), group, "SerialNumberLabel");
    BootLoadVersionLabel = ValueLabel(QString(), group, "BootLoadVersionLabel");
    SEMVersionLabel = ValueLabel(QString(), group, "SEMVersionLabel");
    CordavoVersionLabel = ValueLabel(QStringLiteral("<Blank>"), group, "CordavoVersionLabel");
    KesmetVersionLabel = ValueLabel(QStringLiteral("<Blank>"), group, "KesmetVersionLabel");
    for (QLabel* plain : {CordavoVersionLabel, KesmetVersionLabel})
        plain->setTextFormat(Qt::PlainText);
    m_RetrieveVersionInfoButton = new QPushButton(QStringLiteral("&Retrieve"), group);
    m_RetrieveVersionInfoButton->setObjectName(QStringLiteral("m_RetrieveVersionInfoButton"));
    connect(m_RetrieveVersionInfoButton, &QPushButton::clicked, this,
            [this] { m_RetrieveVersionInfoButtonClick(); });

    auto* grid = new QGridLayout(group);
    int row = 0;
    const auto add = [&](QLabel* heading, QLabel* value) {
        grid->addWidget(heading, row, 0);
        grid->addWidget(value, row, 1);
        ++row;
    };
    int headingWidth = 0;
    const auto heading = [group, &headingWidth](const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), group);
        headingWidth = std::max(headingWidth, label->sizeHint().width());
        return label;
    };
    add(heading(version_text::kFileFormatLabel), FileVersionLabel);
    add(heading(version_text::kDspLabel), DSPVersionLabel);
    add(HWControllerVersionHeadingLabel, HWControllerVersionLabel);
    add(heading(version_text::kHardwareLabel), HWRevisionLabel);
    add(heading(version_text::kSerialLabel), SerialNumberLabel);
    add(heading(version_text::kBootLabel), BootLoadVersionLabel);
    add(heading(version_text::kSemLabel), SEMVersionLabel);
    grid->setRowMinimumHeight(row++, 6);
    add(heading("Corresponding Cordavo Version:"), CordavoVersionLabel);
    add(heading("Corresponding Kesmet Version:"), KesmetVersionLabel);
    grid->setRowStretch(row++, 1);
    grid->addWidget(m_RetrieveVersionInfoButton, row, 0, 1, 2, Qt::AlignRight);
    // Room for the longest values ("Not Applicable", the 23-character serial number).
    grid->setColumnMinimumWidth(
        1, fontMetrics().horizontalAdvance(QStringLiteral("00-00-00-00-00-00-00-00")));
    grid->setColumnStretch(1, 1);
    // A little slack: the widest heading must keep its colon whatever the font rounding.
    grid->setColumnMinimumWidth(0, headingWidth + fontMetrics().averageCharWidth());
    return group;
}

void TCodeUpdaterMainDispForm::BuildControls() {
    auto* holder = new QWidget(this);
    setCentralWidget(holder);
    client_ = new QWidget(holder);
    client_->setObjectName(QStringLiteral("client"));

    m_NameLabel = new QLabel(QStringLiteral("Name:"), client_);
    m_NameLabel->setObjectName(QStringLiteral("m_NameLabel"));
    m_NameLabel->setTextFormat(Qt::PlainText);
    m_ToggleVersionInfoSpeedButton = new QToolButton(client_);
    m_ToggleVersionInfoSpeedButton->setObjectName(QStringLiteral("m_ToggleVersionInfoSpeedButton"));
    m_ToggleVersionInfoSpeedButton->setAutoRaise(true);
    m_ToggleVersionInfoSpeedButton->setText(QStringLiteral(">>"));
    m_ToggleVersionInfoSpeedButton->setToolTip(QStringLiteral("Toggle Version Info"));
    QFont bold = m_ToggleVersionInfoSpeedButton->font();
    bold.setBold(true);
    m_ToggleVersionInfoSpeedButton->setFont(bold);
    connect(m_ToggleVersionInfoSpeedButton, &QToolButton::clicked, this,
            [this] { m_ToggleVersionInfoSpeedButtonClick(); });

    auto* top = new QHBoxLayout;
    top->addWidget(m_NameLabel, 1);
    top->addWidget(m_ToggleVersionInfoSpeedButton);
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    m_TargetInformationGroupBox = BuildTargetGroup(client_);
    m_CodeUpdateGroupBox = BuildTransferGroup(client_);
    left->addWidget(m_TargetInformationGroupBox);
    left->addWidget(m_CodeUpdateGroupBox, 1);
    m_TargetVersionInfoGroupBox = BuildVersionGroup(client_);

    auto* columns = new QHBoxLayout(client_);
    auto* leftWidget = new QWidget(client_);
    leftWidget->setLayout(left);
    left->setContentsMargins(0, 0, 0, 0);
    leftWidget->setMinimumWidth(kLeftColumnWidth);
    columns->addWidget(leftWidget);
    columns->addWidget(m_TargetVersionInfoGroupBox);
    m_TargetVersionInfoGroupBox->setMinimumWidth(kVersionPaneWidth);
    columns->setContentsMargins(kPaneEdgeMargin + 1, kPaneEdgeMargin, kPaneEdgeMargin + 1,
                                kPaneEdgeMargin);
    columns->setSpacing(2 * kPaneEdgeMargin);

    // Group captions start inside the frame, so the edge of the narrow window cuts no text.
    client_->setStyleSheet(
        QStringLiteral("QGroupBox::title { subcontrol-origin: margin; left: 8px; }"));
    FitClient();
}

void TCodeUpdaterMainDispForm::FitClient() {
    // The client keeps the size it needs with the pane shown; the window's edge cuts it off
    // when the window is narrow.
    client_->setFixedSize(client_->sizeHint());
    client_->layout()->activate();
    centralWidget()->setMinimumHeight(client_->height());
    const int height = MenuToolBar->sizeHint().height() + client_->height();
    const int narrow = NarrowWidth();
    const int wide = m_TargetVersionInfoGroupBox->width() + narrow + kPaneEdgeMargin;
    setFixedSize(m_VersionInfoShown ? wide : narrow, height);
}

void TCodeUpdaterMainDispForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Fonts and styles are final once the window is polished: the sizes follow them.
    if (client_ != nullptr &&
        (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        FitClient();
}

void TCodeUpdaterMainDispForm::showEvent(QShowEvent* event) {
    FitClient();
    QMainWindow::showEvent(event);
}

void TCodeUpdaterMainDispForm::FillPortList() {
    m_ComportComboBox->clear();
    for (int n = 1; n <= kPortCount; ++n)
        m_ComportComboBox->addItem(QStringLiteral("COM %1").arg(n));
    m_ComportComboBox->setCurrentIndex(0);
}

void TCodeUpdaterMainDispForm::SetNameAndRelease(const std::string& programFilePath) {
    const ProgramNameLabels labels = ReadProgramName(programFilePath);
    m_NameLabel->setText(Q(labels.nameLabel));
    m_TargetReleaseLabel->setText(Q(labels.release));
}

void TCodeUpdaterMainDispForm::ShowPackageLabels(const PackageResources& package) {
    // A package without its attributes record keeps the layout captions.
    ResourceAttributes attributes;
    if (!ReadPackageAttributes(package, attributes))
        return;
    CordavoVersionLabel->setText(Q(FieldText(attributes.CordavoVersion)));
    KesmetVersionLabel->setText(Q(FieldText(attributes.KesmetVersion)));
    m_TargetRadioLabel->setText(Q(RadioFamilyName(attributes.RadioFamily)));
    m_TargetSeriesLabel->setText(QString::number(attributes.Series));
    m_TargetUpgradeTypeLabel->setText(Q(UpgradeTypeName(attributes.UpgradeType)));
}

void TCodeUpdaterMainDispForm::ShowPicture() {
    const ResourceAttributes& a = updater_->Attributes();
    QLabel* pictures[] = {PortableXPicture, PortableGPicture, MobileXPicture, MobileGPicture};
    const int shown = static_cast<int>(PictureFor(a.RadioFamily, a.Series));
    // Exactly one picture is shown.
    for (int i = 0; i < 4; ++i)
        pictures[i]->setVisible(i == shown);
}

int TCodeUpdaterMainDispForm::NarrowWidth() const {
    return m_TargetVersionInfoGroupBox->mapTo(this, QPoint(0, 0)).x() + kPaneEdgeMargin;
}

void TCodeUpdaterMainDispForm::ToggleVersionPane() {
    if (m_VersionInfoShown)
        setFixedWidth(NarrowWidth());
    else
        setFixedWidth(m_TargetVersionInfoGroupBox->width() + width() + kPaneEdgeMargin);
    m_VersionInfoShown = m_VersionInfoShown ? 0 : 1;
}

int TCodeUpdaterMainDispForm::ShowModal(QDialog& dialog) {
    // Nobody is left to answer once the program is ending.
    if (closeRequested_)
        return QDialog::Rejected;
    return dialog.exec();
}

class TCodeUpdaterMainDispForm::HandlerScope {
  public:
    explicit HandlerScope(TCodeUpdaterMainDispForm& form) : form_(form), busy_(*form.portWatch_) {
        ++form_.runningHandlers_;
    }
    ~HandlerScope() {
        if (--form_.runningHandlers_ == 0 && form_.closeRequested_)
            form_.close();
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

  private:
    TCodeUpdaterMainDispForm& form_;
    const PortWatch::Busy busy_;
};

void TCodeUpdaterMainDispForm::CloseAfterStop() {
    closeRequested_ = true;
    if (updater_->UpdateInProgress())
        m_StartButtonClick();
    else if (runningHandlers_ > 0)
        updater_->Link().SetEnabled(false);  // a Retrieve: its wait ends now
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
    if (runningHandlers_ == 0)
        close();
}

// ---------------------------------------------------------------------------------------------
// Event handlers

void TCodeUpdaterMainDispForm::closeEvent(QCloseEvent* event) {
    if (updater_->FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TCodeUpdaterMainDispForm::m_FileExitMenuItemClick() {
    close();
}

void TCodeUpdaterMainDispForm::m_HelpAboutMenuItemClick() {
    TAboutDialog about(this);
    about.NameLabel->setText(QString::fromLatin1(kAboutName));
    about.VersionLabel->setText(QStringLiteral("Version ") + QString::fromLatin1(kAboutVersion));
    ShowModal(about);
}

void TCodeUpdaterMainDispForm::m_HelpSupportReportMenuItemClick() {
    AskAndSaveSupportReport(this, reportSource_);
}

void TCodeUpdaterMainDispForm::m_ToggleVersionInfoSpeedButtonClick() {
    ToggleVersionPane();
    m_ToggleVersionInfoSpeedButton->setText(m_VersionInfoShown ? QStringLiteral("<<")
                                                               : QStringLiteral(">>"));
}

void TCodeUpdaterMainDispForm::m_DetailsToggleButtonClick() {
    const bool open = !m_DetailsArea->isVisibleTo(this);
    m_DetailsArea->setVisible(open);
    m_DetailsToggleButton->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    // The layouts between the area and the client keep their old size hints until told.
    for (QWidget* w = m_DetailsArea->parentWidget(); w != nullptr && w != this;
         w = w->parentWidget()) {
        if (w->layout() != nullptr)
            w->layout()->invalidate();
    }
    FitClient();
}

void TCodeUpdaterMainDispForm::m_OpenBackupFolderButtonClick() {
    if (!backupFolder_.empty())
        openFolder_(backupFolder_);
}

void TCodeUpdaterMainDispForm::m_ComportComboBoxChange(int index) {
    const int chosen = updater_->m_ComportComboBoxChange(index);
    if (chosen != index && chosen >= 0 && chosen < m_ComportComboBox->count())
        m_ComportComboBox->setCurrentIndex(chosen);
}

void TCodeUpdaterMainDispForm::m_ApplicationRadioButtonClick() {
    m_BootRadioButton->setChecked(false);
}

void TCodeUpdaterMainDispForm::m_BootRadioButtonClick() {
    m_ApplicationRadioButton->setChecked(false);
}

void TCodeUpdaterMainDispForm::m_StartButtonClick() {
    const HandlerScope scope(*this);
    updater_->m_StartButtonClick();
}

void TCodeUpdaterMainDispForm::m_RetrieveVersionInfoButtonClick() {
    const HandlerScope scope(*this);
    updater_->m_RetrieveVersionInfoButtonClick();
}

void TCodeUpdaterMainDispForm::EnableRecoveryItems(bool enabled) {
    for (QAction* item : {m_FileRestoreMenuItem, m_FileUpgradeMenuItem})
        item->setEnabled(enabled);
    m_StartButton->setEnabled(enabled);
}

void TCodeUpdaterMainDispForm::m_FileRestoreMenuItemClick() {
    if (updater_->SequenceActive() || updater_->UpdateInProgress())
        return;
    const HandlerScope scope(*this);
    EnableRecoveryItems(false);
    CodeplugRecoverySource source;
    source.updater = updater_.get();
    source.view = this;
    source.recorder = platform_->recorder;
    source.backupDirectory = platform_->backupDirectory;
    source.journal = journalPath_;
    source.showModal = [this](QDialog& dialog) { return ShowModal(dialog); };
    RestoreCodeplugFromWindow(this, source);
    EnableRecoveryItems(true);
}

void TCodeUpdaterMainDispForm::m_FileUpgradeMenuItemClick() {
    if (updater_->SequenceActive() || updater_->UpdateInProgress())
        return;
    const HandlerScope scope(*this);
    for (QAction* item : {m_FileRestoreMenuItem, m_FileUpgradeMenuItem})
        item->setEnabled(false);
    // Start reads Stop while the stage runs and stops it, as during an update.
    if (updater_->UpgradeCodeplug() == CodeplugResult::kSameFormat) {
        ShowMessage(updater_text::kTitleUpdater, MessageIcon::kInformation,
                    "The radio's codeplug is in the format its firmware expects already; "
                    "nothing was written.");
    }
    for (QAction* item : {m_FileRestoreMenuItem, m_FileUpgradeMenuItem})
        item->setEnabled(true);
}

QString TCodeUpdaterMainDispForm::PortToolTipOf(int comNumber) const {
    return PortToolTip(comNumber, portWatch_->Devices());
}

// ---------------------------------------------------------------------------------------------
// UpdaterView

void TCodeUpdaterMainDispForm::SetStatus(const std::string& text) {
    const QString status = Q(text);
    m_StatusLabel->setText(status);
    m_StatusLabel->setToolTip(status);
    emit statusChanged(status);
}

// The status line keeps the update's own text; the reason goes into its tool tip.
void TCodeUpdaterMainDispForm::ShowStatusDetail(const std::string& detail) {
    m_StatusLabel->setToolTip(m_StatusLabel->text() + QStringLiteral("\n") + Q(detail));
}

void TCodeUpdaterMainDispForm::ShowMessage(const std::string& title, MessageIcon icon,
                                           const std::string& text) {
    const QMessageBox::Icon shown = icon == MessageIcon::kError         ? QMessageBox::Critical
                                    : icon == MessageIcon::kInformation ? QMessageBox::Information
                                                                        : QMessageBox::Question;
    QMessageBox box(shown, Q(title), Q(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    ShowModal(box);
}

bool TCodeUpdaterMainDispForm::AskYesNo(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Question, Q(title), Q(text), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return ShowModal(box) == QMessageBox::Yes;
}

bool TCodeUpdaterMainDispForm::AskPassword(std::string& entered) {
    TCodeDownPassDispDlg dialog(this);
    ShowModal(dialog);
    if (dialog.accepted == 0)
        return false;
    entered = dialog.Password().toStdString();
    return true;
}

bool TCodeUpdaterMainDispForm::AskCodeplugPassword(std::string& entered) {
    TCodeDownPassDispDlg dialog(this);
    dialog.setWindowTitle(QStringLiteral("Radio Codeplug - Enter Password"));
    dialog.SetPrompt(QStringLiteral("The radio asks for its codeplug password:"));
    ShowModal(dialog);
    if (dialog.accepted == 0)
        return false;
    entered = dialog.Password().toStdString();
    return true;
}

ProgressBar& TCodeUpdaterMainDispForm::Progress() {
    return *progress_;
}

int TCodeUpdaterMainDispForm::ProgressPosition() const {
    return m_ProgressBar->value();
}

// The bar's own text, shown only while a time left is known: otherwise the bar looks as it
// always has.
void TCodeUpdaterMainDispForm::ShowTimeLeft(int seconds) {
    if (seconds < 0) {
        m_ProgressBar->setTextVisible(false);
        return;
    }
    m_ProgressBar->setFormat(QStringLiteral("%p% - ") + Q(TimeLeftText(seconds)));
    m_ProgressBar->setTextVisible(true);
}

void TCodeUpdaterMainDispForm::ShowRun(const JournalRow& row) {
    m_DetailsList->clear();
    for (const SummaryLine& line : RunSummary(row)) {
        auto* item = new QTreeWidgetItem(m_DetailsList, {Q(line.label), Q(line.value)});
        item->setToolTip(1, Q(line.value));
    }
    m_DetailsList->resizeColumnToContents(0);
    const std::string& backup = row.backupRead.empty() ? row.backupConverted : row.backupRead;
    backupFolder_ =
        backup.empty() ? std::filesystem::path() : std::filesystem::path(backup).parent_path();
    m_OpenBackupFolderButton->setEnabled(!backupFolder_.empty());
}

void TCodeUpdaterMainDispForm::ShowBusy(bool busy) {
    m_StartButton->setText(busy ? QStringLiteral("Stop") : QStringLiteral("Start"));
    m_ComportComboBox->setEnabled(!busy);
    m_RetrieveVersionInfoButton->setEnabled(!busy);
}

void TCodeUpdaterMainDispForm::SetRetrieveEnabled(bool enabled) {
    m_RetrieveVersionInfoButton->setEnabled(enabled);
}

void TCodeUpdaterMainDispForm::FocusRetrieve() {
    m_RetrieveVersionInfoButton->setFocus(Qt::OtherFocusReason);
}

int TCodeUpdaterMainDispForm::SelectedPortIndex() const {
    return m_ComportComboBox->currentIndex();
}

bool TCodeUpdaterMainDispForm::BootChecked() const {
    return m_BootRadioButton->isChecked();
}

void TCodeUpdaterMainDispForm::ShowVersionInfo(const VersionRecord& record, TargetKind kind) {
    FileVersionLabel->setText(Q(version_text::FileFormatVersion(record)));
    DSPVersionLabel->setText(Q(version_text::DspVersion(record)));
    HWControllerVersionLabel->setText(Q(version_text::ControllerVersion(record)));
    HWRevisionLabel->setText(Q(version_text::HardwareRevision(record, kind)));
    SerialNumberLabel->setText(Q(version_text::SerialNumber(record)));
    BootLoadVersionLabel->setText(Q(version_text::BootVersion(record)));
    SEMVersionLabel->setText(Q(version_text::SemVersion(record)));
    HWControllerVersionHeadingLabel->setText(QString::fromLatin1(version_text::kControllerLabel));
}

void TCodeUpdaterMainDispForm::PortsScanned() {
    m_ComportComboBox->update();
    if (m_ComportComboBox->view() != nullptr)
        m_ComportComboBox->view()->viewport()->update();
    emit portsScanned();
}
