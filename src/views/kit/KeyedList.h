#pragma once

#include <QHash>
#include <QLayout>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

namespace tw {

// The untyped part of KeyedList.
class KeyedListBase : public QObject
{
    Q_OBJECT

public:
    // The list is the layout's only content from now on.
    explicit KeyedListBase(QLayout *layout);

    // The IDs shown now, in order.
    const QStringList &ids() const { return m_ids; }
    // Whether a new order waits for a child's menu or dialog to close.
    bool isWaiting() const { return m_waiting.has_value(); }
    // A visible menu or dialog of one of the children (a window whose parent
    // chain reaches a child), if any.
    QWidget *openOverlay() const;

protected:
    // Answers whether the children now follow `ids`.
    bool applyIDs(QStringList ids);
    QWidget *widgetFor(const QString &id) const { return m_children.value(id); }
    virtual QWidget *makeChild(const QString &id) = 0;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuild(const QStringList &ids);
    void waitBehind(QWidget *overlay);
    void overlayClosed();
    void applyWaiting();

    QLayout *m_layout;
    QStringList m_ids;
    QHash<QString, QPointer<QWidget>> m_children;
    std::optional<QStringList> m_waiting;
    QPointer<QWidget> m_overlay;
};

// The one way pages keep a list of child widgets (cards, chips, rows): one
// child per ID, in the order of the IDs, made by `make` the first time an ID
// appears. Call setIDs() on every refresh, then refresh each child in place.
//
// The children are rebuilt only when the ordered IDs change, and then a
// child whose ID stays is the same widget (same pointer, its edit's text and
// focus kept); only new IDs get new widgets and gone ones are deleted. While
// a menu or dialog of a child is open, a change waits and is applied once it
// closes, so the widget the menu acts on is still there when its action
// runs. Repeated IDs count once. The buttons a child holds when made take
// no double-click's second press unless they took its first
// (AimedClickGuard): a row that moved under the pointer is not acted on.
template <typename Child>
class KeyedList : public KeyedListBase
{
public:
    using Make = std::function<Child *(const QString &id)>;

    KeyedList(QLayout *layout, Make make) : KeyedListBase(layout), m_make(std::move(make)) {}

    // Answers whether the children follow `ids` now (false: waiting).
    bool setIDs(QStringList ids) { return applyIDs(std::move(ids)); }

    Child *child(const QString &id) const { return static_cast<Child *>(widgetFor(id)); }

    // In the order shown.
    QList<Child *> children() const
    {
        QList<Child *> shown;
        shown.reserve(ids().size());
        for (const QString &id : ids())
            shown.append(child(id));
        return shown;
    }

protected:
    QWidget *makeChild(const QString &id) override { return m_make(id); }

private:
    Make m_make;
};

} // namespace tw
