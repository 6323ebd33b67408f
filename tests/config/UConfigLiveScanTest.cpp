#include "config/UConfigLiveScan.h"

#include "platform/Errors.h"
#include "tests/support/Eventually.h"
#include "tests/support/FormFaults.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/TempFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

namespace qv {

using test::RecordingUi;
using test::TempFolder;

namespace {

std::vector<QString> itemsOf(const QComboBox& box) {
    std::vector<QString> items;
    for (int i = 0; i < box.count(); ++i) {
        items.push_back(box.itemText(i));
    }
    return items;
}

} // namespace

class ConfigDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempFolder> station_;
    std::unique_ptr<TempFolder> capture_;
    RecordingUi ui_;

    std::string settingsPath() const { return station_->path("Quorvantis.INI"); }
    void writeSettings(const std::string& configLines) const {
        station_->writeFile("Quorvantis.INI", "[Config]\r\n" + configLines);
    }
    // Three capture programs: two share a title, one has none and is not listed.
    void writeCapturePrograms() const {
        capture_->writeFile("lector.ini",
                            "[Config]\nTitulo=Lector\nExeCaptura=cap.sh\nExeConfig=cfg.sh\n");
        capture_->writeFile("Otro.INI", "[Config]\nTitulo=Lector\nExeCaptura=otro.sh\n");
        capture_->writeFile("vacio.ini", "[Config]\nTitulo=\nExeCaptura=vacio.sh\n");
    }
    std::unique_ptr<TFConfigLiveScan> makeDialog() {
        return std::make_unique<TFConfigLiveScan>(ui_, settingsPath());
    }
    static QPushButton* button(TFConfigLiveScan& dialog, const char* name) {
        return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init() {
        station_ = std::make_unique<TempFolder>("station");
        capture_ = std::make_unique<TempFolder>("LiveScan");
        ui_.log.clear();
    }
    void cleanup() {
        capture_.reset();
        station_.reset();
    }

    void formMatchesTheDesign() {
        auto dialog = makeDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Configuración de Quorvantis"));
        QCOMPARE(dialog->size(), QSize(450, 252));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QCOMPARE(dialog->pos(), QPoint(192, 107));
        QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(dialog->windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(dialog->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(dialog->font().pixelSize(), 11);
        QVERIFY(!dialog->isVisible());

        const std::pair<const char*, QString> buttons[] = {
            {"btOK", "&Aceptar"},
            {"btCancel", "&Cancelar"},
            {"cbFlipHor", "Flip Horizontal"},
            {"cbFlipVer", "Flip Vertical"},
            {"btConfig", "Configurar"},
            {"btCaptura", "Captura"},
        };
        for (const auto& [name, text] : buttons) {
            const auto* widget = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
            QVERIFY2(widget != nullptr, name);
            QCOMPARE(widget->text(), text);
        }
        QCOMPARE(button(*dialog, "btOK")->parentWidget()->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(button(*dialog, "btCancel")->parentWidget()->objectName(),
                 QStringLiteral("Panel1"));
        QCOMPARE(dialog->findChild<QLabel*>("Label1")->text(),
                 QStringLiteral("Modalidad captura:"));
        QCOMPARE(dialog->findChild<QLabel*>("Label3")->text(), QStringLiteral("Path LiveScan:"));
        QCOMPARE(dialog->findChild<QLabel*>("Label2")->text(), QStringLiteral("URL Servicio:"));
        QVERIFY(!dialog->cbLiveScanExterno()->isEditable());
    }

    // Whatever font stands in for the design's, every control is whole, apart from the others
    // and wide enough for its text, and each label sits on its control's row, before it.
    void controlsAreApartInsideTheFormAndFitTheirTexts() {
        auto dialog = makeDialog();
        const char* names[] = {"Panel1",         "btOK",     "btCancel",          "cbFlipHor",
                               "cbFlipVer",      "Label1",   "cbLiveScanExterno", "Label3",
                               "edPathLiveScan", "btConfig", "btCaptura",         "Label2",
                               "edHost"};
        std::vector<const QWidget*> controls;
        for (const char* name : names) {
            controls.push_back(dialog->findChild<QWidget*>(QString::fromLatin1(name)));
            QVERIFY2(controls.back() != nullptr, name);
        }
        QCOMPARE(test::formFaults(controls), QString());
        const auto control = [&](const char* name) {
            return static_cast<const QWidget*>(dialog->findChild<QWidget*>(name));
        };
        QCOMPARE(test::misplacedCaptions({{control("Label3"), control("edPathLiveScan")},
                                          {control("Label1"), control("cbLiveScanExterno")},
                                          {control("Label2"), control("edHost")}}),
                 QString());
    }

    void tabOrderFollowsTheDesign() {
        auto dialog = makeDialog();
        QStringList order;
        QWidget* widget = button(*dialog, "btOK");
        do {
            if (widget->focusPolicy() & Qt::TabFocus) {
                order << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != button(*dialog, "btOK") && order.size() < 20);
        QCOMPARE(order,
                 (QStringList{"btOK", "btCancel", "cbFlipHor", "cbFlipVer", "cbLiveScanExterno",
                              "edPathLiveScan", "btConfig", "btCaptura", "edHost"}));
    }

    void withoutSettingsFileEveryControlShowsItsDefault() {
        auto dialog = makeDialog();
        QVERIFY(!dialog->cbFlipHor()->isChecked());
        QVERIFY(!dialog->cbFlipVer()->isChecked());
        QCOMPARE(dialog->edPathLiveScan()->text(), QStringLiteral("C:\\LiveScanIB\\"));
        QCOMPARE(dialog->edHost()->text(),
                 QStringLiteral(
                     "http://fichadas.quorvantis.local/QuorvantisSVC/QuorvantisService.asmx"));
        QCOMPARE(dialog->cbLiveScanExterno()->count(), 0);
        QCOMPARE(dialog->cbLiveScanExterno()->currentIndex(), -1);
        QCOMPARE(dialog->GetCaptureIniPath(), std::string());
        QCOMPARE(dialog->GetExeCaptura(), std::string("C:\\LiveScanIB\\"));
    }

    void creationLoadsTheFileAndSelectsIgnoringCase() {
        writeCapturePrograms();
        writeSettings("FlipHorizontal=0x1\r\nFlipVertical=yes\r\nPathLiveScan=" +
                      capture_->prefix() + "\r\nHost=http://s/x.asmx\r\nLiveScanIni=OTRO.ini\r\n");
        auto dialog = makeDialog();
        QVERIFY(dialog->cbFlipHor()->isChecked());
        QVERIFY(!dialog->cbFlipVer()->isChecked());
        QCOMPARE(dialog->edHost()->text(), QStringLiteral("http://s/x.asmx"));
        QCOMPARE(itemsOf(*dialog->cbLiveScanExterno()), (std::vector<QString>{"Lector", "Lector"}));
        QCOMPARE(dialog->cbLiveScanExterno()->currentIndex() >= 0, true);
        QCOMPARE(dialog->GetCaptureIniPath(), capture_->path("Otro.INI"));
        QCOMPARE(dialog->GetExeCaptura(), capture_->path("otro.sh"));
        QCOMPARE(dialog->GetExeConfig(), capture_->prefix());

        // An edited folder is used at once, though the list is only rebuilt at the next load.
        dialog->edPathLiveScan()->setText("/elsewhere/");
        QCOMPARE(dialog->GetExeCaptura(), std::string("/elsewhere/"));
        QCOMPARE(dialog->cbLiveScanExterno()->count(), 2);
    }

    void aSelectionOfAnUntitledOrMissingFileSelectsNothing() {
        writeCapturePrograms();
        for (const char* name : {"vacio.ini", "borrado.ini"}) {
            writeSettings("PathLiveScan=" + capture_->prefix() + "\r\nLiveScanIni=" + name +
                          "\r\n");
            auto dialog = makeDialog();
            QCOMPARE(dialog->cbLiveScanExterno()->count(), 2);
            QCOMPARE(dialog->cbLiveScanExterno()->currentIndex(), -1);
            QCOMPARE(dialog->GetCaptureIniPath(), std::string());
        }
    }

    void latinTextOfOlderFilesIsShownAndSavedAsUtf8() {
        writeSettings("Host=http://se\xF1or/\r\nPathLiveScan=/captura/a\xC3\xB1o/\r\n");
        auto dialog = makeDialog();
        QCOMPARE(dialog->edHost()->text(), QStringLiteral("http://señor/"));
        QCOMPARE(dialog->edPathLiveScan()->text(), QStringLiteral("/captura/año/"));
        dialog->btOKClick();
        const Settings saved = SettingsFile(settingsPath()).load();
        QCOMPARE(saved.host, std::string("http://se\xC3\xB1or/"));
        QCOMPARE(saved.pathLiveScan, std::string("/captura/a\xC3\xB1o/"));
    }

    void okSavesEveryControlAndHides() {
        writeCapturePrograms();
        writeSettings("; kept\r\nPathLiveScan=" + capture_->prefix() + "\r\n");
        auto dialog = makeDialog();
        dialog->show();
        dialog->cbFlipVer()->setChecked(true);
        dialog->edHost()->setText(QStringLiteral("http://nuevo/servicio.asmx"));
        dialog->cbLiveScanExterno()->setCurrentIndex(1);
        const std::string chosen = dialog->GetCaptureIniPath();
        QTest::mouseClick(button(*dialog, "btOK"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());

        const SettingsFile file(settingsPath());
        const Settings saved = file.load();
        QVERIFY(!saved.flipHorizontal);
        QVERIFY(saved.flipVertical);
        QCOMPARE(saved.host, std::string("http://nuevo/servicio.asmx"));
        QCOMPARE(capture_->prefix() + saved.liveScanIni.value_or(""), chosen);
        QVERIFY(station_->read("Quorvantis.INI").starts_with("[Config]\r\n; kept\r\n"));
    }

    void savingWithNothingSelectedKeepsTheStoredSelection() {
        writeSettings("PathLiveScan=" + capture_->prefix() + "\r\nLiveScanIni=gone.ini\r\n");
        auto dialog = makeDialog();
        dialog->cbFlipHor()->setChecked(true);
        dialog->btOKClick();
        const Settings saved = SettingsFile(settingsPath()).load();
        QVERIFY(saved.flipHorizontal);
        QCOMPARE(saved.liveScanIni.value_or(""), std::string("gone.ini"));
    }

    void cancelRestoresEveryControlFromTheFile() {
        writeCapturePrograms();
        writeSettings("FlipHorizontal=1\r\nPathLiveScan=" + capture_->prefix() +
                      "\r\nHost=http://a/b\r\nLiveScanIni=lector.ini\r\n");
        const std::string before = station_->read("Quorvantis.INI");
        auto dialog = makeDialog();
        dialog->show();
        const int selected = dialog->cbLiveScanExterno()->currentIndex();
        dialog->cbFlipHor()->setChecked(false);
        dialog->cbFlipVer()->setChecked(true);
        dialog->edPathLiveScan()->setText("/otra/");
        dialog->edHost()->setText("http://c/d");
        dialog->cbLiveScanExterno()->setCurrentIndex(1 - selected);
        QTest::mouseClick(button(*dialog, "btCancel"), Qt::LeftButton);

        QVERIFY(!dialog->isVisible());
        QVERIFY(dialog->cbFlipHor()->isChecked());
        QVERIFY(!dialog->cbFlipVer()->isChecked());
        QCOMPARE(dialog->GetPathLiveScan(), capture_->prefix());
        QCOMPARE(dialog->edHost()->text(), QStringLiteral("http://a/b"));
        QCOMPARE(dialog->cbLiveScanExterno()->currentIndex(), selected);
        QCOMPARE(dialog->GetCaptureIniPath(), capture_->path("lector.ini"));
        QCOMPARE(station_->read("Quorvantis.INI"), before);
    }

    void showingReloadsAChangeMadeByHand() {
        auto dialog = makeDialog();
        QVERIFY(!dialog->cbFlipHor()->isChecked());
        writeSettings("FlipHorizontal=1\r\n");
        QVERIFY(!dialog->cbFlipHor()->isChecked());
        dialog->show();
        QVERIFY(dialog->cbFlipHor()->isChecked());
    }

    void enterAndEscapeNeitherSaveNorClose() {
        auto dialog = makeDialog();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        for (QPushButton* each : dialog->findChildren<QPushButton*>()) {
            QVERIFY(!each->isDefault());
            QVERIFY(!each->autoDefault());
        }
        QSignalSpy rejected(dialog.get(), &QDialog::rejected);
        QSignalSpy accepted(dialog.get(), &QDialog::accepted);
        dialog->edHost()->setFocus();
        dialog->edHost()->setText("http://editado/");
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(dialog->edHost(), key);
        }
        button(*dialog, "btOK")->setFocus();
        QTest::keyClick(button(*dialog, "btOK"), Qt::Key_Return);
        QTest::keyClick(button(*dialog, "btOK"), Qt::Key_Escape);

        QVERIFY(dialog->isVisible());
        QCOMPARE(rejected.count(), 0);
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(dialog->edHost()->text(), QStringLiteral("http://editado/"));
        QVERIFY(!station_->exists("Quorvantis.INI"));
    }

    void theCloseBoxNeitherSavesNorReloads() {
        auto dialog = makeDialog();
        dialog->show();
        dialog->edHost()->setText("http://sin-guardar/");
        QVERIFY(dialog->close());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->edHost()->text(), QStringLiteral("http://sin-guardar/"));
        QVERIFY(!station_->exists("Quorvantis.INI"));
    }

    void aFailedSaveRaisesAndKeepsTheDialogOpen() {
        station_->writeFile("blocker", "");
        // Running as root a read-only folder is writable; a file standing for the folder is not.
        const std::string unreachable = station_->path("blocker/Quorvantis.INI");
        TFConfigLiveScan dialog(ui_, unreachable);
        dialog.show();
        try {
            dialog.btOKClick();
            QFAIL("saving succeeded");
        } catch (const GeneralError& error) {
            QCOMPARE(std::string(error.what()), "Unable to write to " + unreachable);
        }
        QVERIFY(dialog.isVisible());
    }

    void capturaRunsATestCaptureOfTheSelectedProgram() {
        capture_->writeFile("lector.ini", "[Config]\nTitulo=Lector\nExeCaptura=cap.sh\n");
        capture_->writeScript("cap.sh", "pwd > RECORDcwd\n"
                                        "for a in \"$@\"; do echo \"[$a]\"; done > RECORDargs\n"
                                        "test -e RECORDhuella.bmp && echo stale > RECORDstale\n"
                                        "echo BM > RECORDhuella.bmp\n");
        capture_->writeFile("huella.bmp", "old");
        writeSettings("PathLiveScan=" + capture_->prefix() + "\r\nLiveScanIni=lector.ini\r\n");
        auto dialog = makeDialog();
        QTest::mouseClick(button(*dialog, "btCaptura"), Qt::LeftButton);

        QCOMPARE(capture_->read("args"), std::string("[prueba]\n"));
        QCOMPARE(capture_->read("cwd"),
                 capture_->prefix().substr(0, capture_->prefix().size() - 1) + "\n");
        QVERIFY(!capture_->exists("stale"));
        QCOMPARE(capture_->read("huella.bmp"), std::string("BM\n"));
        QCOMPARE(ui_.log, (std::vector<std::string>{"busy", "idle"}));
    }

    void configurarStartsTheConfigurationProgramHere() {
        capture_->writeFile("lector.ini", "[Config]\nTitulo=Lector\nExeConfig=cfg.sh\n");
        capture_->writeScript("cfg.sh", "for a in \"$@\"; do echo \"[$a]\"; done > RECORDargs\n"
                                        "pwd > RECORDcwd.tmp && mv RECORDcwd.tmp RECORDcwd\n");
        writeSettings("PathLiveScan=" + capture_->prefix() + "\r\nLiveScanIni=lector.ini\r\n");
        auto dialog = makeDialog();
        QTest::mouseClick(button(*dialog, "btConfig"), Qt::LeftButton);

        QVERIFY(test::eventually([this] { return capture_->exists("cwd"); }));
        QCOMPARE(capture_->read("cwd"), QDir::currentPath().toStdString() + "\n");
        QCOMPARE(capture_->read("args"), std::string());
        QCOMPARE(ui_.log, (std::vector<std::string>{"busy", "idle"}));
    }

    void withNothingSelectedBothButtonsReportTheMissingProgram() {
        writeSettings("PathLiveScan=" + capture_->prefix() + "\r\n");
        auto dialog = makeDialog();
        QTest::mouseClick(button(*dialog, "btCaptura"), Qt::LeftButton);
        QTest::mouseClick(button(*dialog, "btConfig"), Qt::LeftButton);
        const std::string message =
            "error Error: no existe el programa \"" + capture_->prefix() + "\"";
        QCOMPARE(ui_.log, (std::vector<std::string>{message, message}));
    }
};

} // namespace qv

QTEST_MAIN(qv::ConfigDialogTest)
#include "UConfigLiveScanTest.moc"
