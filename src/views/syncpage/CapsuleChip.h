#pragma once

#include "app/SyncHealth.h"
#include "design/Symbol.h"

#include <QColor>
#include <QFont>
#include <QToolButton>
#include <optional>

namespace tw {

// A capsule with a small mark and a text, tinted in one colour: the per-Mac
// chips, the ignore-pattern chips and the "more" chip of the folder
// inspector. The capsule is filled with the colour, faintly; the text and
// the mark are drawn in the shade of it that reads on that fill in the
// appearance shown. A chip with a menu opens it on press and shows no
// indicator; one without is only a face (no focus, no press). Its text is
// drawn on one line and cut with "…" in the middle where the chip is
// narrower than it; fullText is the face's text, shownText what is drawn,
// in textRoom pixels of the chip's font (the face's).
class CapsuleChip : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QString fullText READ fullText)
    Q_PROPERTY(QString shownText READ shownText)
    Q_PROPERTY(int textRoom READ textRoom)

public:
    struct Face
    {
        // None: no mark; a health: its bubble.
        std::optional<Symbol> symbol = {};
        std::optional<SyncHealth> health = {};
        int markSize = 11;
        QString text;
        QFont font;
        // An invalid colour: the secondary text's.
        QColor color;
        double fillOpacity = 0.15;
        bool struckOut = false;
        bool operator==(const Face &) const = default;
    };

    explicit CapsuleChip(QWidget *parent = nullptr);

    const Face &face() const { return m_face; }
    const QString &fullText() const { return m_face.text; }
    QString shownText() const;
    int textRoom() const;
    void setFace(Face face);
    // A face alone unless it has a menu or is clickable.
    void setInteractive(bool interactive);

    QSize sizeHint() const override;
    // Narrower when the line is: the text then ends in "…".
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int textLeft() const;

    Face m_face;
};

} // namespace tw
