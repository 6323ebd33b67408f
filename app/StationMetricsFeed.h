// The station's metrics kept in a file for the operator's monitoring while the station runs.

#pragma once

#include "capture/ReaderEvents.h"
#include "platform/MetricsFile.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <string>

namespace qv {

// Feeds what the readers do into the station's metrics (the clock-ins and the form on screen
// feed themselves where they are journalled and announced) and keeps the file written. The GUI
// thread vouches for itself every so often, so that a station whose GUI thread stopped leaves a
// file that ages. Ending, the station says it is no longer on screen.
class StationMetricsFeed : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kVouchInterval{15};

    explicit StationMetricsFeed(const std::string& file);
    ~StationMetricsFeed() override;

private:
    ReaderEventSubscription readers_;
    QTimer vouch_;
    MetricsFileWriter writer_;
};

} // namespace qv
