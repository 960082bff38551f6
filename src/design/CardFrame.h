#pragma once

#include <QWidget>

namespace tw {

// The card every page groups its content in: the content padded on all sides
// on a rounded, filled and hairline-stroked rectangle.
class CardFrame : public QWidget
{
    Q_OBJECT

public:
    static constexpr int padding = 14;
    static constexpr qreal cornerRadius = 12;
    static constexpr qreal strokeWidth = 1;

    // Takes ownership of the content.
    explicit CardFrame(QWidget *content, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *m_content;
};

// Pages write `inCard(widget)` where they place a widget as a card.
CardFrame *inCard(QWidget *content, QWidget *parent = nullptr);

} // namespace tw
