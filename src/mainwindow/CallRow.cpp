#include "mainwindow/CallRow.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QTime>

namespace {

constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;

struct Look
{
    QFont font;
    QPalette palette;
};

Look look(const char *family, int pixelSize, const QColor &colour)
{
    Look l;
    l.font = QFont(QLatin1String(family));
    l.font.setPixelSize(pixelSize);
    // Inside the list the labels take the list's text role, not the window's.
    l.palette.setColor(QPalette::WindowText, colour);
    l.palette.setColor(QPalette::Text, colour);
    return l;
}

// The rows' fonts and colours, made once. They are set as fonts and palettes
// rather than a style sheet: a sheet over the list would send each label of
// every row through the style-sheet engine, which cost more than all the rest
// of the PBX's events together when calls come and go fast.
struct Looks
{
    Look data = look("Arial Black", 12, QColor(0, 0, 0, 210));
    Look space = look("Arial Black", 20, QColor(0, 0, 0, 210));
    Look red = look("Arial", 9, QColor(200, 0, 0));
    Look grey = look("Arial", 9, QColor(50, 50, 50));
    Look green = look("Arial", 9, QColor(0, 130, 40));

    const Look &of(const QString &label, const char *row) const
    {
        if (label == QLatin1String("label_qtime_2") || label == QLatin1String("label_from"))
            return red;
        if (label == QLatin1String("label_qtime_3"))
            return grey;
        if (label == QLatin1String("label_src"))
            return green;
        if (label == QLatin1String("label_destination") && qstrcmp(row, "ACPark") == 0)
            return space;
        return data;
    }
};

const Looks &looks()
{
    static const Looks all;
    return all;
}

} // namespace

CallRow::CallRow(QWidget *container, const QString &tableName)
    : QWidget(nullptr)
    , container(container)
{
    if (container)
        table = container->findChild<QTableWidget *>(tableName);
}

QString CallRow::clockText(qint64 elapsedMs)
{
    return QTime(0, 0).addMSecs(int(elapsedMs % kDayMs)).toString(QStringLiteral("hh:mm:ss"));
}

void CallRow::applyLooks()
{
    for (QLabel *label : findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
        const Look &look = looks().of(label->objectName(), metaObject()->className());
        label->setFont(look.font);
        label->setPalette(look.palette);
    }
    // The boxed frame behind the captions: painted here, rounded and translucent.
    if ((m_box = findChild<QFrame *>(QStringLiteral("frame"), Qt::FindDirectChildrenOnly)))
        m_box->installEventFilter(this);
}

bool CallRow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box || event->type() != QEvent::Paint)
        return QWidget::eventFilter(watched, event);
    QPainter painter(m_box);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0, 0, 0, 35));
    painter.setBrush(QColor(255, 255, 255, 70));
    painter.drawRoundedRect(QRectF(m_box->rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    return true;
}

void CallRow::showEvent(QShowEvent *event)
{
    // Once polished: an application style sheet's polish would drop palettes
    // set before it.
    if (!m_looksApplied) {
        m_looksApplied = true;
        applyLooks();
    }
    QWidget::showEvent(event);
}

void CallRow::startClock(QLabel *clockLabel)
{
    m_clockLabel = clockLabel;
    connect(&timer, &QTimer::timeout, this, &CallRow::timeout);
    clock.start();
    timer.start(kTickMs);
    m_clockLabel->setText(QStringLiteral("00:00:00"));
}

void CallRow::timeout()
{
    m_clockLabel->setText(clockText(clock.elapsed()));
}

int CallRow::tableRow() const
{
    if (!table)
        return -1;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->cellWidget(row, 0) == this)
            return row;
    }
    return -1;
}

bool CallRow::isListed() const
{
    return tableRow() >= 0;
}

void CallRow::place(const QStringList &hidden)
{
    if (!table)
        return;
    int row = tableRow();
    if (row < 0) {
        row = table->rowCount();
        table->setRowCount(row + 1);
        table->setCellWidget(row, 0, this);
    }
    for (int i = 0; i < hidden.size(); ++i) {
        if (QTableWidgetItem *item = table->item(row, i + 1)) {
            item->setText(hidden.at(i));
        } else {
            item = new QTableWidgetItem(hidden.at(i));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table->setItem(row, i + 1, item);
        }
    }
}
