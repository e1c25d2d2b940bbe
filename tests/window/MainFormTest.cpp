#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "PseudoTerminal.h"
#include "UsbAdapter.h"
#include "WindowTestSupport.h"
#include "app/window/CodeUpdaterMainForm.h"
#include "app/window/PortList.h"
#include "serial/SerialDevice.h"

using namespace windowtest;

namespace {

constexpr int kSimCom = 5;
const char kProgramFile[] = "/opt/quenta/QuentaUpdater_Release_2_8.bin";
const QString kNoFreePort = QStringLiteral("Selected COM port is in use or not available.");

class MainFormTest : public WindowTest {
  protected:
    DialogDriver dialogs;
    std::unique_ptr<MemoryPackage> package;

    MainFormOptions Options() {
        MainFormOptions options = FormOptions();
        options.programFilePath = kProgramFile;
        return options;
    }

    // A form for a package of only attributes (the last form made must be gone).
    std::unique_ptr<TCodeUpdaterMainDispForm> MakeForm(
        std::uint8_t family = 0, std::int8_t series = 4,
        std::uint8_t upgradeType = kUpgradeApplication) {
        package = AttributesOnly(Attributes(family, series, upgradeType));
        return std::make_unique<TCodeUpdaterMainDispForm>(*package, Options());
    }

    // Every COM number leads to a link that points nowhere: no port is present.
    void NoPortPresent() { OnlyPort(ports.Path(), 0); }
};

// Paints one list item and returns the darkest grey level of its text and its background.
std::pair<int, QRgb> PaintItem(TCodeUpdaterMainDispForm& form, int row, bool selected) {
    QComboBox* list = form.m_ComportComboBox;
    QImage image(90, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.palette = list->palette();
    option.font = list->font();
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    list->itemDelegate()->paint(&painter, option, list->model()->index(row, 0));
    painter.end();
    return {DarkestLevel(image), image.pixel(image.width() - 1, 0)};
}

// Hot-plug events the test sends: the window watches the read end of a pipe.
class PipeMonitor : public serial::SerialDeviceMonitor {
  public:
    PipeMonitor() { ok_ = ::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) == 0; }
    ~PipeMonitor() override {
        if (ok_) {
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }
    int Descriptor() const override { return ok_ ? fds_[0] : -1; }
    bool Drain() override {
        char block[16];
        bool any = false;
        while (::read(fds_[0], block, sizeof block) > 0)
            any = true;
        return any;
    }
    bool Send() { return ::write(fds_[1], "+", 1) == 1; }

  private:
    int fds_[2] = {-1, -1};
    bool ok_ = false;
};

struct ListedDevices : serial::SerialDeviceSource {
    std::vector<serial::SerialDevice> devices;
    std::vector<serial::SerialDevice> Devices() override { return devices; }
};

// Sends one hot-plug event and returns once the window has scanned its ports again (false when
// it never does; the bound is a safety net far above any machine's load).
bool PlugEvent(TCodeUpdaterMainDispForm& form, PipeMonitor& monitor) {
    QEventLoop loop;
    bool scanned = false;
    const auto connection =
        QObject::connect(&form, &TCodeUpdaterMainDispForm::portsScanned, &loop, [&] {
            scanned = true;
            loop.quit();
        });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (monitor.Send())
        loop.exec();
    QObject::disconnect(connection);
    return scanned;
}

}  // namespace

TEST_F(MainFormTest, PluggingAndPullingACableRescansTheListAndKeepsTheSelection) {
    NoPortPresent();
    auto monitor = std::make_shared<PipeMonitor>();
    auto devices = std::make_shared<ListedDevices>();
    ASSERT_GE(monitor->Descriptor(), 0);
    MainFormOptions options = Options();
    options.serialDevices = devices;
    options.serialMonitor = monitor;
    package = AttributesOnly(Attributes(0, 4, kUpgradeApplication));
    TCodeUpdaterMainDispForm form(*package, options);
    ChoosePort(form, 3);
    ASSERT_FALSE(form.Updater().PortPresent(2));

    // The cable: a pseudo-terminal whose slave nobody holds, behind the user's COM3 link.
    PseudoTerminal cable;
    const std::string slave = cable.Slave();
    ASSERT_FALSE(slave.empty());
    const std::filesystem::path com3 = std::filesystem::path(ports.Path()) / "COM3";
    std::filesystem::remove(com3);
    std::filesystem::create_symlink(slave, com3);
    const serial::SerialDevice adapter = testsupport::FtdiAdapter(slave);
    devices->devices = {adapter};

    ASSERT_TRUE(PlugEvent(form, *monitor));
    EXPECT_TRUE(form.Updater().PortPresent(2));
    EXPECT_EQ(form.m_ComportComboBox->currentIndex(), 2);
    EXPECT_LT(PaintItem(form, 2, false).first, 60) << "black, not grey";
    const QString tip = form.PortToolTipOf(3);
    EXPECT_TRUE(tip.startsWith(QStringLiteral("COM3 is "))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(
        QStringLiteral("\nAdapter: FTDI FT232R USB UART (0403:6001, ftdi_sio, serial A1B2C3)")))
        << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("\nBy id: ") + QString::fromStdString(adapter.byId)))
        << tip.toStdString();

    // Pulled out again.
    cable.Close();
    std::filesystem::remove(com3);
    std::filesystem::create_symlink(std::filesystem::path(ports.Path()) / "nowhere", com3);
    devices->devices.clear();
    ASSERT_TRUE(PlugEvent(form, *monitor));
    EXPECT_FALSE(form.Updater().PortPresent(2));
    EXPECT_EQ(form.m_ComportComboBox->currentIndex(), 2);
    EXPECT_FALSE(form.PortToolTipOf(3).contains(QStringLiteral("Adapter")));
}

TEST_F(MainFormTest, AllPortsAbsentGiveSixtyFourGreyItemsWithItemZeroSelected) {
    NoPortPresent();
    auto form = MakeForm();
    QComboBox* list = form->m_ComportComboBox;
    ASSERT_EQ(list->count(), 64);
    EXPECT_EQ(list->itemText(0), QStringLiteral("COM 1"));
    EXPECT_EQ(list->itemText(63), QStringLiteral("COM 64"));
    EXPECT_EQ(list->currentIndex(), 0);
    for (int i = 0; i < 64; ++i)
        EXPECT_FALSE(form->Updater().PortPresent(i)) << i;
    // Grey text (128) and nothing darker, on white when selected.
    for (const bool selected : {false, true}) {
        const auto [darkest, background] = PaintItem(*form, 0, selected);
        EXPECT_GE(darkest, 120);
        EXPECT_LE(darkest, 136);
        if (selected) {
            EXPECT_EQ(background, qRgb(255, 255, 255));
        }
    }
    // With no port to fall back on, the selection stays where the user put it.
    ChoosePort(*form, 6);
    EXPECT_EQ(list->currentIndex(), 5);
    EXPECT_TRUE(PortToolTip(6).contains(QStringLiteral("cannot be used")));
    EXPECT_TRUE(PortToolTip(6).contains(QStringLiteral("not present")));
}

TEST_F(MainFormTest, LabelsAndThePictureThePackageSelects) {
    struct Case {
        std::uint8_t family;
        std::int8_t series;
        const char* radio;
        QLabel* TCodeUpdaterMainDispForm::*picture;
    };
    const Case cases[] = {{0, 4, "2600", &TCodeUpdaterMainDispForm::PortableXPicture},
                          {0, 6, "2600", &TCodeUpdaterMainDispForm::PortableGPicture},
                          {1, 4, "2800", &TCodeUpdaterMainDispForm::MobileXPicture},
                          {1, 6, "2800", &TCodeUpdaterMainDispForm::MobileGPicture}};
    for (const Case& c : cases) {
        auto form = MakeForm(c.family, c.series, kUpgradeDsp);
        for (QLabel* p : {form->PortableXPicture, form->PortableGPicture, form->MobileXPicture,
                          form->MobileGPicture}) {
            EXPECT_EQ(!p->isHidden(), p == form.get()->*c.picture) << c.radio << int(c.series);
            ASSERT_NE(p->pixmap().isNull(), true);
        }
        EXPECT_EQ(form->m_TargetRadioLabel->text(), QString::fromLatin1(c.radio));
        EXPECT_EQ(form->m_TargetSeriesLabel->text(), QString::number(c.series));
        EXPECT_EQ(form->m_TargetUpgradeTypeLabel->text(), QStringLiteral("DSP"));
        EXPECT_EQ(form->m_TargetReleaseLabel->text(), QStringLiteral("2.8"));
        EXPECT_EQ(form->m_NameLabel->text(), QStringLiteral("Name: QuentaUpdater_Release_2_8"));
        EXPECT_EQ(form->CordavoVersionLabel->text(), QStringLiteral("2.8.2"));
        EXPECT_TRUE(form->m_UpgradeTypeLabel->isHidden());
    }
}

TEST_F(MainFormTest, ToggleAlternatesNarrowAndWideAndTheFirstClickWidens) {
    auto form = MakeForm();
    const int narrow = form->NarrowWidth();
    const int pane = form->m_TargetVersionInfoGroupBox->width();
    EXPECT_EQ(form->width(), narrow);
    EXPECT_EQ(form->m_ToggleVersionInfoSpeedButton->text(), QStringLiteral(">>"));
    // Narrow: the whole of the left column is inside the window, the pane is not.
    EXPECT_LE(form->m_CodeUpdateGroupBox->geometry().right(), narrow);
    for (int round = 0; round < 2; ++round) {
        form->m_ToggleVersionInfoSpeedButton->click();
        EXPECT_EQ(form->width(), pane + narrow + 5);
        EXPECT_EQ(form->m_ToggleVersionInfoSpeedButton->text(), QStringLiteral("<<"));
        EXPECT_LE(form->m_TargetVersionInfoGroupBox->mapTo(form.get(), QPoint(pane, 0)).x(),
                  form->width());
        form->m_ToggleVersionInfoSpeedButton->click();
        EXPECT_EQ(form->width(), narrow);
        EXPECT_EQ(form->m_ToggleVersionInfoSpeedButton->text(), QStringLiteral(">>"));
    }
}

// The bar carries the time left beside its share while a download runs, and nothing once the
// core has no estimate.
TEST_F(MainFormTest, TheProgressBarShowsTheTimeLeftAndDropsItWithoutAnEstimate) {
    auto form = MakeForm();
    form->Progress().SetMinimum(0);
    form->Progress().SetMaximum(200);
    form->Progress().SetPosition(80);
    form->ShowTimeLeft(125);
    EXPECT_TRUE(form->m_ProgressBar->isTextVisible());
    EXPECT_EQ(form->m_ProgressBar->text(), QStringLiteral("40% - about 2 min 05 s left"));
    form->ShowTimeLeft(-1);
    EXPECT_FALSE(form->m_ProgressBar->isTextVisible());
}

TEST_F(MainFormTest, PasswordCancelWrongAndAcceptedOnce) {
    NoPortPresent();
    // Application/Boot for a series without the automatic sequence: the choice is shown.
    auto form = MakeForm(0, 5, kUpgradeApplicationBoot);
    ASSERT_FALSE(form->m_BootRadioButton->isHidden());
    const QString title = QStringLiteral("Radio Code Update - Enter Password");

    dialogs.cancelPassword = true;
    form->m_StartButton->click();
    EXPECT_EQ(dialogs.Count(title), 1);
    EXPECT_EQ(dialogs.shown.size(), 1u) << "Cancel starts nothing";
    EXPECT_EQ(form->m_StatusLabel->text(), QStringLiteral("Idle"));

    dialogs.cancelPassword = false;
    dialogs.password = "heron";
    form->m_StartButton->click();
    EXPECT_EQ(dialogs.Count(title), 2);
    EXPECT_EQ(dialogs.shown.size(), 2u) << "a wrong password shows no message";
    EXPECT_EQ(form->m_StatusLabel->text(), QStringLiteral("Idle"));
    EXPECT_EQ(form->m_StartButton->text(), QStringLiteral("Start"));

    dialogs.password = "  pelican ";
    form->m_StartButton->click();
    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown[3].title, QStringLiteral("COM Port"));
    EXPECT_TRUE(dialogs.shown[3].text.startsWith(kNoFreePort));

    // Boot now: no password asked, the sequence goes straight to the port.
    form->m_BootRadioButton->click();
    EXPECT_FALSE(form->m_ApplicationRadioButton->isChecked());
    form->m_StartButton->click();
    EXPECT_EQ(dialogs.Count(title), 3);
    ASSERT_EQ(dialogs.shown.size(), 5u);
    EXPECT_TRUE(dialogs.shown[4].text.startsWith(kNoFreePort));
    EXPECT_EQ(form->m_StartButton->text(), QStringLiteral("Start"));
    EXPECT_TRUE(form->m_ComportComboBox->isEnabled());
}

TEST_F(MainFormTest, ClosingWhileIdleAsksNothing) {
    auto form = MakeForm();
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text.toStdString();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormTest, RetrieveFillsThePaneAndRenamesTheControllerHeading) {
    StartSim(kSimCom, nlohmann::json::object());
    auto form = MakeForm();  // kind 6
    EXPECT_EQ(form->HWControllerVersionHeadingLabel->text(),
              QStringLiteral("HC08 Software Version:"));
    ChoosePort(*form, kSimCom);
    form->m_RetrieveVersionInfoButton->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text.toStdString();
    EXPECT_EQ(form->FileVersionLabel->text(), QStringLiteral("5.10"));
    EXPECT_EQ(form->DSPVersionLabel->text(), QStringLiteral("1.2.3"));
    EXPECT_EQ(form->HWControllerVersionLabel->text(), QStringLiteral("4.1.12"));
    EXPECT_EQ(form->HWRevisionLabel->text(), QStringLiteral("Not Applicable"));
    EXPECT_EQ(form->SerialNumberLabel->text(), QStringLiteral("00-01-23-45-67-89-AB-CD"));
    EXPECT_EQ(form->BootLoadVersionLabel->text(), QStringLiteral("1.9"));
    EXPECT_EQ(form->SEMVersionLabel->text(), QStringLiteral("2.3"));
    EXPECT_EQ(form->HWControllerVersionHeadingLabel->text(), QStringLiteral("Controller Version:"));
    EXPECT_TRUE(form->m_RetrieveVersionInfoButton->isEnabled());
    EXPECT_EQ(form->m_StatusLabel->text(), QStringLiteral("Idle"));
    EXPECT_TRUE(sim.Stop()["rateChanges"].empty()) << "Retrieve stays at 19200 baud";
}
