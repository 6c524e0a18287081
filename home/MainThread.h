#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <functional>

namespace MainThread {

// Runs change on the main thread, after everything posted before it from the same thread, unless
// context has been destroyed by then. Safe from any thread: the pointer's tracking is atomic and
// it is only followed on the main thread, so a vanished screen is never touched.
template <typename T> void post(const QPointer<T>& context, std::function<void()> change)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [context, change = std::move(change)] {
            if (context)
                change();
        },
        Qt::QueuedConnection);
}

} // namespace MainThread
