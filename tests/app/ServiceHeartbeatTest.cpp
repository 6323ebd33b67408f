#include "app/ServiceHeartbeat.h"

#include "app/QtRunnerUi.h"
#include "tests/app/AppTests.h"
#include "tests/support/NotifySocket.h"

#include <QWidget>
#include <algorithm>
#include <thread>

namespace qv::test {
namespace {

using namespace std::chrono_literals;

// Reads what the service manager received until the message came, or gives up.
bool arrives(
    NotifySocket& manager, const std::string& message,
    const std::function<void()>& turn = [] { QTest::qWait(20); }) {
    for (int pass = 0; pass < 200; ++pass) {
        const std::vector<std::string> received = manager.received();
        if (std::find(received.begin(), received.end(), message) != received.end()) {
            return true;
        }
        turn();
    }
    return false;
}

} // namespace

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
        QVERIFY(arrives(manager, "READY=1\nSTATUS=on screen"));
        window.repaint();
        window.hide();
        window.show();
        QTest::qWait(100);
        QVERIFY(manager.received().empty());
        QVERIFY(heartbeat.announcedReady());
    }

    // From the event loop's timer and, as timers wait too, from the waits that only paint.
    void signsOfLifeFromTheEventLoopAndFromPaintOnlyWaits() {
        NotifySocket manager(400ms);
        QWidget window;
        const ServiceHeartbeat heartbeat(window);
        window.show();
        QVERIFY(arrives(manager, "WATCHDOG=1"));
        QtRunnerUi runnerUi(stationApp());
        QVERIFY(arrives(manager, "WATCHDOG=1", [&runnerUi] {
            runnerUi.processPaintEvents();
            std::this_thread::sleep_for(10ms);
        }));
    }
};

namespace {
const RegisterSuite<ServiceHeartbeatTest> registered;
} // namespace

} // namespace qv::test

#include "ServiceHeartbeatTest.moc"
