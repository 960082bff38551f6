#pragma once

#include "cluster/NodeSetupCommand.h"

#include <QDialog>
#include <QMap>
#include <optional>

class QLabel;
class QLineEdit;
class QToolButton;

namespace tw {

class CodeBlockText;

// The guide that turns a Synology NAS into the team's always-on node: the
// two preparations on the NAS, a form for its address, SSH port, user and
// shared folder, and the command built from them to paste into a terminal.
// It stores nothing and calls no controller: its only effects are the
// clipboard, opening the installer script in the browser, and closing.
class NasSetupGuideView : public QDialog
{
    Q_OBJECT

public:
    static constexpr int width = 620;
    static constexpr int height = 720;

    explicit NasSetupGuideView(QWidget *parent = nullptr);

    // Address and user hold more than spaces and tabs.
    bool formFilledIn() const;
    // The command for the form as it is now; none while the form is not
    // filled in, holds a refused value, or the build names no installer.
    std::optional<QString> generatedCommand() const;

private:
    QWidget *header();
    QWidget *body();
    QWidget *step(int number, const QString &title, const QString &markdown);
    QWidget *stepView(int number, const QString &title, QWidget *content);
    QWidget *detailsStep();
    QWidget *form();
    QWidget *codeBlock();
    QWidget *terminalPreview();
    QWidget *footer();
    NodeSetupCommand::Fields typed() const;
    void refresh();
    void copyCommand();
    void showCopied();

    QLineEdit *m_address = nullptr;
    QLineEdit *m_port = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_share = nullptr;
    QMap<NodeSetupCommand::Field, QLabel *> m_fieldErrors;
    QLabel *m_hint = nullptr;
    QLabel *m_unavailable = nullptr;
    QWidget *m_codeBlock = nullptr;
    CodeBlockText *m_commandText = nullptr;
    QToolButton *m_copyButton = nullptr;
    QLabel *m_pasteNote = nullptr;
    QToolButton *m_previewToggle = nullptr;
    QWidget *m_preview = nullptr;
    QLabel *m_installingLine = nullptr;
    bool m_commandCopied = false;
};

} // namespace tw
