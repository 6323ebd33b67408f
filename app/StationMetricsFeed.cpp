#include "app/StationMetricsFeed.h"

namespace qv {
namespace {

void countReaderEvent(const ReaderReport& report) {
    StationMetrics& metrics = stationMetrics();
    switch (report.kind) {
    case ReaderEventKind::Found:
    case ReaderEventKind::Added:
    case ReaderEventKind::Opened:
        metrics.setReaderState(report.readerId, ReaderState::Starting);
        break;
    case ReaderEventKind::Ready:
    case ReaderEventKind::Retry:
        metrics.setReaderState(report.readerId, ReaderState::Ready);
        break;
    case ReaderEventKind::Resting:
        metrics.setReaderState(report.readerId, ReaderState::Resting);
        break;
    case ReaderEventKind::Failed:
    case ReaderEventKind::OpenFailed:
        metrics.setReaderState(report.readerId, ReaderState::Failing);
        metrics.countReaderFailure();
        break;
    case ReaderEventKind::Lost:
        metrics.setReaderState(report.readerId, ReaderState::Lost);
        break;
    case ReaderEventKind::Closed:
        metrics.readerClosed(report.readerId);
        break;
    }
}

} // namespace

StationMetricsFeed::StationMetricsFeed(const std::string& file)
    : readers_(countReaderEvent)
    , writer_(file, stationMetrics()) {
    vouch_.setInterval(kVouchInterval);
    connect(&vouch_, &QTimer::timeout, [] { stationMetrics().vouch(); });
    vouch_.start();
}

StationMetricsFeed::~StationMetricsFeed() {
    stationMetrics().setOnScreen(false);
}

} // namespace qv
