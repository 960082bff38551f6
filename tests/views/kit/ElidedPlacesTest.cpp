// One-line texts in the places the screens give them: what each label
// draws, whole where the room holds it, ending in "…" within its room where
// it does not.

#include "cluster/NasNode.h"
#include "design/ElidedLabel.h"
#include "views/settings/TeamSettingsView.h"
#include "views/syncpage/DeviceCard.h"
#include "views/syncpage/DeviceInspector.h"
#include "views/syncpage/FolderChip.h"

#include "SaveShot.h"
#include "SyncthingInstance.h"
#include "../support/SyncPageRig.h"

#include <QFontMetricsF>
#include <QLabel>
#include <functional>

namespace tw {
namespace {

const QString kLongFolder = QStringLiteral("Rushes from the camera cards, waiting for the grade");
// A node's address as long as a host name in a company's network makes it;
// loopback, like every address of the tests.
const QString kLongAddress = QStringLiteral("http://[0000:0000:0000:0000:0000:0000:0000:0001]:48384");

class ElidedPlacesTest : public SyncPageRig
{
protected:
    // A sync of its own with these folders (the first one's ID answered),
    // this Mac, Bob on a relay with traffic coming in, and the node "Team
    // NAS".
    QString syncWith(const QStringList &labels)
    {
        syncID = QStringLiteral("S%1").arg(++m_syncs);
        nodeName = QStringLiteral("Team NAS");
        QList<ProjectFolder> folders;
        for (const QString &label : labels) {
            const QString id = syncID + QStringLiteral("-f%1").arg(folders.size());
            ProjectFolder made = folder(id, id + QStringLiteral("-st"));
            made.label = label;
            folders.append(made);
        }
        makeSync(folders, MemberRole::Editor, true);
        DeviceConnection relay = link(kPeer, QStringLiteral("relay-client"));
        relay.inBytesPerSecond = 2'000'000;
        engine.state.connections = {relay};
        load();
        return folders.front().id;
    }

    // The Team tab with the node registered under that name and address.
    std::unique_ptr<QWidget> teamTab(const QString &name, const QString &address)
    {
        SyncthingInstance::writeFile(dir.filePath("nasnodes.json"),
                                     NasNode::listToFile({{address, kNodeDeviceID, name}}));
        restartEnvironment();
        return std::make_unique<TeamSettingsView>(app());
    }

private:
    int m_syncs = 0;
};

struct Row
{
    const char *place;
    QSize size;
    std::function<std::unique_ptr<QWidget>()> build;
    const char *label;
    // What the label draws; none: its text cut with "…".
    std::optional<QString> drawn;
    // Cut only where its row has no room left: the row's last part reaches
    // its end.
    bool fillsItsRow = false;
};

TEST_F(ElidedPlacesTest, ShortNamesAreDrawnWholeAndLongTextsEndInAnEllipsisWithinTheirRoom)
{
    const auto card = [this](QStringList folders, QString deviceID) {
        return [this, folders, deviceID]() -> std::unique_ptr<QWidget> {
            syncWith(folders);
            return std::make_unique<DeviceCard>(app(), syncID, deviceID);
        };
    };
    const auto chip = [this](QString label) {
        return [this, label]() -> std::unique_ptr<QWidget> {
            const QString folderID = syncWith({label});
            return std::make_unique<FolderChip>(app(), syncID, folderID);
        };
    };
    const auto inspector = [this]() -> std::unique_ptr<QWidget> {
        syncWith({QStringLiteral("Docs")});
        return std::make_unique<DeviceInspector>(app(), syncID, kPeer);
    };
    const QList<Row> rows = {
        {"the Team tab's node, on a row of its own", {460, 700},
         [this] { return teamTab(QStringLiteral("Attic"), nodeURL()); }, "nodeName", QStringLiteral("Attic")},
        {"the Team tab's node of a longer name", {460, 700},
         [this] { return teamTab(QStringLiteral("Team NAS"), nodeURL()); }, "nodeName", QStringLiteral("Team NAS")},
        {"a Mac card's one folder", {320, 110}, card({QStringLiteral("ViewerFolder")}, kPeer), "folderLabel",
         QStringLiteral("ViewerFolder")},
        {"a short folder beside a long one on a Mac card", {320, 110},
         card({kLongFolder, QStringLiteral("Footage")}, kPeer), "folderLabel:Footage", QStringLiteral("Footage")},
        {"a Mac card's folder with room to spare", {420, 110}, card({QStringLiteral("Film")}, kPeer), "folderLabel",
         QStringLiteral("Film")},
        {"a long folder beside a short one on a wide Mac card", {360, 110},
         card({kLongFolder, QStringLiteral("Footage")}, kPeer),
         "folderLabel:Rushes from the camera cards, waiting for the grade", std::nullopt, true},
        {"a folder's chip", {240, 70}, chip(QStringLiteral("Film")), "label", QStringLiteral("Film")},
        {"the node's Mac card", {320, 110}, card({QStringLiteral("Docs")}, kNode), "name", QStringLiteral("Team NAS")},
        {"a long node address on the Team tab", {360, 700}, [this] { return teamTab(QStringLiteral("Attic"), kLongAddress); },
         "nodeAddress", std::nullopt},
        {"a narrow Mac card's status line", {150, 110}, card({QStringLiteral("Docs")}, kPeer), "status", std::nullopt},
        {"a narrow Mac inspector's connection line", {200, 300}, inspector, "line", std::nullopt},
        {"a narrow folder chip's detail line", {80, 70}, chip(QStringLiteral("Film")), "detail", std::nullopt},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.place);
        std::unique_ptr<QWidget> widget = row.build();
        widget->resize(row.size);
        widget->show();
        settleLayouts();
        QLabel *label = nullptr;
        const QString wanted = QString::fromLatin1(row.label);
        for (QLabel *candidate : widget->findChildren<QLabel *>())
            if (candidate->objectName() == wanted.section(':', 0, 0)
                && (!wanted.contains(':') || static_cast<ElidedLabel *>(candidate)->fullText() == wanted.section(':', 1)))
                label = candidate;
        ASSERT_NE(label, nullptr) << row.label;
        if (row.drawn) {
            EXPECT_EQ(label->text(), *row.drawn);
            continue;
        }
        EXPECT_TRUE(label->text().contains(QChar(0x2026)))
            << label->text().toStdString();
        if (row.fillsItsRow) {
            const QWidget &line = *label->parentWidget()->parentWidget();
            int end = 0;
            for (const QWidget *part : line.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                end = std::max(end, part->geometry().right() + 1);
            EXPECT_GE(end, line.width() - 2);
        }
        EXPECT_LE(QFontMetricsF(label->font()).horizontalAdvance(label->text()), label->contentsRect().width() + 0.5)
            << label->text().toStdString();
    }
}

} // namespace
} // namespace tw
