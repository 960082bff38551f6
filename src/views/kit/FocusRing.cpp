#include "views/kit/FocusRing.h"

#include "design/ContrastRatio.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabBar>

namespace tw {
namespace {

const char *const kInset = "focusRingInset";
const char *const kRadius = "focusRingRadius";

// Corners as soft as a button's where the widget names none.
constexpr qreal kDefaultRadius = 4;

// The current row across the whole width, as the row is drawn.
QRect currentRow(const QAbstractItemView &view)
{
    const QRect cell = view.visualRect(view.currentIndex());
    if (!cell.isValid())
        return {};
    const QPoint origin = view.viewport()->mapTo(&view, QPoint());
    return QRect(origin.x(), origin.y() + cell.top(), view.viewport()->width(), cell.height())
        .intersected(view.viewport()->geometry());
}

} // namespace

FocusRing::FocusRing(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void FocusRing::setShape(QWidget &widget, int inset, qreal radius)
{
    widget.setProperty(kInset, inset);
    widget.setProperty(kRadius, radius);
}

QColor FocusRing::colour(const QPalette &palette)
{
    // The grounds a ring lies on: the window, the views, and a button's face
    // as styles draw it, a shade either side of the palette's (a pressed or
    // checked one darker; Fusion's gradient and edge on a dark palette much
    // lighter).
    const QColor button = palette.color(QPalette::Button);
    QColor shade = palette.color(QPalette::Highlight);
    for (const QColor &ground : {button.darker(130), button.lighter(200), palette.color(QPalette::Window),
                                 palette.color(QPalette::Base), palette.color(QPalette::AlternateBase)})
        shade = readableShade(shade, ground, markContrast + 0.5);
    return shade;
}

QRect FocusRing::ringedArea(const QWidget &target)
{
    if (const auto *view = qobject_cast<const QAbstractItemView *>(&target)) {
        const QRect row = currentRow(*view);
        if (row.isValid())
            return row;
    }
    if (const auto *bar = qobject_cast<const QTabBar *>(&target); bar && bar->currentIndex() >= 0)
        return bar->tabRect(bar->currentIndex());
    const int inset = target.property(kInset).toInt();
    return target.rect().adjusted(inset, inset, -inset, -inset);
}

void FocusRing::follow(QWidget *target)
{
    if (target == m_target) {
        place();
        return;
    }
    watch(m_target, false);
    m_target = target;
    if (!target) {
        hide();
        setParent(nullptr);
        return;
    }
    setParent(target);
    watch(target, true);
    place();
}

void FocusRing::watch(QWidget *widget, bool on)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (!widget)
        return;
    if (!on) {
        widget->removeEventFilter(this);
        return;
    }
    widget->installEventFilter(this);
    const auto again = [this] { update(); };
    // The ring follows the current row or tab as it moves or scrolls.
    if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        if (view->selectionModel())
            m_connections << connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, again);
        for (QScrollBar *bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
            m_connections << connect(bar, &QScrollBar::valueChanged, this, again);
        if (view->model()) {
            m_connections << connect(view->model(), &QAbstractItemModel::layoutChanged, this, again);
            m_connections << connect(view->model(), &QAbstractItemModel::modelReset, this, again);
        }
    }
    if (auto *bar = qobject_cast<QTabBar *>(widget))
        m_connections << connect(bar, &QTabBar::currentChanged, this, again);
}

void FocusRing::place()
{
    if (!m_target)
        return;
    setGeometry(m_target->rect());
    raise();
    // Told it was hidden with the children of a part it has left since (the
    // focus handed on while that part hid), it would take show() as done.
    if (!isVisible() && !isHidden() && m_target->isVisible())
        hide();
    show();
    update();
}

void FocusRing::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Hidden along with the part it was moved out of, while its new target shows.
    if (m_target && m_target->isVisible() && parentWidget() == m_target)
        QMetaObject::invokeMethod(this, &FocusRing::place, Qt::QueuedConnection);
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::LayoutRequest:
        if (watched == m_target)
            place();
        break;
    case QEvent::ChildAdded:
        // A child made later would lie over the ring.
        if (watched == m_target)
            raise();
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::paintEvent(QPaintEvent *)
{
    if (!m_target)
        return;
    const QRect area = ringedArea(*m_target);
    if (area.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const QVariant named = m_target->property(kRadius);
    const qreal radius = named.isValid() ? named.toReal() : kDefaultRadius;
    const QPalette &shown = m_target->palette();
    // The ring, and inside it a line of the view's ground: on a filled
    // control (a prominent button, a tinted chip) that line stands out where
    // the ring's hue would not.
    const auto line = [&](qreal inset, qreal thickness, const QColor &colour) {
        const qreal middle = inset + thickness / 2;
        const QRectF along = QRectF(area).adjusted(middle, middle, -middle, -middle);
        const qreal corner = std::max(0.0, std::min({radius - inset, along.width() / 2, along.height() / 2}));
        painter.setPen(QPen(colour, thickness));
        painter.drawRoundedRect(along, corner, corner);
    };
    line(0, ringWidth, colour(shown));
    line(ringWidth, 1, shown.color(QPalette::Base));
}

} // namespace tw
