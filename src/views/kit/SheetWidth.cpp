#include "views/kit/SheetWidth.h"

#include <QEvent>
#include <QLayout>
#include <QPointer>
#include <QWidget>

namespace tw {
namespace {

// Fits the sheet's height to its content whenever its layout is asked to
// follow a change, and when it is shown.
class HeightFollower : public QObject
{
public:
    explicit HeightFollower(QWidget &sheet) : QObject(&sheet), m_sheet(&sheet) { sheet.installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_sheet && (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show))
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit()
    {
        QLayout *layout = m_sheet ? m_sheet->layout() : nullptr;
        if (!layout)
            return;
        // The layout would see the request only after this filter.
        layout->activate();
        const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(m_sheet->width())
                                                       : layout->totalSizeHint().height();
        if (height != m_sheet->minimumHeight() || height != m_sheet->maximumHeight())
            m_sheet->setFixedHeight(height);
    }

    QPointer<QWidget> m_sheet;
};

} // namespace

void setSheetWidth(QWidget &sheet, int width)
{
    sheet.setFixedWidth(width);
    new HeightFollower(sheet);
}

} // namespace tw
