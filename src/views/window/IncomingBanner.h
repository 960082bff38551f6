#pragma once

#include <QAbstractButton>

namespace tw {

// The orange strip over the top of the window's pages telling that
// teammates want to share; clicking it opens the incoming requests.
class IncomingBanner : public QAbstractButton
{
    Q_OBJECT

public:
    // Follows the count: "<N> incoming — a teammate wants to share with you. Review".
    static const QString textAfterCount;
    // Its last word, shown whole however little room the banner has.
    static const QString reviewText;
    static QString textFor(int count);

    explicit IncomingBanner(QWidget *parent = nullptr);

    int count() const { return m_count; }
    // What the last paint drew: the sentence, cut where room lacks, and "Review".
    QString shownText() const { return m_shownText; }
    void setCount(int count);

    QSize sizeHint() const override;
    // The height of the pill and the room around it for a focus mark: what
    // a row the banner lies over must give it.
    int markedHeight() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int room() const;
    QString sentence() const;
    QRect pillRect() const;

    int m_count = 0;
    QString m_shownText;
};

} // namespace tw
