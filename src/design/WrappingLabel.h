#pragma once

#include <QLabel>

namespace tw {

// A label whose text wraps, and whose height follows the width it will
// get in any layout. A plain word-wrapped QLabel is asked its height for
// the layout's whole width but, aligned in a column or held to a maximum
// width, gets a narrower one (its size hint is a "pleasing" width, often a
// half or a quarter of the room), so its last lines are cut. This one
// prefers the width of its text on one line, up to its maximum width, and
// answers heights for widths no wider than that maximum. Plain text unless
// told otherwise.
class WrappingLabel : public QLabel
{
    Q_OBJECT

public:
    explicit WrappingLabel(const QString &text = QString(), QWidget *parent = nullptr);

    QSize sizeHint() const override;
    int heightForWidth(int width) const override;

private:
    int oneLineWidth() const;
};

} // namespace tw
