// The name strip of a tile: the colour of its text in each look, on no
// background of its own.

#include <QTest>

#include "extensions/TileUserButton.h"

class TestTileUserButton : public QObject
{
    Q_OBJECT

private slots:
    void looks_data();
    void looks();
};

void TestTileUserButton::looks_data()
{
    QTest::addColumn<bool>("underMouse");
    QTest::addColumn<bool>("down");
    QTest::addColumn<QColor>("text");
    QTest::newRow("plain: white") << false << false << QColor(255, 255, 255);
    QTest::newRow("under the mouse: orange") << true << false << QColor(255, 128, 0);
    QTest::newRow("pressed under the mouse: orange") << true << true << QColor(255, 128, 0);
    QTest::newRow("pressed, mouse gone: red") << false << true << QColor(203, 0, 0);
}

void TestTileUserButton::looks()
{
    QFETCH(bool, underMouse);
    QFETCH(bool, down);
    QFETCH(QColor, text);
    const QColor tile(40, 90, 160);
    QWidget parent;
    parent.resize(132, 16);
    parent.setAutoFillBackground(true);
    parent.setPalette(QPalette(tile, tile));
    auto *button = new TileUserButton(&parent);
    button->setGeometry(0, 0, 132, 16);
    QFont font;
    font.setBold(true);
    button->setFont(font);
    button->setText(QStringLiteral("IIII MMMM"));
    button->setAttribute(Qt::WA_UnderMouse, underMouse);
    button->setDown(down);

    const QImage image = parent.grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    // Only the tile shows around the text: no frame, no fill, no shadow.
    QVERIFY(counts.value(tile.rgb()) > image.width() * image.height() / 2);
    QVERIFY(counts.value(text.rgb()) > 0);
    for (const QColor &other : { QColor(255, 255, 255), QColor(255, 128, 0), QColor(203, 0, 0) }) {
        if (other != text)
            QCOMPARE(counts.value(other.rgb()), 0);
    }
}

QTEST_MAIN(TestTileUserButton)
#include "tst_tileuserbutton.moc"
