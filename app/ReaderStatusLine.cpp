// Tells the person at the door what the fingerprint readers are doing.

#include "app/ReaderStatusLine.h"

#include "app/BioVerif.h"
#include "capture/ReaderControl.h"

#include <QEvent>
#include <algorithm>

namespace qv {
namespace {

const char* const kPresentAgain = "No se pudo leer la huella, apoye el dedo nuevamente";
const char* const kResting =
    "Lector de huellas en reposo por temperatura, vuelve a funcionar solo en unos minutos...";
const char* const kUnplugged = "Lector de huellas desconectado";
const char* const kCannotOpen = "No se puede abrir el lector de huellas, reintentando...";
const char* const kPluggedIn = "Lector de huellas conectado";
const char* const kReadyAgain = "Lector de huellas listo";
const char* const kIdleHint = "Lector de huellas en espera: pulse una tecla para activarlo";

// Large enough to be read from where a person stands to present a finger.
constexpr int kTextPixelSize = 20;

} // namespace

ReaderStatusLine::ReaderStatusLine(TFBioVerif& window, std::chrono::milliseconds passingTime)
    : window_(window)
    , label_(&window)
    , subscription_([this](const ReaderReport& event) { show(event); }) {
    label_.setObjectName(QStringLiteral("readerNotice"));
    label_.setAlignment(Qt::AlignCenter);
    label_.setWordWrap(true);
    label_.setMargin(kTextPixelSize);
    QFont font = label_.font();
    font.setPixelSize(kTextPixelSize);
    label_.setFont(font);
    label_.hide();
    passingTime_.setSingleShot(true);
    passingTime_.setInterval(passingTime);
    connect(&passingTime_, &QTimer::timeout, this, [this] {
        passing_.clear();
        refresh();
    });
    connect(&window_, &TFBioVerif::pictureShown, this, [this] { refresh(); });
    window_.img.installEventFilter(this);
}

void ReaderStatusLine::show(const ReaderReport& event) {
    switch (event.kind) {
    case ReaderEventKind::Retry:
        showPassing(kPresentAgain);
        break;
    case ReaderEventKind::Resting:
        setLasting(event.readerId, kResting);
        break;
    case ReaderEventKind::Lost:
        setLasting(event.readerId, kUnplugged);
        break;
    case ReaderEventKind::OpenFailed:
        setLasting(event.readerId, kCannotOpen);
        break;
    case ReaderEventKind::Added:
        clearLasting(event.readerId);
        showPassing(kPluggedIn);
        break;
    case ReaderEventKind::Ready:
        // Every capture ends in a ready reader; only one that was out of use is news.
        if (clearLasting(event.readerId)) {
            showPassing(kReadyAgain);
        }
        break;
    case ReaderEventKind::Closed:
        // Closed by the idle stop, a resting reader or one waiting to retry recovers only once
        // a key wakes it: the hint says so, and waking brings its text back if it still must.
        if (idle_ && clearLastingUnlessUnplugged(event.readerId)) {
            refresh();
        }
        break;
    case ReaderEventKind::Found:
    case ReaderEventKind::Opened:
    case ReaderEventKind::Failed:
        // Nothing the person at the door can act on: the reader is reopened by itself.
        break;
    }
}

void ReaderStatusLine::readersArmed(bool armed) {
    idle_ = !armed;
    refresh();
}

QString ReaderStatusLine::shownText() const {
    return label_.isVisibleTo(&window_) ? label_.text() : QString();
}

bool ReaderStatusLine::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
        refresh();
        break;
    default:
        break;
    }
    return false;
}

void ReaderStatusLine::setLasting(const std::string& readerId, const char* text) {
    clearLasting(readerId);
    lasting_.emplace_back(readerId, QString::fromUtf8(text));
    refresh();
}

bool ReaderStatusLine::clearLasting(const std::string& readerId) {
    return std::erase_if(lasting_, [&](const auto& state) { return state.first == readerId; }) > 0;
}

bool ReaderStatusLine::clearLastingUnlessUnplugged(const std::string& readerId) {
    const QString unplugged = QString::fromUtf8(kUnplugged);
    return std::erase_if(lasting_, [&](const auto& state) {
               return state.first == readerId && state.second != unplugged;
           }) > 0;
}

void ReaderStatusLine::showPassing(const char* text) {
    passing_ = QString::fromUtf8(text);
    passingTime_.start();
    refresh();
}

void ReaderStatusLine::refresh() {
    QString text = passing_;
    if (text.isEmpty() && !lasting_.empty()) {
        text = lasting_.back().second;
    }
    // A station without a reader (the capture program's road only) has nothing to wake.
    if (text.isEmpty() && idle_ && anyReaderKnown()) {
        text = QString::fromUtf8(kIdleHint);
    }
    label_.setText(text);
    const PictureView& picture = window_.img;
    label_.setGeometry(picture.geometry());
    // The picture shown by a clock-in is the person's; the text waits until it is gone.
    const bool pictureAreaFree = picture.isHidden() || picture.image().isNull();
    label_.setVisible(!text.isEmpty() && pictureAreaFree);
    label_.raise();
}

} // namespace qv
