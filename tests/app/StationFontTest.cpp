#include "app/BioVerif.h"
#include "app/QtRunnerUi.h"
#include "config/UConfigLiveScan.h"
#include "tests/app/AppTests.h"
#include "tests/support/TempFolder.h"

#include <QFontInfo>
#include <QLabel>

namespace qv::test {

// The tests see only the fonts of a minimal machine with the package (DejaVu and Liberation,
// no aliases between families): the windows draw in Liberation Sans, which has the metrics of
// the Arial they were laid out for, because the station names it, at the size they were laid
// out for.
class StationFontTest : public QObject {
    Q_OBJECT
private slots:
    void everyWindowDrawsInTheFaceItWasLaidOutFor() {
        QtRunnerUi runnerUi(stationApp());
        TFBioVerif form(runnerUi);
        TempFolder folder;
        TFConfigLiveScan settingsDialog(runnerUi, folder.path("Quorvantis.INI"));
        QLabel windowWithoutAFontOfItsOwn;
        const std::pair<const QWidget*, int> windows[] = {
            {&form, 13}, {&settingsDialog, 11}, {&windowWithoutAFontOfItsOwn, 13}};
        for (const auto& [window, pixels] : windows) {
            const QFontInfo drawn(window->font());
            QCOMPARE(drawn.family(), QStringLiteral("Liberation Sans"));
            QCOMPARE(drawn.pixelSize(), pixels);
        }
    }
};

namespace {
const RegisterSuite<StationFontTest> registered;
} // namespace

} // namespace qv::test

#include "StationFontTest.moc"
