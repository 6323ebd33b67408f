#include "app/ServiceHeartbeat.h"

#include "app/QtRunnerUi.h"
#include "tests/app/AppTests.h"
#include "tests/support/NotifySocket.h"

#include <QWidget>
#include <algorithm>
#include <functional>
#include <thread>

namespace qv::test {
namespace {

using namespace std::chrono_literals;

// Whether the service manager hears the message while the GUI thread takes turns of `turn`;
// gives up after ten seconds.
bool hears(NotifySocket& manager, const std::string& message, const std::function<void()>& turn) {
    for (int pass = 0; pass < 1000; ++pass) {
        const std::vector<std::string> received = manager.received();
        if (std::find(received.begin(), received.end(), message) != received.end()) {
            return true;
        }
        turn();
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

class ServiceHeartbeatTest : public QObject {
    Q_OBJECT
private slots:
    void readyOnceTheWindowIsOnScreenAndOnlyOnce() {
        NotifySocket manager;
        QWidget window;
        const ServiceHeartbeat heartbeat(window);
        QTest::qWait(50);
        QVERIFY(manager.received().empty());
        window.show();
        QVERIFY(
            hears(manager, "READY=1\nSTATUS=on screen", [] { QCoreApplication::processEvents(); }));
        window.repaint();
        window.hide();
        window.show();
        QTest::qWait(100);
        QVERIFY(manager.received().empty());
    }

    // From the event loop's timer and, as timers wait too, from the waits that only paint.
    void signsOfLifeFromTheEventLoopAndFromPaintOnlyWaits() {
        NotifySocket manager(400ms);
        QWidget window;
        const ServiceHeartbeat heartbeat(window);
        window.show();
        QVERIFY(hears(manager, "WATCHDOG=1", [] { QCoreApplication::processEvents(); }));
        QtRunnerUi runnerUi(stationApp());
        QVERIFY(hears(manager, "WATCHDOG=1", [&runnerUi] { runnerUi.processPaintEvents(); }));
    }
};

RegisterSuite<ServiceHeartbeatTest> registered;

} // namespace
} // namespace qv::test

#include "ServiceHeartbeatTest.moc"
