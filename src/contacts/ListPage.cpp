#include "contacts/ListPage.h"

#include <QKeyEvent>

#include "core/TQuorTableScroll.h"

namespace ListPage {

void handleKey(QKeyEvent *event, const KeyActions &actions)
{
    event->accept();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        actions.enter();
        break;
    case Qt::Key_Escape:
        actions.escape();
        break;
    case Qt::Key_F1:
        actions.menu(QStringLiteral("incoming"));
        break;
    case Qt::Key_F2:
        actions.menu(QStringLiteral("kb"));
        break;
    case Qt::Key_F3:
        actions.menu(QStringLiteral("missed"));
        break;
    case Qt::Key_S:
        if (modifiers == Qt::AltModifier)
            actions.menu(QStringLiteral("settings"));
        break;
    case Qt::Key_L:
        if (modifiers == Qt::AltModifier)
            actions.menu(QStringLiteral("log"));
        break;
    case Qt::Key_N:
        if (modifiers == Qt::ControlModifier)
            actions.add();
        break;
    case Qt::Key_E:
        if (modifiers == Qt::ControlModifier)
            actions.edit();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Clear:
        actions.remove();
        break;
    default:
        break;
    }
}

QWidget *scrollHost(QWidget *parent, QWidget *page)
{
    if (parent && parent->parentWidget())
        return parent->parentWidget();
    return parent ? parent : page;
}

void placeScroll(TQuorTableScroll *bar, QWidget *list)
{
    QWidget *host = bar ? bar->parentWidget() : nullptr;
    if (!list || !host || !(host == list || host->isAncestorOf(list)))
        return;
    const QPoint at = list->mapTo(host, QPoint(list->width() - TQuorTableScroll::kBarWidth, 0));
    bar->setGeometry(at.x(), at.y(), TQuorTableScroll::kBarWidth, list->height());
    bar->raise();
}

} // namespace ListPage
