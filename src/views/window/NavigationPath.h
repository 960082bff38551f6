#pragma once

#include <QObject>
#include <QStringList>
#include <optional>

namespace tw {

// The main window's navigation path, shared by the pages that move along it:
// sync IDs, or the route "__incoming__". The window shows the page of its
// last element, the overview when it is empty.
class NavigationPath : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList ids READ ids WRITE setIDs NOTIFY changed)

public:
    static const QString incomingRoute;

    using QObject::QObject;

    const QStringList &ids() const { return m_ids; }
    void setIDs(QStringList ids);
    void push(const QString &id);
    // Back: drops the last element; nothing on an empty path.
    void pop();

    // The sync whose page is on top: the last element unless that is the
    // incoming route.
    std::optional<QString> currentProjectID() const;
    bool endsInIncoming() const { return !m_ids.isEmpty() && m_ids.last() == incomingRoute; }

signals:
    void changed();

private:
    QStringList m_ids;
};

} // namespace tw
