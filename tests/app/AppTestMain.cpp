#include "app/StationApplication.h"
#include "tests/app/AppTests.h"

#include <QTest>

// The suites run inside the station's own application object, so errors that leave an event
// handler meet the same default handler as in the program.
int main(int argc, char** argv) {
    qv::StationApplication application(argc, argv);
    application.setMessagePresenter(qv::test::reportUnexpectedMessage);
    int failures = 0;
    for (const auto& makeSuite : qv::test::appTestSuites()) {
        const std::unique_ptr<QObject> suite = makeSuite();
        failures += QTest::qExec(suite.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
