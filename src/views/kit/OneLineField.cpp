#include "views/kit/OneLineField.h"

#include "design/OneLineText.h"

#include <QLineEdit>
#include <QValidator>

namespace tw {
namespace {

class OneLineValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &position) const override
    {
        // Blanks and line breaks alone are no name and are left as typed:
        // the new-sync sheet takes pasted line breaks for "New Sync".
        if (input.trimmed().isEmpty())
            return Acceptable;
        // A pasted line of another system ends in both.
        for (qsizetype at = input.indexOf(QLatin1String("\r\n")); at >= 0;
             at = input.indexOf(QLatin1String("\r\n"), at)) {
            input.remove(at, 1);
            if (position > at)
                --position;
        }
        input = oneLineText(std::move(input));
        return Acceptable;
    }
};

} // namespace

void keepOnOneLine(QLineEdit &field)
{
    field.setValidator(new OneLineValidator(&field));
}

} // namespace tw
