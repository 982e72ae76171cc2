#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "softphone/AioPrefFile.h"
#include "softphone/TquorAui.h"
#include "testsupport/TestDataDir.h"

class TestTquorAui : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void levelsSavedAndRead();
    void damagedFile_data();
    void damagedFile();
    void meters_data();
    void meters();

private:
    static int storedLevel(const QString &key)
    {
        AioPrefFile file;
        return file.getValue(key, QStringLiteral("levels")).toInt();
    }

    std::unique_ptr<TestDataDir> m_data;
};

void TestTquorAui::init()
{
    m_data = std::make_unique<TestDataDir>();
    QVERIFY(m_data->isValid());
}

void TestTquorAui::cleanup()
{
    m_data.reset();
}

void TestTquorAui::levelsSavedAndRead()
{
    {
        // The first start writes the defaults.
        TquorAui aui;
        QCOMPARE(aui.inputLevel(), 0.8);
        QCOMPARE(storedLevel(QStringLiteral("output")), 80);

        QSignalSpy input(&aui, &TquorAui::signalInputLevelChanged);
        QSignalSpy output(&aui, &TquorAui::signalOutputLevelChanged);
        auto *sliderIn = aui.findChild<QSlider *>(QStringLiteral("sliderInput"));
        auto *sliderOut = aui.findChild<QSlider *>(QStringLiteral("sliderOutput"));
        // Keyboard steps save at once.
        sliderIn->setFocus();
        QTest::keyClick(sliderIn, Qt::Key_Home);
        QCOMPARE(input.count(), 1);
        QCOMPARE(storedLevel(QStringLiteral("input")), 0);
        QCOMPARE(aui.findChild<QLabel *>(QStringLiteral("labelInputValue"))->text(), QStringLiteral("0"));

        // A drag is heard at every step and written once released.
        sliderOut->setSliderDown(true);
        for (int v = 79; v >= 35; --v)
            sliderOut->setValue(v);
        QCOMPARE(output.count(), 45);
        QCOMPARE(output.last().at(0).toDouble(), 0.35);
        QCOMPARE(storedLevel(QStringLiteral("output")), 80);
        sliderOut->setSliderDown(false);
        QCOMPARE(storedLevel(QStringLiteral("output")), 35);
        QCOMPARE(input.count(), 1);
    }
    TquorAui again;
    QCOMPARE(again.inputLevel(), 0.0);
    QCOMPARE(again.outputLevel(), 0.35);
}

void TestTquorAui::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("input");
    QTest::addColumn<double>("output");
    QTest::addColumn<bool>("keptAside");

    const QByteArray big(100000, '9');
    QTest::newRow("truncated XML") << QByteArray("<aiopref><levels><input>20</inp") << 0.8 << 0.8 << true;
    QTest::newRow("garbage bytes") << QByteArray("\x00\xff\xfe garbage", 12) << 0.8 << 0.8 << true;
    QTest::newRow("one key missing") << QByteArray("<aiopref><levels><input>20</input></levels></aiopref>") << 0.2
                                     << 0.8 << false;
    QTest::newRow("not numbers") << QByteArray("<aiopref><levels><input>loud</input><output/></levels></aiopref>")
                                 << 0.8 << 0.8 << false;
    QTest::newRow("out of range") << QByteArray("<aiopref><levels><input>-5</input><output>250</output></levels>"
                                                "</aiopref>")
                                  << 0.0 << 1.0 << false;
    QTest::newRow("oversized value") << "<aiopref><levels><input>" + big
            + "</input><output>7</output></levels></aiopref>"
                                     << 0.8 << 0.07 << false;
}

void TestTquorAui::damagedFile()
{
    QFETCH(QByteArray, content);
    QFETCH(double, input);
    QFETCH(double, output);
    QFETCH(bool, keptAside);

    m_data->write(QStringLiteral("aiopref.xml"), content);
    TquorAui aui;
    QCOMPARE(aui.inputLevel(), input);
    QCOMPARE(aui.outputLevel(), output);
    QCOMPARE(QFile::exists(m_data->filePath(QStringLiteral("aiopref.xml.bad"))), keptAside);
    // Mended on disk: the next start reads the same levels without complaint.
    QCOMPARE(storedLevel(QStringLiteral("input")), qRound(input * 100));
    QCOMPARE(storedLevel(QStringLiteral("output")), qRound(output * 100));
}

void TestTquorAui::meters_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<int>("shown");

    QTest::newRow("half") << 0.5 << 50;
    QTest::newRow("above") << 7.0 << 100;
    QTest::newRow("below") << -0.3 << 0;
    QTest::newRow("not a number") << qQNaN() << 0;
    QTest::newRow("infinite") << qInf() << 0;
}

void TestTquorAui::meters()
{
    QFETCH(double, level);
    QFETCH(int, shown);

    TquorAui aui;
    aui.setMeterLevels(level, 0.25);
    QCOMPARE(aui.findChild<QProgressBar *>(QStringLiteral("meterInput"))->value(), shown);
    QCOMPARE(aui.findChild<QProgressBar *>(QStringLiteral("meterOutput"))->value(), 25);
    aui.setOutputMeter(level);
    QCOMPARE(aui.findChild<QProgressBar *>(QStringLiteral("meterOutput"))->value(), shown);
}

QTEST_MAIN(TestTquorAui)
#include "tst_tquoraui.moc"
