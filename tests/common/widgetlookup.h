#pragma once

#include <QObject>
#include <type_traits>

// The child widget of a window (an object, or a pointer to one) by object name, as tests reach
// controls the way a user sees them. A missing child is a broken test set-up, never a result.
template<typename T, typename Window>
T *child(const Window &window, const char *name)
{
    const QObject *parent = nullptr;
    if constexpr (std::is_base_of_v<QObject, Window>)
        parent = &window;
    else
        parent = &*window;
    T *found = parent->template findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child widget named %s", name);
    return found;
}
