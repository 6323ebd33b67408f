// The installation check behind --check.

#include "app/SelfCheck.h"

#include "app/StationApplication.h"
#include "capture/ScanMan.h"
#include "config/SettingsFile.h"
#include "imaging/WSQPACK.h"
#include "platform/DynamicLibrary.h"

#include <QWidget>
#include <QWindow>
#include <ostream>
#include <string_view>

namespace qv {
namespace {

// The libraries the station binds, by the names it knows them under.
constexpr std::string_view StationLibraries[] = {ScanManLibraryName, WSQPackLibraryName};

// How long the window may take to come on screen before the check gives up.
constexpr int ExposureAttempts = 200;
constexpr int ExposureIntervalMs = 50;

} // namespace

SelfCheck::SelfCheck(StationApplication& application, const QWidget& mainWindow, std::ostream& out)
    : application_(application)
    , mainWindow_(mainWindow)
    , out_(out) {
    timer_.setInterval(ExposureIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

void SelfCheck::poll() {
    const QWindow* window = mainWindow_.windowHandle();
    if (window && window->isExposed()) {
        timer_.stop();
        report();
        application_.exit(0);
    } else if (++attempts_ >= ExposureAttempts) {
        timer_.stop();
        out_ << "window: not shown\n" << std::flush;
        application_.exit(1);
    }
}

void SelfCheck::report() const {
    out_ << "settings: " << SettingsFile::defaultPath() << '\n';
    for (const std::string_view name : StationLibraries) {
        const std::string fileName = DynamicLibrary::platformFileName(name);
        const std::filesystem::path file = loadedLibraryFile(fileName);
        out_ << "library " << fileName << ": " << (file.empty() ? "not loaded" : file.string())
             << '\n';
    }
    out_ << "window: " << mainWindow_.windowTitle().toStdString() << '\n' << std::flush;
}

} // namespace qv
