// Tells the person at the door what the fingerprint reader is doing.

#include "app/ReaderStatusLine.h"

#include "app/BioVerif.h"

namespace qv {
namespace {

const char* const kPresentAgain = "No se pudo leer la huella, apoye el dedo nuevamente";
const char* const kResting =
    "Lector de huellas en reposo por temperatura, vuelve a funcionar solo en unos minutos...";
const char* const kUnplugged = "Lector de huellas desconectado";
const char* const kCannotOpen = "No se puede abrir el lector de huellas, reintentando...";
const char* const kPluggedIn = "Lector de huellas conectado";
const char* const kReadyAgain = "Lector de huellas listo";

} // namespace

ReaderStatusLine::ReaderStatusLine(TFBioVerif& window)
    : window_(window)
    , subscription_([this](const ReaderReport& event) { show(event); }) {
    connect(&window_.TimerClear, &QTimer::timeout, this, [this] { answerTimeEnded(); });
}

void ReaderStatusLine::show(const ReaderReport& event) {
    switch (event.kind) {
    case ReaderEventKind::Retry:
        showPassing(QString::fromUtf8(kPresentAgain));
        break;
    case ReaderEventKind::Resting:
        showLasting(QString::fromUtf8(kResting));
        break;
    case ReaderEventKind::Lost:
        showLasting(QString::fromUtf8(kUnplugged));
        break;
    case ReaderEventKind::OpenFailed:
        showLasting(QString::fromUtf8(kCannotOpen));
        break;
    case ReaderEventKind::Added:
        lasting_.clear();
        showPassing(QString::fromUtf8(kPluggedIn));
        break;
    case ReaderEventKind::Ready:
        // Every capture ends in a ready reader; only one that was out of use is news.
        if (!lasting_.isEmpty()) {
            lasting_.clear();
            showPassing(QString::fromUtf8(kReadyAgain));
        }
        break;
    case ReaderEventKind::Found:
    case ReaderEventKind::Opened:
    case ReaderEventKind::Failed:
    case ReaderEventKind::Closed:
        // Nothing the person at the door can act on: the reader is reopened by itself.
        break;
    }
}

bool ReaderStatusLine::answerOnShow() const {
    return window_.clockInUnderWay() || window_.TimerClear.isActive();
}

void ReaderStatusLine::showLasting(const QString& text) {
    lasting_ = text;
    if (!answerOnShow()) {
        window_.sbStat.showMessage(text);
    }
}

void ReaderStatusLine::showPassing(const QString& text) {
    if (!answerOnShow()) {
        window_.sbStat.showMessage(text, kPassingTextMs);
    }
}

void ReaderStatusLine::answerTimeEnded() {
    if (!lasting_.isEmpty()) {
        window_.sbStat.showMessage(lasting_);
    }
}

} // namespace qv
