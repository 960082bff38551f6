#pragma once

#include <QAbstractButton>

namespace tw {

// A button drawn as its symbol and its text alone, as borderless and link
// buttons look: the symbol as high as a line of its text, no bezel and no
// margins beyond a hair for the focus ring,
// and no least width, so it lines up with the text beside it and a row of
// them is as evenly spaced as its layout says (a flat push button keeps its
// bezel's margins and a least width of its own). The text is drawn in the
// palette's button text colour, which DerivedForeground sets; pressed, it
// dims.
class BorderlessButton : public QAbstractButton
{
    Q_OBJECT

public:
    static constexpr int margin = 1;
    static constexpr int iconSpacing = 4;

    explicit BorderlessButton(const QString &text = QString(), QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool hasIcon() const;
    int symbolSide() const;
    QSize sizeFor(const QString &shown) const;
};

} // namespace tw
