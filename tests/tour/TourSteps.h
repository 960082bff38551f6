#pragma once

#include "SaveShot.h"
#include "ScreenChecks.h"
#include "TabWalk.h"

#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <algorithm>
#include <QMenu>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

namespace tw {

// Counts the keys pressed anywhere: a step without one was made by the mouse
// and the program alone.
class KeyCount : public QObject
{
public:
    int keys = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        keys += event->type() == QEvent::KeyPress;
        return false;
    }
};

// The tour's bookkeeping: numbered steps, each ending in a picture of the
// screen it reached and its time from action to painted, and the failed
// expectations.
class Tour
{
public:
    // Pictures are kept as "<prefix>-NN-<step>.png".
    explicit Tour(QString prefix = QStringLiteral("tour")) : m_prefix(std::move(prefix)) {}

    // Runs the step, which answers the widget showing its screen (none for
    // a step that ends the application), and keeps that widget's picture.
    void step(const QString &name, const std::function<QWidget *()> &action)
    {
        const QString shot = QStringLiteral("%1-%2-%3").arg(m_prefix).arg(++m_count, 2, 10, QLatin1Char('0')).arg(name);
        m_current = name;
        m_shot = shot;
        QElapsedTimer timer;
        timer.start();
        if (!m_keyCount) {
            m_keyCount = std::make_unique<KeyCount>();
            qApp->installEventFilter(m_keyCount.get());
        }
        const int keys = m_keyCount->keys;
        QWidget *screen = action();
        if (screen && m_keyCount->keys == keys)
            if (const std::optional<QString> ring = tabwalk::ringShown())
                failUnlessAllowed(*ring);
        if (screen) {
            const QImage picture = saveShot(*screen, shot);
            if (picture.isNull())
                fail(QStringLiteral("no picture"));
            else if (m_checked)
                check(*screen, picture);
            if (m_walking && !qobject_cast<QMenu *>(screen))
                walk(*screen->window());
        }
        std::printf("step %s: %lld ms\n", qPrintable(shot), static_cast<long long>(timer.elapsed()));
        std::fflush(stdout);
    }

    // From now on each step's screen is also checked as a person would look
    // at it: nothing cut or under the status bar, every text whole or
    // ending in "…", and readable.
    void checkScreens(bool checked) { m_checked = checked; }

    // From now on each step's window is also walked with Tab (`tabwalk`).
    void walkTabs(bool walking) { m_walking = walking; }

    // A step picturing the focus marks the walks since the last such step
    // saw, one of each kind of stop (its corner where it is large), as a
    // screen of `like`'s size; the marks are then forgotten.
    void focusMarks(const QString &name, const QWidget &like)
    {
        // A picture of pictures, each checked where it was seen.
        const bool checked = std::exchange(m_checked, false), walking = std::exchange(m_walking, false);
        QWidget sheet;
        sheet.setFixedSize(like.size());
        auto *grid = new QGridLayout(&sheet);
        const int columns = std::max(1, like.width() / 360);
        int at = 0;
        for (auto it = m_tiles.cbegin(); it != m_tiles.cend(); ++it, ++at) {
            grid->addWidget(new QLabel(it.key()), 2 * (at / columns), at % columns);
            grid->addWidget(new QLabel, 2 * (at / columns) + 1, at % columns);
            static_cast<QLabel *>(grid->itemAt(grid->count() - 1)->widget())
                ->setPixmap(QPixmap::fromImage(it.value().copy(it.value().rect() & QRect(0, 0, 340, 110))));
        }
        grid->setRowStretch(2 * (at / columns + 1), 1);
        step(name, [&] {
            expect(m_tiles.size() >= 8, "a mark of each kind of stop");
            sheet.show();
            return &sheet;
        });
        m_tiles.clear();
        m_checked = checked;
        m_walking = walking;
    }

    // Keeps the current step's picture of a widget that is gone by the time
    // the step ends, such as a menu running its own loop.
    void keep(QWidget &screen)
    {
        const QImage picture = saveShot(screen, m_shot);
        if (picture.isNull())
            fail(QStringLiteral("no picture"));
        else if (m_checked)
            check(screen, picture);
    }

    // Fails the step where a screen kept open while the appearance changed
    // draws otherwise than the same screen built anew in that appearance.
    void expectAsBuilt(const QImage &kept, const QImage &built, const QString &what)
    {
        for (const QString &fault : screenchecks::keptColourFaults(kept, built, what))
            failUnlessAllowed(fault);
    }

    // Answers the condition, noting a failure when it does not hold.
    bool expect(bool condition, const char *what)
    {
        if (!condition)
            fail(QString::fromUtf8(what));
        return condition;
    }

    // A fault of the screen checks that contains every fragment is told,
    // with its reason, but fails nothing: work under way elsewhere.
    void allow(QStringList fragments, const char *reason) { m_allowed.append({std::move(fragments), reason}); }

    void fail(const QString &what)
    {
        m_failures << m_current + QStringLiteral(": ") + what;
        std::printf("FAIL: %s: %s\n", qPrintable(m_current), qPrintable(what));
        std::fflush(stdout);
    }

    // 0 when every expectation held.
    int finish() const
    {
        std::printf("tour: %d steps, %lld failures\n", m_count, static_cast<long long>(m_failures.size()));
        std::fflush(stdout);
        return m_failures.isEmpty() ? 0 : 1;
    }

private:
    struct Allowed
    {
        QStringList fragments;
        const char *reason;
    };

    // A menu's rows, or a screen's widgets.
    void check(QWidget &screen, const QImage &picture)
    {
        const QStringList faults =
            qobject_cast<QMenu *>(&screen)
                ? screenchecks::menuFaults(*qobject_cast<QMenu *>(&screen), picture)
                : screenchecks::screenFaults(screen, picture, screen.findChild<QWidget *>(QStringLiteral("engineStatusBar")));
        for (const QString &fault : faults)
            failUnlessAllowed(fault);
    }

    void failUnlessAllowed(const QString &fault)
    {
        for (const Allowed &allowed : m_allowed)
            if (std::all_of(allowed.fragments.cbegin(), allowed.fragments.cend(),
                            [&](const QString &fragment) { return fault.contains(fragment); })) {
                std::printf("allowed: %s: %s (%s)\n", qPrintable(m_current), qPrintable(fault), allowed.reason);
                return;
            }
        fail(fault);
    }

    void walk(QWidget &window)
    {
        for (const QString &fault : tabwalk::walkFaults(window, m_tiles))
            failUnlessAllowed(fault);
    }

    std::unique_ptr<KeyCount> m_keyCount;
    QList<Allowed> m_allowed;
    QMap<QString, QImage> m_tiles;
    bool m_walking = false;
    QString m_prefix;
    int m_count = 0;
    QString m_current;
    QString m_shot;
    QStringList m_failures;
    bool m_checked = false;
};

} // namespace tw
