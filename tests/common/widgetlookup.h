#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <type_traits>

// The child widget of a window by object name, as tests reach controls the way a
// user sees them. A missing child is a broken test set-up, never a result.
template<typename T, typename Window>
T *child(const Window &window, const char *name)
{
    const QObject *parent = nullptr;
    if constexpr (std::is_pointer_v<Window>)
        parent = window;
    else if constexpr (requires { window.get(); })
        parent = window.get();
    else
        parent = &window;
    T *found = parent->template findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child widget named %s", name);
    return found;
}
