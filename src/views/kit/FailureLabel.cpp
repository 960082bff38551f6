#include "views/kit/FailureLabel.h"

#include "design/DerivedForeground.h"
#include "design/Theme.h"
#include "views/kit/StyledLabel.h"

#include <QLabel>

namespace tw {

QLabel *failureLabel(const QString &objectName)
{
    QLabel *label = styledLabel(QString(), TextRole::Callout);
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tintText(*label, Theme::danger());
    label->hide();
    return label;
}

void showFailure(QLabel &label, const std::optional<QString> &failure)
{
    label.setText(failure.value_or(QString()));
    label.setVisible(failure.has_value());
}

} // namespace tw
