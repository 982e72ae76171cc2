#pragma once

#include <QPointer>
#include <QWidget>

// Lets a widget be removed while one of its own nested event loops runs (a
// drag in QDrag::exec, a modal menu or message box): removal then hides it and
// unparents it at once and deletes it after the loop has returned, so the code
// that follows the loop still runs on a live object. Outside such loops the
// widget is deleted at once.
class SafeRemoval
{
public:
    explicit SafeRemoval(QWidget *owner)
        : m_owner(owner)
    {
    }

    // Marks one nested loop of the owner for its lifetime.
    class LoopScope
    {
    public:
        explicit LoopScope(SafeRemoval &removal)
            : m_removal(removal)
        {
            ++m_removal.m_loops;
        }
        ~LoopScope()
        {
            if (--m_removal.m_loops == 0 && m_removal.m_pending)
                m_removal.m_owner->deleteLater();
        }
        LoopScope(const LoopScope &) = delete;
        LoopScope &operator=(const LoopScope &) = delete;

    private:
        SafeRemoval &m_removal;
    };

    // Deletes the owner now, or hides it now and deletes it once its last
    // nested loop has returned. Returns true when the owner is already gone.
    bool remove()
    {
        if (m_loops == 0) {
            delete m_owner;
            return true;
        }
        m_pending = true;
        m_owner->hide();
        m_owner->setParent(nullptr);
        return false;
    }

    // True once remove() was called: the owner is out of use.
    bool pending() const { return m_pending; }
    bool inLoop() const { return m_loops > 0; }

private:
    QWidget *m_owner;
    int m_loops = 0;
    bool m_pending = false;
};
