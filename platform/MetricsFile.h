// The station's metrics kept in a file that node-exporter's textfile collector serves.

#pragma once

#include "platform/StationMetrics.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <string_view>
#include <thread>

namespace qv {

// Replaces the file's content with text so that a reader opens either the old file or the new
// one, never a part: a temporary file in the same folder, renamed over it. The file is readable
// by all (node-exporter runs as a user of its own). Throws GeneralError, leaving no temporary
// file behind.
void replaceFileAtomically(const std::filesystem::path& file, std::string_view text);

// Writes the metrics to the file on a thread of its own whenever they changed, at most once per
// pause, so whoever feeds them never waits for a disk. The last state is written when it ends.
// A failure is journalled once, and the next change tries again.
class MetricsFileWriter {
public:
    static constexpr std::chrono::milliseconds kPause{1000};

    MetricsFileWriter(std::filesystem::path file, const StationMetrics& metrics,
                      std::chrono::milliseconds pause = kPause);
    ~MetricsFileWriter();
    MetricsFileWriter(const MetricsFileWriter&) = delete;
    MetricsFileWriter& operator=(const MetricsFileWriter&) = delete;

private:
    void run(std::stop_token stop);
    void writeIfChanged();

    const std::filesystem::path file_;
    const StationMetrics& metrics_;
    const std::chrono::milliseconds pause_;
    std::uint64_t written_ = 0;
    bool everWritten_ = false;
    bool failing_ = false;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::jthread thread_;
};

} // namespace qv
