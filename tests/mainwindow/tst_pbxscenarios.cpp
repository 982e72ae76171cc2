// The panel and the main window driven as the PBX and the user drive them: the
// scenarios of tests/data/pbx/ (format: testsupport/PbxScenario.h).

#include "testsupport/ManagerFixture.h"
#include "testsupport/PbxScenario.h"

class TestPbxScenarios : public QObject
{
    Q_OBJECT

private slots:
    void panel_data() { Scenarios::addRows("panel.ami"); }
    void panel() { Scenarios::runCurrent(); }
};

QUOR_MAINWINDOW_TEST_MAIN(TestPbxScenarios)
#include "tst_pbxscenarios.moc"
