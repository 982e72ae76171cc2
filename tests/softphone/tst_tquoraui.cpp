#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "softphone/AioPrefFile.h"
#include "softphone/TquorAui.h"
#include "testsupport/TestDataDir.h"

namespace {

int storedLevel(const char *key)
{
    return AioPrefFile().getValue(QLatin1String(key), QStringLiteral("levels")).toInt();
}

} // namespace

class TestTquorAui : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_data = std::make_unique<TestDataDir>(); }
    void cleanup() { m_data.reset(); }

    void levelsSavedAndRead()
    {
        {
            // The first start writes the defaults.
            TquorAui aui;
            QCOMPARE(aui.inputLevel(), 0.8);
            QCOMPARE(storedLevel("output"), 80);
            QSignalSpy input(&aui, &TquorAui::signalInputLevelChanged);
            QSignalSpy output(&aui, &TquorAui::signalOutputLevelChanged);
            // Keyboard steps save at once.
            auto *sliderIn = aui.findChild<QSlider *>(QStringLiteral("sliderInput"));
            sliderIn->setFocus();
            QTest::keyClick(sliderIn, Qt::Key_Home);
            QCOMPARE(input.count(), 1);
            QCOMPARE(storedLevel("input"), 0);
            // A drag is heard at every step and written once released.
            auto *sliderOut = aui.findChild<QSlider *>(QStringLiteral("sliderOutput"));
            sliderOut->setSliderDown(true);
            for (int v = 79; v >= 35; --v)
                sliderOut->setValue(v);
            QCOMPARE(output.count(), 45);
            QCOMPARE(output.last().at(0).toDouble(), 0.35);
            QCOMPARE(storedLevel("output"), 80);
            sliderOut->setSliderDown(false);
            QCOMPARE(storedLevel("output"), 35);
        }
        TquorAui again;
        QCOMPARE(again.inputLevel(), 0.0);
        QCOMPARE(again.outputLevel(), 0.35);
    }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("output");
        QTest::addColumn<bool>("keptAside");
        const QByteArray levels = "<aiopref><levels>%1</levels></aiopref>";
        QTest::newRow("truncated XML") << QByteArray("<aiopref><levels><input>20</inp") << 0.8 << 0.8 << true;
        QTest::newRow("one key missing") << QByteArray(levels).replace("%1", "<input>20</input>") << 0.2 << 0.8
                                         << false;
        QTest::newRow("out of range") << QByteArray(levels).replace("%1", "<input>-5</input><output>250</output>")
                                      << 0.0 << 1.0 << false;
        QTest::newRow("oversized value") << QByteArray(levels).replace(
            "%1", "<input>" + QByteArray(100000, '9') + "</input><output>7</output>")
                                         << 0.8 << 0.07 << false;
    }

    void damagedFile()
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
        QCOMPARE(storedLevel("input"), qRound(input * 100));
        QCOMPARE(storedLevel("output"), qRound(output * 100));
    }

private:
    std::unique_ptr<TestDataDir> m_data;
};

QTEST_MAIN(TestTquorAui)
#include "tst_tquoraui.moc"
