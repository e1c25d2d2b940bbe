// quenta-screenshots: renders the main window in its states into PNG files, driving it through
// its own widgets against a simulated radio (run under a display, e.g. Xvfb):
//
//   quenta-screenshots OUTDIR
//
// idle-narrow, idle-wide-version (after Retrieve), password, update-in-progress, done and
// grey-port-tooltip. The erase and restart waits run ten times faster.
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/package/EmbeddedPackage.h"
#include "app/window/CodeDownPassDlg.h"
#include "app/window/CodeUpdaterMainForm.h"
#include "app/window/PortList.h"
#include "serial/PosixSerialOs.h"

namespace {

constexpr int kSimCom = 3;
constexpr int kAbsentCom = 5;  // /dev/ttyUSB0 in the default table: no adapter on the build host
constexpr int kTickDivisor = 10;
constexpr int kProgressShot = 40;

QString OutDir;
bool Failed = false;

void Save(const QPixmap& picture, const char* name) {
    const QString path =
        OutDir + QStringLiteral("/") + QString::fromLatin1(name) + QStringLiteral(".png");
    if (picture.isNull() || !picture.save(path)) {
        std::fprintf(stderr, "quenta-screenshots: cannot write %s\n", path.toLocal8Bit().data());
        Failed = true;
        return;
    }
    std::printf("%s\n", path.toLocal8Bit().data());
}

// The screen around the given widgets (popups and tool tips are windows of their own).
QPixmap GrabAround(std::initializer_list<QWidget*> widgets, int margin = 12) {
    QRect area;
    for (QWidget* w : widgets)
        if (w != nullptr && w->isVisible())
            area = area.united(QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
    area.adjust(-margin, -margin, margin, margin);
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                        area.height());
}

void Settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The simulated radio matches the package: boot current, a 5.9 codeplug that the new
// firmware wants in 5.10, no erase or restart time of its own (the tool's waits run faster).
std::string ScenarioFor(const ResourceAttributes& a) {
    return "{\"boot\": {\"present\": true, \"version\": [" + std::to_string(a.Series) + ", " +
           std::to_string(a.BootMinor) +
           "]}, \"codeplug\": {\"generateFormat\": 4, \"formatAfterUpdate\": [5, 10]}}";
}

// A safety net only: the radio is ready in milliseconds.
constexpr int kSimStartMs = 30000;

// Calls back from inside every modal dialog's own loop, once the dialog is shown.
class DialogWatcher : public QObject {
  public:
    explicit DialogWatcher(std::function<void(QDialog*)> onShown) : onShown_(std::move(onShown)) {
        qApp->installEventFilter(this);
    }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<QDialog*>(object)) {
                QPointer<QDialog> guarded(dialog);
                QMetaObject::invokeMethod(
                    this,
                    [this, guarded] {
                        if (!guarded.isNull())
                            onShown_(guarded.data());
                    },
                    Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(object, event);
    }

  private:
    std::function<void(QDialog*)> onShown_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quenta Code Updater"));
    if (argc != 2) {
        std::fputs("usage: quenta-screenshots OUTDIR\n", stderr);
        return 2;
    }
    OutDir = QString::fromLocal8Bit(argv[1]);
    std::filesystem::create_directories(argv[1]);

    char pattern[] = "/tmp/quenta-screenshots-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 1;
    const std::filesystem::path work = pattern;
    std::filesystem::create_directories(work / "ports");
    std::filesystem::create_directories(work / "cwd");
    serial::SystemSerialOs().Resolver().SetPortDirectory((work / "ports").string());

    const std::unique_ptr<PackageResources> package = MakeEmbeddedPackage();
    ResourceAttributes attributes;
    ReadPackageAttributes(*package, attributes);
    // The radio runs as a program of its own, as a technician starts it.
    std::ofstream(work / "scenario.json") << ScenarioFor(attributes);
    QProcess sim;
    sim.start(QStringLiteral(QUENTA_RADIOSIM_PATH),
              {QStringLiteral("--port-dir"), QString::fromStdString((work / "ports").string()),
               QStringLiteral("--com"), QString::number(kSimCom), QStringLiteral("--scenario"),
               QString::fromStdString((work / "scenario.json").string())});
    while (!sim.canReadLine()) {
        if (!sim.waitForReadyRead(kSimStartMs)) {
            std::fprintf(stderr, "quenta-screenshots: the simulated radio did not start\n");
            return 1;
        }
    }

    int status = 0;
    {
        MainFormOptions options;
        options.workingDirectory = work / "cwd";
        options.backupDirectory = work / "backups";
        options.tickDivisor = kTickDivisor;
        options.programFilePath = EmbeddedProgramName();
        TCodeUpdaterMainDispForm form(*package, options);
        form.move(24, 24);
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            return 1;
        form.m_ComportComboBox->setCurrentIndex(kSimCom - 1);
        emit form.m_ComportComboBox->activated(kSimCom - 1);
        Settle();
        Save(form.grab(), "idle-narrow");

        form.m_ToggleVersionInfoSpeedButton->click();
        form.m_RetrieveVersionInfoButton->click();
        Settle();
        Save(form.grab(), "idle-wide-version");

        // The password dialog, typed into, then the update runs to its end.
        bool progressShot = false;
        QObject::connect(form.m_ProgressBar, &QProgressBar::valueChanged, &form, [&](int value) {
            const int range = form.m_ProgressBar->maximum() - form.m_ProgressBar->minimum();
            if (!progressShot && range > 0 &&
                (value - form.m_ProgressBar->minimum()) * 100 >= kProgressShot * range &&
                form.m_StatusLabel->text().startsWith(QStringLiteral("Downloading Application"))) {
                progressShot = true;
                Save(form.grab(), "update-in-progress");
            }
        });
        DialogWatcher watcher([&form](QDialog* shown) {
            auto* dialog = qobject_cast<TCodeDownPassDispDlg*>(shown);
            if (dialog == nullptr) {
                shown->accept();
                return;
            }
            QTest::keyClicks(dialog->m_PasswordEdit, QStringLiteral("pelican"));
            Settle();
            Save(GrabAround({&form, dialog}), "password");
            dialog->BitBtn1->click();
        });
        form.m_StartButton->click();
        Settle();
        Save(form.grab(), "done");
        form.m_DetailsToggleButton->click();
        Settle();
        Save(form.grab(), "done-details");
        if (form.m_StatusLabel->text() != QStringLiteral("Done.")) {
            std::fprintf(stderr, "quenta-screenshots: the update ended with \"%s\"\n",
                         form.m_StatusLabel->text().toLocal8Bit().data());
            status = 1;
        }

        // A grey port and its tool tip, in the open list.
        form.m_ComportComboBox->showPopup();
        Settle();
        QAbstractItemView* view = form.m_ComportComboBox->view();
        const QModelIndex absent = view->model()->index(kAbsentCom - 1, 0);
        view->scrollTo(absent);
        const QRect item = view->visualRect(absent);
        QToolTip::showText(view->viewport()->mapToGlobal(item.center()), PortToolTip(kAbsentCom),
                           view->viewport());
        Settle();
        QWidget* tip = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("QTipLabel") && w->isVisible())
                tip = w;
        Save(GrabAround({&form, view->window(), tip}), "grey-port-tooltip");
        form.m_ComportComboBox->hidePopup();
    }
    sim.terminate();
    sim.waitForFinished(kSimStartMs);
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return status != 0 || Failed ? 1 : 0;
}
