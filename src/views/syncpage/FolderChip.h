#pragma once

#include <QWidget>

class QLabel;

namespace tw {

class AppEnvironment;
class ElidedLabel;
class FileIcon;
class StatusBubble;

// One folder of a sync on the sync's page: its icon, label, size and state
// on this Mac. It only shows; the page owns the selection and acts on
// clicked().
class FolderChip : public QWidget
{
    Q_OBJECT

public:
    FolderChip(AppEnvironment &env, QString projectID, QString folderID, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    // Looks the folder up again and updates what changed.
    void refresh();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    AppEnvironment &m_env;
    QString m_projectID;
    QString m_folderID;
    bool m_selected = false;
    FileIcon *m_icon;
    ElidedLabel *m_label;
    StatusBubble *m_bubble;
    ElidedLabel *m_detail;
};

} // namespace tw
