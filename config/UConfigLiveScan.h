// The configuration dialog (TFConfigLiveScan), the run-time store of the settings.

#pragma once

#include "config/SettingsFile.h"
#include "config/SettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>
#include <vector>

namespace qv {

class RunnerUi;

// The configuration dialog. It is created hidden at start-up and lives until the end; its
// controls are the only run-time copy of the settings, so every reader asks them at the moment
// of use. Loaded on creation, on every show and on Cancel; saved only by OK.
class TFConfigLiveScan : public QDialog, public SettingsView {
    Q_OBJECT
public:
    explicit TFConfigLiveScan(RunnerUi& runnerUi,
                              std::string settingsPath = SettingsFile::defaultPath(),
                              QWidget* parent = nullptr);

    // The settings as the controls hold them now.
    QCheckBox* cbFlipHor() { return &cbFlipHor_; }
    QCheckBox* cbFlipVer() { return &cbFlipVer_; }
    QLineEdit* edHost() { return &edHost_; }
    QLineEdit* edPathLiveScan() { return &edPathLiveScan_; }
    QComboBox* cbLiveScanExterno() { return &cbLiveScanExterno_; }
    // The bottom bar of buttons, where a caller may place one of its own (the kiosk's way out).
    QFrame* Panel1() { return &Panel1_; }

    std::string GetPathLiveScan() const override;
    // The selected capture program's INI file, or empty when nothing is selected.
    std::string GetCaptureIniPath() const;
    std::string GetExeCaptura() const override;
    std::string GetExeConfig() const override;
    std::string GetHost() const override;
    bool GetFlipHorizontal() const override;
    bool GetFlipVertical() const override;

    void LoadSettings();
    // A failed write raises GeneralError "Unable to write to <settings path>" to the caller.
    void SaveSettings();

    void btOKClick();
    void btCancelClick();
    void btConfigClick();
    void btCapturaClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void placeControls();
    std::string captureProgramKey(std::string_view key) const;

    RunnerUi& runnerUi_;
    SettingsFile settingsFile_;

    // Declared parents first, so that each child is destroyed before the widget holding it.
    QFrame Panel1_;
    QPushButton btOK_;
    QPushButton btCancel_;
    QCheckBox cbFlipHor_;
    QCheckBox cbFlipVer_;
    QLabel Label1_;
    QComboBox cbLiveScanExterno_;
    QLabel Label3_;
    QLineEdit edPathLiveScan_;
    QPushButton btConfig_;
    QPushButton btCaptura_;
    QLabel Label2_;
    QLineEdit edHost_;
    std::vector<std::string> FCaptureTitles_;
    std::vector<std::string> FCaptureIniFiles_;
};

} // namespace qv
