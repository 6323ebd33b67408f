#pragma once

#include "app/StationApplication.h"
#include "imaging/WSQPACK.h"
#include "service/QuorvantisService.h"

#include <QObject>
#include <QTest>
#include <functional>
#include <memory>
#include <vector>

namespace qv::test {

using SuiteFactory = std::function<std::unique_ptr<QObject>()>;

// Every Qt Test suite of the station's window; each suite file adds itself.
std::vector<SuiteFactory>& appTestSuites();

template <typename Suite> struct RegisterSuite {
    RegisterSuite() {
        appTestSuites().push_back([] { return std::make_unique<Suite>(); });
    }
};

inline StationApplication& stationApp() {
    return *static_cast<StationApplication*>(QCoreApplication::instance());
}

// Outside a test that expects one, a message box would wait for a click that never comes.
inline void reportUnexpectedMessage(const MessageBoxRequest& request) {
    qWarning("unexpected message box: %s", qPrintable(request.text));
}

// Catches the station's message boxes instead of showing them, for as long as it lives.
class CapturedMessages {
public:
    CapturedMessages() {
        stationApp().setMessagePresenter(
            [this](const MessageBoxRequest& request) { requests.push_back(request); });
    }
    ~CapturedMessages() { stationApp().setMessagePresenter(reportUnexpectedMessage); }
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

    std::vector<MessageBoxRequest> requests;
};

// A suite whose clock-ins compress with the real compression library (the target names it in
// QV_WSQPACK_LIBRARY) and call the registered service.
class ClockInSuite : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        registerQuorvantisService();
        LoadWSQPack(QV_WSQPACK_LIBRARY);
        QVERIFY(WSQPackLoaded());
    }
    void cleanupTestCase() { unloadWSQPack(); }
};

} // namespace qv::test
