// The panel itself: construction, the tile registry, the grid, the options it
// applies to every tile, the connection cycle and the texts it sends on
// request. Discovery and the event handlers live in the files beside it.

#include "extensions/QuorExtensions.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QScrollArea>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <utility>

#include "ami/AmiAction.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

using namespace Qt::StringLiterals;

QuorExtensions::QuorExtensions(TQuorPhone *phone, TQuorSettings *settings, TQuorGroupsEdit *groupsEdit)
    : QWidget(nullptr)
{
    setupUi(this);
    channels = new QList<Channel *>;
    grid = new TGridLayout;
    scrollArea = new QScrollArea(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->move(0, 0);
    scrollArea->resize(size());
    scrollArea->setWidget(grid);
    createActions();

    this->phone = phone;
    if (phone)
        connect(phone, &TQuorPhone::signalPhoneUserName, this, &QuorExtensions::slotPhoneUserName);
    this->settings = settings;
    if (settings) {
        connect(settings, &TQuorSettings::signalPhoneOptionsChanged, this, &QuorExtensions::slotPhoneOptionsChanged);
        dndFamily = phoneDndFamily();
        readFwdFamilies();
    }
    this->groupsEdit = groupsEdit;
    if (groupsEdit)
        connect(groupsEdit, &TQuorGroupsEdit::signalUpdateExtGrid, this, &QuorExtensions::slotUpdateExtGrid);
    if (settings)
        settings->getUseFreePBX(&useFreePBX);
}

QuorExtensions::~QuorExtensions()
{
    const QList<QuorAgent *> old = std::exchange(tiles, {});
    m_index.clear();
    for (QuorAgent *tile : old)
        tile->removeSafely();
    // The group headers belong to the group set: the grid lets go of them.
    grid->clear();
    grid->relayout();
    qDeleteAll(*channels);
    delete channels;
}

void QuorExtensions::createActions()
{
    phoneAction = new QAction(tr("&Phone"), this);
    connect(phoneAction, &QAction::triggered, this, &QuorExtensions::showPhone);
    menuAction = new QAction(tr("&Menu"), this);
    connect(menuAction, &QAction::triggered, this, &QuorExtensions::showMenu);
}

QString QuorExtensions::phoneDndFamily() const
{
    bool busy, onTop, dnd, forward, vm, forwardToVm, agentLogin;
    QString family, dndCode, fwdNumber, fwdFamily;
    settings->getPhoneOptions(
        &busy, &onTop, &dnd, &family, &dndCode, &forward, &fwdNumber, &fwdFamily, &vm, &forwardToVm, &agentLogin);
    return family;
}

void QuorExtensions::readFwdFamilies()
{
    settings->getFwdFamilies(&fwdFamilyAll, &fwdFamilyBusy, &fwdFamilyNoAnswer);
}

QStringList QuorExtensions::fwdFamilies() const
{
    QStringList set;
    for (const QString *family : { &fwdFamilyAll, &fwdFamilyBusy, &fwdFamilyNoAnswer }) {
        if (!family->isEmpty())
            set << *family;
    }
    return set;
}

// ---------------------------------------------------------------- options and connection cycle

void QuorExtensions::setPrivacy(bool on)
{
    if (on == privacy)
        return;
    privacy = on;
    for (QuorAgent *tile : std::as_const(tiles))
        tile->setPrivacy(on);
}

void QuorExtensions::setUseFreePBX(bool on)
{
    if (on == useFreePBX)
        return;
    useFreePBX = on;
    if (!on)
        return;
    const QList<QuorAgent *> list = tiles;
    for (QuorAgent *tile : list) {
        if (!useFreePBX)
            break;
        send(AmiAction::dbGetCallerName(tile->extension));
    }
}

void QuorExtensions::removeAgents()
{
    grid->clear();
    const QList<QuorAgent *> old = std::exchange(tiles, {});
    m_index.clear();
    for (QuorAgent *tile : old)
        tile->removeSafely();
    expectedPeers = 0;
    m_listedPeers.clear();

    // No Hangup ever comes for the calls of a lost connection.
    const QList<Channel *> records = std::exchange(*channels, {});
    m_records.clear();
    m_recordIndex.clear();
    for (Channel *record : records)
        disposeRecord(record);
}

void QuorExtensions::setDriver(QString driver)
{
    zapDriver = dahdiDriver = dummyDriver = noDriver = false;
    if (driver == QLatin1String("none"))
        noDriver = true;
    else if (driver == QLatin1String("Zap"))
        zapDriver = true;
    else if (driver == QLatin1String("dahdi"))
        dahdiDriver = true;
    else if (driver == QLatin1String("dummy"))
        dummyDriver = true;
}

void QuorExtensions::setAsteriskVersion(QString version)
{
    newAsterisk = version.contains(QLatin1String("1.4")) || version.contains(QLatin1String("1.6"));
}

void QuorExtensions::extensionStatus(QString ext, QString status)
{
    const QList<QuorAgent *> list = m_index.exact(ext);
    for (QuorAgent *tile : list) {
        if (status == QLatin1String("0")) {
            if (tile->forward) {
                tile->setForwarded();
            } else if (!tile->dnd) {
                // A tile in a call keeps it, and so do the later ones.
                if (tile->channel)
                    return;
                tile->setIdle();
            } else {
                tile->setDndState(true);
            }
        } else if (status == QLatin1String("1")) {
            tile->setActive();
        } else if (status == QLatin1String("4")) {
            tile->setUnavailable();
        }
    }
}

void QuorExtensions::status(const AmiMessage &)
{
    // The Status event changes nothing on the panel.
}

// ---------------------------------------------------------------- registry and grid

bool QuorExtensions::peersCount(const AmiMessage &message, QString technology)
{
    // A count answer restates a list that discovery counted already; one asked
    // for before a new login would arrive after the clear and leave the total
    // beyond the tiles for good, and the grid empty.
    const QString event = message.value(u"Event");
    if (event == QLatin1String("SipCount") || event == QLatin1String("IaxCount"))
        return false;
    bool ok = false;
    const int items = message.value(u"ListItems").toInt(&ok, 10);
    if (ok) {
        // A technology's list names all its peers: asked again (a repeated
        // login answer, a rediscovery) it replaces its own total, whatever
        // the order its answers come in among the other lists'.
        if (technology.isEmpty())
            m_listedPeers[technology] += items;
        else
            m_listedPeers.insert(technology, items);
        qint64 total = 0;
        for (const qint64 listed : std::as_const(m_listedPeers))
            total += listed;
        expectedPeers = int(qBound(qint64(INT_MIN), total, qint64(INT_MAX)));
    }
    if (tiles.size() != expectedPeers)
        return false;
    updateExtGrid();
    emit countDone();
    return true;
}

int QuorExtensions::insertAgentSorted(QuorAgent *tile)
{
    // Binary search gives the walk's answer on the sorted list: before the
    // first greater name, after every equal one.
    const auto at = std::upper_bound(tiles.begin(), tiles.end(), tile, [](const QuorAgent *a, const QuorAgent *b) {
        return a->extension.compare(b->extension, Qt::CaseInsensitive) < 0;
    });
    const int index = int(at - tiles.begin());
    tiles.insert(index, tile);
    m_index.insert(tile);
    return index;
}

bool QuorExtensions::findAgent(QString tech, QString name)
{
    const QString lowerTech = tech.toLower();
    for (const QuorAgent *tile : m_index.lowered(name.toLower())) {
        if (tile->tech.toLower() == lowerTech)
            return true;
    }
    return false;
}

void QuorExtensions::updateExtGrid()
{
    if (tiles.isEmpty() || !groupsEdit)
        return;
    const QList<TExtensionGroup *> groups = groupsEdit->groups();
    grid->clear();
    for (TExtensionGroup *group : groups) {
        if (!group->visibleFlag)
            continue;
        grid->addWidget(group);
        if (!group->expanded || group->tiles.isEmpty())
            continue;
        for (QuorAgent *tile : std::as_const(group->tiles)) {
            tile->setGroupName(group->name);
            grid->addWidget(tile);
        }
    }
    grid->relayout();
}

void QuorExtensions::slotUpdateExtGrid()
{
    updateExtGrid();
}

void QuorExtensions::slotPhoneOptionsChanged()
{
    dndFamily = phoneDndFamily();
    readFwdFamilies();
    const QString prefix = settings->getVmPrefix();
    for (QuorAgent *tile : std::as_const(tiles)) {
        tile->vmPrefix = prefix;
        tile->setDndFamily(dndFamily);
        tile->addFwdFamilies(fwdFamilyAll, fwdFamilyBusy, fwdFamilyNoAnswer);
    }
}

void QuorExtensions::slotPhoneUserName(QString user)
{
    const QList<QuorAgent *> &list = m_index.exact(user);
    if (!list.isEmpty())
        list.first()->hasMailbox = true;
}

// ---------------------------------------------------------------- widget

void QuorExtensions::showPhone()
{
    emit ShowPhone();
}

void QuorExtensions::showMenu()
{
    emit ShowMenu();
}

void QuorExtensions::mouseMoveEvent(QMouseEvent *)
{
    // Consumed here: moves over the panel never reach the main window.
}

void QuorExtensions::resizeEvent(QResizeEvent *)
{
    scrollArea->resize(width(), height());
    grid->resize(scrollArea->width() - 20, scrollArea->height());
    grid->relayout();
}

void QuorExtensions::contextMenuEvent(QContextMenuEvent *)
{
    // Shown without a nested event loop, so AMI events keep flowing.
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->addAction(phoneAction);
        m_menu->addSeparator();
        m_menu->addAction(menuAction);
    }
    m_menu->popup(QCursor::pos());
}

// ---------------------------------------------------------------- AMI texts

void QuorExtensions::redirectCall(QString channel, QString exten)
{
    const QList<QuorAgent *> &list = m_index.exact(exten);
    const QString context = list.isEmpty() ? QString() : list.first()->getContext();
    send(AmiAction::redirect(channel, exten, context));
}

void QuorExtensions::checkFwd(QString ext, QString family)
{
    send(AmiAction::dbCheck(family, ext, "fwd"_L1));
}

void QuorExtensions::checkDnd(QString extension)
{
    send(AmiAction::dbCheck(dndFamily, extension, "dnd"_L1));
}

void QuorExtensions::originateCall(QString from, QString to, QString tech)
{
    if (tech.toLower() == QLatin1String("iax"))
        tech = QStringLiteral("IAX2");
    send(AmiAction::originate(tech.toUpper(), from, to));
}

void QuorExtensions::transferCall(QString channel, QString exten)
{
    send(AmiAction::transfer(channel, exten));
}

void QuorExtensions::transferAgent(QString)
{
    // Nothing connects it, and the agent settings it would read are never
    // given to the panel.
}

// ---------------------------------------------------------------- shared lookups

Channel *QuorExtensions::recordOf(const QString &uniqueid) const
{
    return m_records.value(uniqueid);
}

bool QuorExtensions::before(Channel *a, Channel *b) const
{
    return m_recordIndex.before(a, b);
}

Channel *QuorExtensions::recordNamed(const QString &name) const
{
    for (Channel *record : std::as_const(*channels)) {
        if (record->name == name)
            return record;
    }
    return nullptr;
}

void QuorExtensions::addRecord(Channel *record)
{
    channels->append(record);
    m_records.insert(record->uniqueid, record);
    m_recordIndex.append(record);
}

void QuorExtensions::disposeRecord(Channel *record)
{
    record->durationTimer->stop();
    disconnect(record, nullptr, nullptr, nullptr);
    if (m_hangingUp.contains(record))
        record->deleteLater();
    else
        delete record;
}

QuorAgent *QuorExtensions::tileOf(const QString &ext, const QString &channelTech) const
{
    for (QuorAgent *tile : m_index.exact(ext)) {
        if (Channel::matches(ext, channelTech, tile->extension, tile->tech))
            return tile;
    }
    return nullptr;
}

QList<QuorAgent *> QuorExtensions::tilesOf(const QString &a, const QString &b) const
{
    const QList<QuorAgent *> &first = m_index.exact(a);
    if (a == b)
        return first;
    const QList<QuorAgent *> &second = m_index.exact(b);
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    const int order = a.compare(b, Qt::CaseInsensitive);
    if (order < 0)
        return first + second;
    if (order > 0)
        return second + first;
    // Equal but for case: the two interleave in the order they were made.
    QList<QuorAgent *> both;
    for (QuorAgent *tile : tiles) {
        if (tile->extension == a || tile->extension == b)
            both << tile;
    }
    return both;
}
