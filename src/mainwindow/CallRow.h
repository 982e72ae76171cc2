#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QTableWidget;

// What the queue and parked rows share: the table they sit in, found inside
// their container by name, and a clock that counts the time since the row
// was made.
class CallRow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 1000;

    // "hh:mm:ss" of the time of day 00:00:00 plus elapsedMs, so it wraps at
    // 24 hours.
    static QString clockText(qint64 elapsedMs);

    // Whether the row is still a cell of its table; a removed table row
    // leaves its widget to be deleted later.
    bool isListed() const;

    QTableWidget *table = nullptr;
    QWidget *container = nullptr;
    QElapsedTimer clock;
    QTimer timer;

public slots:
    void timeout();

protected:
    CallRow(QWidget *container, const QString &tableName);

    // After the form is set up: the label of the clock.
    void startClock(QLabel *clockLabel);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // Appends the row to its table with the hidden items, or refreshes the
    // hidden items of its own table row: the widget stays in one row.
    void place(const QStringList &hidden);

private:
    int tableRow() const;
    // The rows' fonts and colours.
    void applyLooks();

    QLabel *m_clockLabel = nullptr;
    QWidget *m_box = nullptr;
    bool m_looksApplied = false;
};
