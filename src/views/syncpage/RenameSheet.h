#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tw {

// Renames a Mac: its name shown in a field, "Save" (the default button)
// refused while the name is blank. Emits the text as typed; the caller trims
// and applies it.
class RenameSheet : public QDialog
{
    Q_OBJECT

public:
    static inline const QString ownCaption = QStringLiteral("This is your Mac's name \u2014 your teammates will see it.");
    static inline const QString otherCaption = QStringLiteral("Changes how this Mac appears here on your screen.");
    static QString titleText(const QString &name);

    RenameSheet(const QString &name, bool isThisMac, QWidget *parent = nullptr);

    QLineEdit *field() const { return m_field; }
    QPushButton *saveButton() const { return m_save; }

signals:
    void saved(QString name);

private:
    void updateSave();

    QLineEdit *m_field;
    QPushButton *m_save;
};

} // namespace tw
