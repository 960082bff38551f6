#include "views/syncpage/RenameSheet.h"

#include "design/ButtonTint.h"
#include "utilities/IsolatedName.h"
#include "views/kit/LiteralText.h"
#include "views/kit/OneLineField.h"
#include "views/kit/PanelTexts.h"
#include "views/kit/ReturnShortcut.h"
#include "views/kit/SheetWidth.h"
#include "views/kit/StyledLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tw {

namespace {

// Blank: nothing but spaces and tabs.
bool isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); });
}

} // namespace

QString RenameSheet::titleText(const QString &name)
{
    return QStringLiteral("Rename \u201c") + isolatedName(name) + QStringLiteral("\u201d");
}

RenameSheet::RenameSheet(const QString &name, bool isThisMac, QWidget *parent)
    : QDialog(parent)
    , m_field(new QLineEdit(name))
    , m_save(new QPushButton(QStringLiteral("Save")))
{
    setObjectName(QStringLiteral("renameSheet"));
    setWindowTitle(literalWindowTitle(titleText(name)));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setSheetWidth(*this, 420);
    QLabel *title = styledLabel(titleText(name), TextRole::Title2);
    title->setObjectName(QStringLiteral("title"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    QLabel *caption = styledLabel(isThisMac ? ownCaption : otherCaption, TextRole::Caption, TextTone::Secondary);
    caption->setObjectName(QStringLiteral("caption"));
    m_field->setObjectName(QStringLiteral("name"));
    keepOnOneLine(*m_field);
    m_field->setPlaceholderText(QStringLiteral("Name"));
    auto *cancel = new QPushButton(texts::cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setDefault(true);
    bindReturnKey(*this, *m_save);
    TintedButtonPainter::apply(*m_save, ButtonTint::Prominent);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_save);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    column->addWidget(title);
    column->addWidget(caption);
    column->addWidget(m_field);
    column->addLayout(buttons);
    connect(m_field, &QLineEdit::textChanged, this, &RenameSheet::updateSave);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, [this] {
        const QString text = m_field->text();
        accept();
        emit saved(text);
    });
    updateSave();
}

void RenameSheet::updateSave()
{
    m_save->setEnabled(!isBlank(m_field->text()));
}

} // namespace tw
