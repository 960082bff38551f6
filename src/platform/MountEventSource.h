#pragma once

#include <QObject>

namespace tw {

// Tells when volumes are mounted or unmounted: one signal per change of the
// mount table. The base class itself never signals; tests emit its signal to
// drive whoever listens. Main thread only.
class MountEventSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void mountsChanged();
};

} // namespace tw
