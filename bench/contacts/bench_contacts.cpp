// The address book with ten thousand contacts: writes its own "contacts.xml"
// (two numbers, a company and a two-line information text each) into a
// temporary data directory and prints the times a user waits for, each with
// its target. Every step includes the repaint it causes.
//
// Usage: bench_contacts [contacts]   (default 10000)

#include <QApplication>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "contacts/TContact.h"
#include "contacts/TQuorContacts.h"
#include "contacts/TQuorPhoneTable.h"
#include "core/Paths.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"

namespace {

const char *const kFirst[] = { "Anna", "Bruno", "Carla", "Dario", "Elena", "Fabio", "Giulia", "Hugo", "Irene", "Jonas",
    "Katia", "Luca", "Marta", "Nino", "Olga", "Paolo", "Rita", "Sergio", "Tina", "Ugo" };
const char *const kLast[] = { "Rossi", "Bianchi", "Ferrari", "Esposito", "Romano", "Colombo", "Ricci", "Marino",
    "Greco", "Bruno", "Gallo", "Conti", "De Luca", "Mancini", "Costa", "Giordano", "Rizzo", "Lombardi", "Moretti" };

QByteArray bookFile(int contacts)
{
    QByteArray xml = "<!DOCTYPE xmlreader>\n<contacts>\n";
    for (int i = 0; i < contacts; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "    <contact>\n        <name>" + QByteArray(kFirst[i % 20]) + "</name>\n        <surname>"
            + QByteArray(kLast[(i / 20) % 19]) + " " + n + "</surname>\n        <company>Company " + n
            + " S.p.A.</company>\n        <address>Via Roma " + n + ", Milano</address>\n        <info>Met at the "
            + "fair in " + QByteArray::number(2000 + i % 20) + "\nCall after 10:00</info>\n"
            + "        <phone>\n            <number>02" + n.rightJustified(7, '0') + "</number>\n"
            + "            <type>office</type>\n        </phone>\n        <phone>\n            <number>347"
            + n.rightJustified(7, '0') + "</number>\n            <type>mobile</type>\n        </phone>\n"
            + "        <phone_def>347" + n.rightJustified(7, '0') + "</phone_def>\n    </contact>\n";
    }
    return xml + "</contacts>\n";
}

// Lets the book repaint what the step changed.
void settle()
{
    QApplication::processEvents();
}

struct Stats
{
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    double median()
    {
        if (ms.empty())
            return 0;
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    }
};

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void line(const char *what, double value, double target)
{
    std::printf("%-52s %9.2f ms   target < %5.0f ms  %s\n", what, value, target, value < target ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int contacts = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    Paths::setDataDir(dir.path());

    const QByteArray bytes = bookFile(contacts);
    QFile file(Paths::dataFile(QStringLiteral("contacts.xml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return 1;
    file.close();
    std::printf("bench_contacts: %d contacts, %.1f MB file\n", contacts, double(bytes.size()) / 1e6);

    QElapsedTimer timer;
    timer.start();
    QDomDocument parsed;
    parsed.setContent(bytes);
    std::printf("%-52s %9.2f ms   (reference)\n", "DOM parse of the file alone", msSince(timer));

    QWidget host;
    host.resize(170, 415);
    timer.restart();
    auto *book = new TQuorContacts();
    book->setParentWidget(&host);
    host.show();
    book->show();
    settle();
    line("load to first row and details shown", msSince(timer), 300);
    if (book->contactList()->rowCount() != contacts || book->labelName->text().isEmpty())
        std::printf("  unexpected: %d rows, details \"%s\"\n", book->contactList()->rowCount(),
            qPrintable(book->labelName->text()));

    Stats keys;
    for (const QString &word : { QStringLiteral("Marta Costa 7"), QStringLiteral("ugo"), QStringLiteral("zz") }) {
        book->editSearch->clear();
        for (int i = 1; i <= word.size(); ++i) {
            timer.restart();
            book->editSearch->setText(word.left(i));
            settle();
            keys.add(msSince(timer));
        }
    }
    line("search keystroke with selection and details (max)", keys.max(), 16);
    std::printf("%-52s %9.2f ms\n", "  median", keys.median());

    TQuorTable *list = book->contactList();
    Stats scroll;
    for (int i = 0; i < 200; ++i) {
        timer.restart();
        QWheelEvent wheel(QPointF(10, 10), list->mapToGlobal(QPointF(10, 10)), QPoint(),
            QPoint(0, i < 100 ? -120 : 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &wheel);
        settle();
        scroll.add(msSince(timer));
        timer.restart();
        book->scrollBar()->setValue(i * (contacts / 200));
        settle();
        scroll.add(msSince(timer));
    }
    line("wheel or bar scroll step (max)", scroll.max(), 16);
    std::printf("%-52s %9.2f ms\n", "  median", scroll.median());

    timer.restart();
    book->searchContact();
    settle();
    line("opening the search page", msSince(timer), 150);
    book->boxSearchField1->setCurrentIndex(book->boxSearchField1->findData(int(SearchCompany)));
    book->boxSearchField2->setCurrentIndex(book->boxSearchField2->findData(int(SearchName)));
    timer.restart();
    book->contactApply();
    settle();
    line("one relabel of the search page", msSince(timer), 150);
    book->contactBack();
    settle();

    QElapsedTimer disk;
    auto change = [&](const char *what, auto &&step) {
        timer.restart();
        disk.start();
        step();
        settle();
        line(what, msSince(timer), 100);
        book->waitForSaved();
        std::printf("%-52s %9.2f ms\n", "  until the file is on disk", msSince(disk));
    };
    change("one add with its save", [&] {
        book->addContact();
        book->editName->setText(QStringLiteral("Zelda"));
        book->phoneEditor()->setNumber(QStringLiteral("5550199"), 0);
        book->contactApply();
    });
    change("one edit with its save", [&] {
        book->editContact();
        book->editSurname->setText(QStringLiteral("Edited"));
        book->contactApply();
    });
    change("one delete with its save", [&] {
        book->delContact();
        book->contactApply();
    });

    timer.restart();
    delete book;
    std::printf("%-52s %9.2f ms\n", "closing the book", msSince(timer));
    return 0;
}
