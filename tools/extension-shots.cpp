// Writes screenshots of the extension windows, to look at after changing their
// forms, pictures or style sheets:
//   QT_QPA_PLATFORM=offscreen build/dev/bin/extension-shots [directory]
// Tiles in the twelve states, a grid with an expanded group, a collapsed
// group and Unsorted, the info popup of a tile in a call and forwarded, the
// call-forward dialog and the group editor, in a temporary data directory.
// The pictures go to the directory (default: the current one).

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <memory>

#include "core/CPushButton.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorAgentInfo.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

QString g_dir;

// A window on a plain backdrop, cut to its mask as the window system shows it.
void shoot(QWidget *window, const QString &name)
{
    QTest::qWait(50);
    // The offscreen cursor sits somewhere on the window: no key shows its
    // hover face in the picture.
    for (CPushButton *button : window->findChildren<CPushButton *>()) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(button, &leave);
    }
    const QPixmap grabbed = window->grab();
    constexpr int kMargin = 16;
    QImage shot(grabbed.size() + QSize(2 * kMargin, 2 * kMargin), QImage::Format_ARGB32_Premultiplied);
    shot.fill(QColor(206, 208, 212));
    QPainter painter(&shot);
    painter.translate(kMargin, kMargin);
    if (!window->mask().isEmpty())
        painter.setClipRegion(window->mask());
    painter.drawPixmap(0, 0, grabbed);
    painter.end();
    const QString path = QDir(g_dir).filePath(name + QLatin1String(".png"));
    std::printf("%s\n", qPrintable(shot.save(path) ? path : QStringLiteral("could not write ") + path));
}

// A dark panel of the tiles' size for the tile and grid pictures.
QWidget *panel(int width, int height)
{
    auto *w = new QWidget;
    w->setObjectName(QStringLiteral("panel"));
    w->setStyleSheet(QStringLiteral("QWidget#panel { background-color: rgb(48, 48, 48); }"));
    w->resize(width, height);
    return w;
}

// Twelve tiles, one per state, with realistic names and calls.
void shootStates()
{
    QList<Channel *> channels;
    std::unique_ptr<QWidget> w(panel(4 * 137 + 10, 3 * 58 + 10));
    // Extension, name, channel state ("" none) and other party.
    const QList<QStringList> shots { { "100", "Reception", "", "" }, { "101", "Anna Weber", "unavailable", "" },
        { "102", "Tom Becker", "idle", "" }, { "103", "Lena Fischer", "Ringing", "+49 30 5551234" },
        { "104", "Maximilian Hoffmann", "Ring", "2204" }, { "105", "Mia Schulz", "Up", "Paul Hahn" },
        { "106", "Felix Braun", "Hold", "Clara Neumann" }, { "107", "Sophie Koch", "dnd", "" },
        { "108", "Lukas Richter", "fwd", "0171 5550123" }, { "109", "Emma Klein", "Offhook", "" },
        { "111", "Noah Wagner", "park", "" }, { "112", "Hannah Schmitt", "queue", "" } };
    for (int i = 0; i < shots.size(); ++i) {
        const QStringList &s = shots.at(i);
        auto *t = new QuorAgent(nullptr, s.at(0), &channels, QStringLiteral("SIP"));
        t->setParent(w.get());
        t->move(5 + (i % 4) * 137, 5 + (i / 4) * 58);
        t->setCallerIdName(s.at(1));
        const QString how = s.at(2);
        if (i == 0)
            continue;
        if (how == QLatin1String("unavailable")) {
            t->setUnavailable();
            continue;
        }
        t->setIdle();
        if (how == QLatin1String("dnd") || how == QLatin1String("fwd")) {
            how == QLatin1String("dnd") ? t->setDndState(true) : t->setFwdState(true, s.at(3), QStringLiteral("CFU"));
            continue;
        }
        if (how == QLatin1String("idle"))
            continue;
        channels << new Channel(s.at(0) + QStringLiteral(".1"), "SIP/" + s.at(0) + "-1", {}, {}, {});
        Channel *ch = channels.last();
        t->setChannel(ch);
        t->setPeerText(s.at(3));
        emit ch->timeoutEvent(
            QStringLiteral("%1:%2").arg(i % 3, 2, 10, QLatin1Char('0')).arg(i * 7 % 60, 2, 10, QLatin1Char('0')));
        if (how == QLatin1String("park")) {
            t->setParkSlot(QStringLiteral("701"));
            ch->park(QStringLiteral("701"));
        } else if (how == QLatin1String("queue")) {
            t->setQueueName(QStringLiteral("support"));
            ch->joinQueue(QStringLiteral("support"));
            t->setVmCount(2);
        } else if (how == QLatin1String("Up")) {
            ch->setState(QStringLiteral("Ringing"));
            t->setActive();
        } else {
            ch->setState(how);
        }
        if (how.startsWith(QLatin1String("Ring")) || how == QLatin1String("Offhook"))
            t->label_time->clear();
    }
    shoot(w.get(), QStringLiteral("extension-tiles"));
    w.reset();
    qDeleteAll(channels);
}

// A grid of three groups: Sales expanded, Support collapsed, Unsorted.
void shootGrid(TQuorGroupsEdit &set, const QList<QuorAgent *> &tiles)
{
    std::unique_ptr<QWidget> w(panel(4 * 137 + 20, 3 * 58 + 10));
    set.findGroup(QStringLiteral("Support"))->setExpanded(false);
    set.unsorted->setExpanded(true);
    for (QuorAgent *t : tiles)
        t->setIdle();
    tiles.at(1)->setStatusText(QStringLiteral("IN"));
    tiles.at(1)->setPeerText(QStringLiteral("+49 30 5551234"));
    tiles.at(1)->setActive();
    tiles.at(3)->setDndState(true);
    TGridLayout grid(w.get());
    grid.setGeometry(5, 5, w->width() - 10, 10);
    for (TExtensionGroup *group : set.groups()) {
        grid.addWidget(group);
        for (QuorAgent *t : group->tiles) {
            if (group->expanded)
                grid.addWidget(t);
        }
    }
    grid.relayout();
    shoot(w.get(), QStringLiteral("extension-groups"));
    grid.clear();
    grid.relayout();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    g_dir = useShotDirFromArguments(argc, argv);
    QDir().mkpath(g_dir);
    QFile css(QStringLiteral(":/ui/css/app.css"));
    if (css.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(css.readAll()));

    shootStates();

    QList<Channel *> channels;
    auto *tile = new QuorAgent(nullptr, QStringLiteral("104"), &channels, QStringLiteral("SIP"));
    tile->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    tile->setDndFamily(QStringLiteral("DND"));
    tile->setCallerIdName(QStringLiteral("Anna Rossi"));
    tile->setCallerIdNum(QStringLiteral("104"));
    tile->setContext(QStringLiteral("from-internal"));
    tile->setCodec(QStringLiteral("ulaw,alaw,gsm"));
    tile->setMailbox(QStringLiteral("104@default"));
    tile->setGroupName(QStringLiteral("Sales"));
    tile->setIdle();
    tile->updateInfo();

    tile->setStatusText(QStringLiteral("IN"));
    tile->setPeerText(QStringLiteral("Marco Bianchi <0171 555 0199>"));
    tile->setActive();
    emit tile->timeoutAgent(QStringLiteral("00:02:17"));
    tile->setVmCount(2);
    tile->button_user->click();
    shoot(tile->info, QStringLiteral("agentinfo-call"));

    tile->setStatusText(QString());
    tile->setFwdState(true, QStringLiteral("0171 555 0199"), QStringLiteral("CFB"));
    shoot(tile->info, QStringLiteral("agentinfo-forward"));

    tile->setFwdState(false, QString(), QString());
    tile->enableFWD();
    tile->cfDialog->Edit_fwd->setText(QStringLiteral("0171 555 0199"));
    tile->cfDialog->comboFwdFamily->setCurrentIndex(1);
    shoot(tile->cfDialog, QStringLiteral("dialog-forward"));

    delete tile;

    TestDataDir data;
    data.write(QStringLiteral("extgroups.xml"), R"(<!DOCTYPE xmlreader>
<groups>
    <group><name>Sales</name><desc>Front desk and orders</desc><visible>yes</visible><expanded>yes</expanded>
        <sort>name</sort></group>
    <group><name>Support</name><desc>Second level</desc><visible>yes</visible><expanded>yes</expanded>
        <sort>num</sort></group>
</groups>
)");
    TQuorGroupsEdit editor;
    editor.loadGroups();
    const QList<std::pair<const char *, const char *>> peers { { "201", "Anna Rossi" }, { "202", "Tom Becker" },
        { "203", "Lena Fischer" }, { "204", "Jonas Wolf" }, { "301", "Mia Schulz" }, { "302", "Felix Braun" },
        { "250", "Reception" }, { "251", "Conference 1" } };
    QList<QuorAgent *> tiles;
    for (const auto &[ext, name] : peers) {
        auto *t = new QuorAgent(nullptr, QLatin1String(ext), nullptr, QStringLiteral("SIP"));
        t->setCallerIdName(QLatin1String(name));
        editor.placeExtension(t);
        tiles << t;
    }
    editor.refreshEditCopies();
    // Four of them into Sales, two into Support; the rest stays unsorted.
    editor.boxEditGroup->setCurrentIndex(2);
    for (int row : { 0, 1, 2, 3 })
        editor.listExtView->item(row)->setSelected(true);
    editor.boxOtherGroups->setCurrentIndex(0);
    editor.buttonMoveRight->click();
    for (int row : { 1, 2 })
        editor.listExtView->item(row)->setSelected(true);
    editor.boxOtherGroups->setCurrentIndex(1);
    editor.buttonMoveRight->click();
    editor.boxEditGroup->setCurrentIndex(0);
    editor.boxOtherGroups->setCurrentIndex(1);
    editor.listExtView->item(1)->setSelected(true);
    editor.resize(423, 643);
    editor.show();
    shoot(&editor, QStringLiteral("groupedit"));
    editor.buttonApply->click();
    editor.hide();
    shootGrid(editor, tiles);
    editor.clearGroups();
    qDeleteAll(tiles);
    return 0;
}
