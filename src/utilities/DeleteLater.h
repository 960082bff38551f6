#pragma once

#include <QObject>

namespace tw {

// Deleter of smart pointers to QObjects: the object goes through the event
// loop, so the last owner may let go of it inside one of its own signals.
struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

} // namespace tw
