#pragma once

#include "design/FlowGeometry.h"

#include <QLayout>
#include <QList>
#include <optional>

namespace tw {

// A layout that lines its items up at their preferred sizes and wraps them,
// as tags and chips want. `spacing` is the gap within a line, `lineSpacing`
// the gap between lines.
class FlowLayout : public QLayout
{
    Q_OBJECT

public:
    FlowLayout(int spacing, int lineSpacing, QWidget *parent = nullptr);
    ~FlowLayout() override;

    int spacing() const override;
    void setSpacing(int spacing) override;
    int lineSpacing() const;
    void setLineSpacing(int lineSpacing);

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    // Each at its preferred size, but no wider than a line of that width.
    std::vector<QSize> visibleItemSizes(std::optional<int> lineWidth = std::nullopt) const;
    QList<QLayoutItem *> visibleItems() const;
    QSize withMargins(QSize size) const;

    QList<QLayoutItem *> m_items;
    FlowGeometry m_geometry;
};

} // namespace tw
