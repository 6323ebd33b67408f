#include "platform/MetricsFile.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qv {
namespace {

[[noreturn]] void raise(const std::string& what, int error) {
    throw GeneralError(what + ": " + std::strerror(error));
}

// Removes the temporary file unless it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(std::string path)
        : path_(std::move(path)) {}
    ~TemporaryName() {
        if (!kept_) {
            std::remove(path_.c_str());
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

void writeAll(int fd, std::string_view text, const std::string& path) {
    while (!text.empty()) {
        const ssize_t wrote = ::write(fd, text.data(), text.size());
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            raise("cannot write " + path, wrote < 0 ? errno : EIO);
        }
        text.remove_prefix(static_cast<std::size_t>(wrote));
    }
}

} // namespace

void replaceFileAtomically(const std::filesystem::path& file, std::string_view text) {
    // Not named *.prom, so that a collector reading the folder never takes it for a metrics file.
    std::string pattern = file.string() + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor fd(::mkstemp(name.data()));
    if (!fd.valid()) {
        raise("cannot make a file beside " + file.string(), errno);
    }
    const std::string temporary(name.data());
    TemporaryName cleanup(temporary);
    if (::fchmod(fd.get(), 0644) != 0) {
        raise("cannot open " + temporary + " to readers", errno);
    }
    writeAll(fd.get(), text, temporary);
    if (!fd.close()) {
        raise("cannot write " + temporary, errno);
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        raise("cannot replace " + file.string(), errno);
    }
    cleanup.keep();
}

MetricsFileWriter::MetricsFileWriter(std::filesystem::path file, const StationMetrics& metrics,
                                     std::chrono::milliseconds pause)
    : file_(std::move(file))
    , metrics_(metrics)
    , pause_(pause)
    , thread_([this](std::stop_token stop) { run(std::move(stop)); }) {}

MetricsFileWriter::~MetricsFileWriter() {
    thread_.request_stop();
    thread_.join();
    // What changed during the last pause, the station's end included.
    writeIfChanged();
}

void MetricsFileWriter::run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        lock.unlock();
        writeIfChanged();
        lock.lock();
        // Nothing signals the condition but a stop: this is a pause that a stop cuts short.
        wake_.wait_for(lock, stop, pause_, [] { return false; });
    }
}

void MetricsFileWriter::writeIfChanged() {
    const std::uint64_t changes = metrics_.changes();
    if (everWritten_ && changes == written_) {
        return;
    }
    try {
        replaceFileAtomically(file_, metrics_.text(StationMetrics::Clock::now()));
        written_ = changes;
        everWritten_ = true;
        failing_ = false;
    } catch (const GeneralError& error) {
        if (!failing_) {
            journalMetricsFailed(file_.string(), error.what());
        }
        failing_ = true;
        // Tried again with the next change, not at every pause.
        written_ = changes;
        everWritten_ = true;
    }
}

} // namespace qv
