#pragma once

#include <QAccessible>
#include <QList>
#include <QPointer>
#include <QVariant>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

// Stands in for a screen reader inside the test: while it lives,
// QAccessible::isActive() is true and every accessibility event is kept.
// The offscreen platform has no bridge to a bus, so the platform's own
// switch is the only way in.
class AccessibilityListener {
public:
    struct Event {
        QAccessible::Event type;
        QPointer<QObject> object;
        int child = -1;
        QAccessibleTableModelChangeEvent::ModelChangeType change = {};
        int firstRow = -1;
        int lastRow = -1;
        QVariant value;
    };

    AccessibilityListener()
    {
        s_current = this;
        m_previous = QAccessible::installUpdateHandler(&keep);
        platform()->setActive(true);
    }
    ~AccessibilityListener()
    {
        platform()->setActive(false);
        QAccessible::installUpdateHandler(m_previous);
        s_current = nullptr;
    }
    AccessibilityListener(const AccessibilityListener &) = delete;
    AccessibilityListener &operator=(const AccessibilityListener &) = delete;

    QList<Event> events;

    QList<Event> eventsOf(QObject *object, QAccessible::Event type) const
    {
        QList<Event> found;
        for (const Event &e : events) {
            if (e.object == object && e.type == type)
                found << e;
        }
        return found;
    }

private:
    static QPlatformAccessibility *platform()
    {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }
    static void keep(QAccessibleEvent *event)
    {
        Event e{event->type(), event->object(), event->child(), {}, -1, -1, {}};
        if (event->type() == QAccessible::TableModelChanged) {
            const auto *change = static_cast<QAccessibleTableModelChangeEvent *>(event);
            e.change = change->modelChangeType();
            e.firstRow = change->firstRow();
            e.lastRow = change->lastRow();
        } else if (event->type() == QAccessible::ValueChanged) {
            e.value = static_cast<QAccessibleValueChangeEvent *>(event)->value();
        }
        s_current->events << e;
    }

    static inline AccessibilityListener *s_current = nullptr;
    QAccessible::UpdateHandler m_previous = nullptr;
};
