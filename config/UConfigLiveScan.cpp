// The configuration dialog (TFConfigLiveScan), the run-time store of the settings.

#include "config/UConfigLiveScan.h"

#include "capture/RunnerUi.h"
#include "capture/ULiveScanExterno.h"
#include "platform/DefaultErrorHandler.h"

#include <QFont>
#include <QKeyEvent>
#include <QShowEvent>
#include <QStringDecoder>

namespace qv {

namespace {

constexpr int kClientWidth = 450;
constexpr int kClientHeight = 252;
constexpr int kLeft = 192;
constexpr int kTop = 107;
constexpr int kFontPixelHeight = 11;

// Settings files written by hand or on older stations may be in a Latin code page; show such
// text as Latin-1 rather than as replacement characters.
QString fromSettingsText(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (utf8.hasError()) {
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    }
    return decoded;
}

std::string toSettingsText(const QString& text) {
    return text.toStdString();
}

void makePlainButton(QPushButton& button) {
    // Enter must not press a button on its own: only a click or Space does.
    button.setAutoDefault(false);
    button.setDefault(false);
}

} // namespace

TFConfigLiveScan::TFConfigLiveScan(RunnerUi& runnerUi, std::string settingsPath, QWidget* parent)
    : QDialog(parent)
    , runnerUi_(runnerUi)
    , settingsFile_(std::move(settingsPath))
    , Panel1_(this)
    , btOK_(QStringLiteral("&Aceptar"), &Panel1_)
    , btCancel_(QStringLiteral("&Cancelar"), &Panel1_)
    , cbFlipHor_(QStringLiteral("Flip Horizontal"), this)
    , cbFlipVer_(QStringLiteral("Flip Vertical"), this)
    , Label1_(QStringLiteral("Modalidad captura:"), this)
    , cbLiveScanExterno_(this)
    , Label3_(QStringLiteral("Path LiveScan:"), this)
    , edPathLiveScan_(this)
    , btConfig_(QStringLiteral("Configurar"), this)
    , btCaptura_(QStringLiteral("Captura"), this)
    , Label2_(QStringLiteral("URL Servicio:"), this)
    , edHost_(this) {
    placeControls();
    connect(&btOK_, &QPushButton::clicked, this, guarded([this] { btOKClick(); }));
    connect(&btCancel_, &QPushButton::clicked, this, guarded([this] { btCancelClick(); }));
    connect(&btConfig_, &QPushButton::clicked, this, guarded([this] { btConfigClick(); }));
    connect(&btCaptura_, &QPushButton::clicked, this, guarded([this] { btCapturaClick(); }));
    FormCreate();
}

void TFConfigLiveScan::placeControls() {
    setWindowTitle(QStringLiteral("Configuración de Quorvantis"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    move(kLeft, kTop);
    // Where the design's font is missing, a narrow sans keeps the labels inside their space.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kFontPixelHeight);
    setFont(font);

    Panel1_.setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1_.setGeometry(0, 208, 450, 44);
    btOK_.setGeometry(248, 8, 75, 25);
    btCancel_.setGeometry(328, 8, 75, 25);
    cbFlipHor_.setGeometry(8, 112, 97, 17);
    cbFlipVer_.setGeometry(8, 144, 97, 17);
    Label1_.move(8, 40);
    Label1_.adjustSize();
    cbLiveScanExterno_.setGeometry(104, 40, 337, 21);
    cbLiveScanExterno_.setEditable(false);
    Label3_.move(8, 8);
    Label3_.adjustSize();
    edPathLiveScan_.setGeometry(104, 8, 337, 21);
    btConfig_.setGeometry(248, 72, 75, 25);
    btCaptura_.setGeometry(328, 72, 75, 25);
    Label2_.move(8, 176);
    Label2_.adjustSize();
    edHost_.setGeometry(80, 176, 361, 21);

    // What is saved is read back whole: reads stop at this many characters.
    edPathLiveScan_.setMaxLength(2047);
    edHost_.setMaxLength(2047);

    for (QPushButton* button : {&btOK_, &btCancel_, &btConfig_, &btCaptura_}) {
        makePlainButton(*button);
    }

    QWidget* const tabOrder[] = {&btOK_,      &btCancel_,          &cbFlipHor_,
                                 &cbFlipVer_, &cbLiveScanExterno_, &edPathLiveScan_,
                                 &btConfig_,  &btCaptura_,         &edHost_};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    const std::pair<QObject*, const char*> names[] = {{&Panel1_, "Panel1"},
                                                      {&btOK_, "btOK"},
                                                      {&btCancel_, "btCancel"},
                                                      {&cbFlipHor_, "cbFlipHor"},
                                                      {&cbFlipVer_, "cbFlipVer"},
                                                      {&Label1_, "Label1"},
                                                      {&cbLiveScanExterno_, "cbLiveScanExterno"},
                                                      {&Label3_, "Label3"},
                                                      {&edPathLiveScan_, "edPathLiveScan"},
                                                      {&btConfig_, "btConfig"},
                                                      {&btCaptura_, "btCaptura"},
                                                      {&Label2_, "Label2"},
                                                      {&edHost_, "edHost"}};
    for (const auto& [object, name] : names) {
        object->setObjectName(QString::fromLatin1(name));
    }
}

void TFConfigLiveScan::FormCreate() {
    FCaptureTitles_.clear();
    FCaptureIniFiles_.clear();
    LoadSettings();
}

void TFConfigLiveScan::FormShow() {
    LoadSettings();
}

void TFConfigLiveScan::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Restoring a minimised window is not a new show.
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TFConfigLiveScan::keyPressEvent(QKeyEvent* event) {
    // Skips the dialog's own handling, which would take Escape as Cancel and Enter as a button.
    QWidget::keyPressEvent(event);
}

void TFConfigLiveScan::LoadSettings() {
    const Settings settings = settingsFile_.load();
    cbFlipHor_.setChecked(settings.flipHorizontal);
    cbFlipVer_.setChecked(settings.flipVertical);
    edPathLiveScan_.setText(fromSettingsText(settings.pathLiveScan));
    edHost_.setText(fromSettingsText(settings.host));

    CaptureProgramList programs = listCapturePrograms(GetPathLiveScan());
    FCaptureTitles_ = std::move(programs.titles);
    FCaptureIniFiles_ = std::move(programs.iniFiles);

    cbLiveScanExterno_.clear();
    for (const std::string& title : FCaptureTitles_) {
        cbLiveScanExterno_.addItem(fromSettingsText(title));
    }
    cbLiveScanExterno_.setCurrentIndex(
        findCaptureProgram(FCaptureIniFiles_, settings.liveScanIni.value_or("")));
}

void TFConfigLiveScan::SaveSettings() {
    Settings settings;
    settings.flipHorizontal = cbFlipHor_.isChecked();
    settings.flipVertical = cbFlipVer_.isChecked();
    settings.pathLiveScan = GetPathLiveScan();
    settings.host = GetHost();
    const int selected = cbLiveScanExterno_.currentIndex();
    if (selected >= 0 && static_cast<std::size_t>(selected) < FCaptureIniFiles_.size()) {
        settings.liveScanIni = FCaptureIniFiles_[static_cast<std::size_t>(selected)];
    }
    settingsFile_.save(settings);
}

std::string TFConfigLiveScan::GetPathLiveScan() const {
    return toSettingsText(edPathLiveScan_.text());
}

std::string TFConfigLiveScan::GetCaptureIniPath() const {
    const int selected = cbLiveScanExterno_.currentIndex();
    if (selected < 0 || static_cast<std::size_t>(selected) >= FCaptureIniFiles_.size()) {
        return {};
    }
    return GetPathLiveScan() + FCaptureIniFiles_[static_cast<std::size_t>(selected)];
}

std::string TFConfigLiveScan::captureProgramKey(std::string_view key) const {
    return GetPathLiveScan() + readCaptureProgramKey(GetCaptureIniPath(), key);
}

std::string TFConfigLiveScan::GetExeCaptura() const {
    return captureProgramKey("ExeCaptura");
}

std::string TFConfigLiveScan::GetExeConfig() const {
    return captureProgramKey("ExeConfig");
}

std::string TFConfigLiveScan::GetHost() const {
    return toSettingsText(edHost_.text());
}

bool TFConfigLiveScan::GetFlipHorizontal() const {
    return cbFlipHor_.isChecked();
}

bool TFConfigLiveScan::GetFlipVertical() const {
    return cbFlipVer_.isChecked();
}

void TFConfigLiveScan::btOKClick() {
    SaveSettings();
    hide();
}

void TFConfigLiveScan::btCancelClick() {
    LoadSettings();
    hide();
}

void TFConfigLiveScan::btConfigClick() {
    RunConfigProgram(*this, runnerUi_);
}

void TFConfigLiveScan::btCapturaClick() {
    // A test capture: its outcome shows in the capture folder, not here.
    RunCaptureProgram(*this, runnerUi_, "prueba");
}

} // namespace qv
