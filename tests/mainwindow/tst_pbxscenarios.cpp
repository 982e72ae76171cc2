// The panel and the main window driven as the PBX and the user drive them: the
// scenarios of tests/data/pbx/ (format: testsupport/PbxScenario.h).

#include "testsupport/ManagerFixture.h"
#include "testsupport/PbxScenario.h"

class TestPbxScenarios : public QObject
{
    Q_OBJECT

private slots:
    // The panel's channel records and what the tiles of a call show.
    void channels_data() { Scenarios::addRows("channels.ami"); }
    void channels() { Scenarios::runCurrent(); }
    // The same handlers fed the newer PBX's message shapes.
    void channels16_data() { Scenarios::addRows("channels16.ami"); }
    void channels16() { Scenarios::runCurrent(); }
    // Discovery, status, voicemail, DND, forward, queues, hold and parking on the tiles.
    void extstate_data() { Scenarios::addRows("extstate.ami"); }
    void extstate() { Scenarios::runCurrent(); }
    // The main window: connection, routing, own DND and forward, agents, call records and docks.
    void routing_data() { Scenarios::addRows("routing.ami"); }
    void routing() { Scenarios::runCurrent(); }
    // The main window's connection cycle, settings changes, own DND and forward, queues and agents.
    void connection_data() { Scenarios::addRows("connection.ami"); }
    void connection() { Scenarios::runCurrent(); }
};

QUOR_MAINWINDOW_TEST_MAIN(TestPbxScenarios)
#include "tst_pbxscenarios.moc"
