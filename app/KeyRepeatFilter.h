// Throws away the presses that a held key repeats.

#pragma once

#include <QObject>
#include <map>

namespace qv {

// For as long as it lives, the presses of a held Enter, Return, Space or Escape that the
// platform repeats are thrown away, application-wide, so that one physical press acts once:
// one clock-in, and a message box closed only by a press that began while it was up.
//
// A repeat is told by the filter's own record, not only by the platform's mark: Qt on X11
// delivers the server's repeats as a release and a press with the same time stamp, mostly
// unmarked, while a person cannot release and press a key within a few milliseconds. Events
// without a time stamp (0, as made by hand) are taken as they come.
class KeyRepeatFilter : public QObject {
    Q_OBJECT
public:
    KeyRepeatFilter();
    ~KeyRepeatFilter() override;
    KeyRepeatFilter(const KeyRepeatFilter&) = delete;
    KeyRepeatFilter& operator=(const KeyRepeatFilter&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // By key: the time stamp of its last release.
    std::map<int, unsigned long> lastRelease_;
};

} // namespace qv
