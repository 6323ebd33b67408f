// The installation check behind --check.

#include "app/SelfCheck.h"

#include "app/StationApplication.h"
#include "capture/ReaderControl.h"
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
constexpr std::string_view kStationLibraries[] = {kScanManLibraryName, kWSQPackLibraryName};

// How long the window may take to come on screen before the check gives up.
constexpr int kExposureAttempts = 1000;
constexpr int kExposureIntervalMs = 10;

} // namespace

SelfCheck::SelfCheck(StationApplication& application, const QWidget& mainWindow, std::ostream& out)
    : application_(application)
    , mainWindow_(mainWindow)
    , out_(out)
    , readerEvents_([this](const ReaderReport& event) { readerEvent(event); }) {
    timer_.setInterval(kExposureIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

void SelfCheck::readerEvent(const ReaderReport& event) {
    switch (event.kind) {
    case ReaderEventKind::Opened:
    case ReaderEventKind::Ready:
        opened_.try_emplace(event.readerId, true);
        break;
    case ReaderEventKind::OpenFailed:
    case ReaderEventKind::Lost:
        opened_.try_emplace(event.readerId, false);
        break;
    default:
        return;
    }
    // The last reader's answer ends the check at once, not at the next look at the window.
    conclude();
}

bool SelfCheck::readersAnswered() const {
    for (const std::string& id : readersFound()) {
        if (!opened_.contains(id)) {
            return false;
        }
    }
    return true;
}

void SelfCheck::poll() {
    ++attempts_;
    conclude();
}

void SelfCheck::conclude() {
    if (!timer_.isActive()) {
        return;
    }
    const QWindow* window = mainWindow_.windowHandle();
    const bool shown = window && window->isExposed();
    const bool patienceOut = attempts_ >= kExposureAttempts;
    if (shown && (readersAnswered() || patienceOut)) {
        timer_.stop();
        report();
        application_.exit(0);
    } else if (patienceOut) {
        timer_.stop();
        out_ << "window: not shown\n" << std::flush;
        application_.exit(1);
    }
}

void SelfCheck::report() const {
    out_ << "settings: " << SettingsFile::defaultPath() << '\n';
    for (const std::string_view name : kStationLibraries) {
        const std::string fileName = DynamicLibrary::platformFileName(name);
        const std::filesystem::path file = loadedLibraryFile(fileName);
        out_ << "library " << fileName << ": " << (file.empty() ? "not loaded" : file.string())
             << '\n';
    }
    if (readersFound().empty()) {
        out_ << "readers: none found\n";
    }
    for (const std::string& id : readersFound()) {
        const auto answer = opened_.find(id);
        out_ << "reader " << id << ": "
             << (answer == opened_.end() ? "no answer"
                 : answer->second        ? "opened"
                                         : "cannot be opened")
             << '\n';
    }
    out_ << "window: " << mainWindow_.windowTitle().toStdString() << '\n' << std::flush;
}

} // namespace qv
