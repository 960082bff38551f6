// Turning one long-poll answer of Syncthing's event stream into events.

#include "engine/syncthing/SyncthingEngine.h"

#include "QtPrinters.h"

#include <QVariant>
#include <gtest/gtest.h>

namespace tw {
namespace {

// Each event as its ID, type and present fields; events joined by " | ".
QString parsed(const char *body)
{
    QStringList events;
    for (const SyncEvent &event : SyncthingEngine::parseEvents(QByteArray(body))) {
        QStringList parts{QString::number(event.id), event.type};
        const auto add = [&parts](const char *name, const auto &value) {
            if (value)
                parts.append(QLatin1String(name) + u'=' + QVariant::fromValue(*value).toString());
        };
        add("folder", event.folder);
        add("device", event.device);
        add("completion", event.completion);
        add("needBytes", event.needBytes);
        add("takesPart", event.takesPart);
        add("indexSequence", event.indexSequence);
        if (event.toState)
            parts.append(QStringLiteral("to=") + toRawValue(*event.toState) + u'/' + event.toStateWord);
        if (event.summary)
            parts.append(QStringLiteral("summary=%1/%2/%3/%4/%5").arg(toRawValue(event.summary->state)).arg(event.summary->needBytes).arg(event.summary->error, event.summary->stateWord).arg(event.summary->needItems));
        if (event.undecodable)
            parts.append(QStringLiteral("undecodable"));
        add("item", event.item);
        add("itemType", event.itemType);
        add("action", event.action);
        add("connected", event.connected);
        if (event.remoteFiles)
            parts.append(QStringLiteral("files=") + event.remoteFiles->join(u','));
        events.append(parts.join(u' '));
    }
    return events.join(QStringLiteral(" | "));
}

TEST(SyncthingEngineEvents, ParseTable)
{
    const std::pair<const char *, const char *> cases[] = {
        // In order, unknown types kept; an item's type comes from the payload.
        {R"([{"id": 21, "type": "StateChanged", "data": {"folder": "f", "from": "idle", "to": "sync-preparing"}},
             {"id": 23, "type": "ItemStarted", "data": {"item": "a/b.txt", "type": "file", "action": "update"}},
             {"id": 3, "type": "SomethingNew"}])",
         "21 StateChanged folder=f to=syncing/sync-preparing | 23 ItemStarted item=a/b.txt itemType=file action=update | 3 SomethingNew"},
        // The events the live state follows are read strictly: a missing or
        // mistyped field makes the event undecodable, never a default.
        {R"([{"id":1,"type":"FolderSummary","data":{"folder":"f","summary":{"state":"stopped","needBytes":7,"needFiles":3,"error":"gone"}}}])",
         "1 FolderSummary folder=f summary=error/7/gone/stopped/3"},
        {R"([{"id":1,"type":"FolderSummary","data":{"folder":"f","summary":{"needBytes":"7"}}}])",
         "1 FolderSummary folder=f undecodable"},
        {R"([{"id":2,"type":"FolderCompletion","data":{"folder":"f","device":"D","completion":99.5,"needBytes":12}}])",
         "2 FolderCompletion folder=f device=D completion=99.5 needBytes=12"},
        // Without a remote state whether the device takes part is unknown,
        // and what was known of it stays.
        {R"([{"id":2,"type":"FolderCompletion","data":{"folder":"f","device":"D","completion":9,"needBytes":1,"remoteState":"valid","sequence":12}}])",
         "2 FolderCompletion folder=f device=D completion=9 needBytes=1 takesPart=true indexSequence=12"},
        {R"([{"id":2,"type":"FolderCompletion","data":{"folder":"f","device":"D","completion":9,"needBytes":1,"remoteState":"notSharing"}}])",
         "2 FolderCompletion folder=f device=D completion=9 needBytes=1 takesPart=false"},
        {R"([{"id":2,"type":"FolderCompletion","data":{"folder":"f","device":"D","completion":99.5,"needBytes":1.5}}])",
         "2 FolderCompletion folder=f device=D completion=99.5 undecodable"},
        {R"([{"id":4,"type":"StateChanged","data":{"folder":"f","to":"idle"}}])", "4 StateChanged folder=f undecodable"},
        // Syncthing names the device of a connection event "id", of a pause
        // "device", and the folder of a pause "id".
        {R"([{"id":7,"type":"DeviceDisconnected","data":{"id":"C","error":"EOF"}}])", "7 DeviceDisconnected device=C connected=false"},
        {R"([{"id":8,"type":"DeviceConnected","data":{"id":12,"device":"D"}}])", "8 DeviceConnected undecodable connected=true"},
        {R"([{"id":9,"type":"DevicePaused","data":{"device":"E"}}])", "9 DevicePaused device=E"},
        {R"([{"id":9,"type":"FolderResumed","data":{"id":"g","label":""}}])", "9 FolderResumed folder=g"},
        {R"([{"id":9,"type":"ConfigSaved","data":"text"}])", "9 ConfigSaved undecodable"},
        // Other events never read "id" as a device, and are read leniently.
        {R"([{"id":10,"type":"DeviceDiscovered","data":{"device":"E","id":"F"}}])", "10 DeviceDiscovered device=E"},
        {R"([{"id":7.5,"type":"X"}])", "0 X"},
        {R"([{"id":9007199254740993,"type":"X","data":"text"}])", "9007199254740993 X"},
        {R"([{"id":2,"type":"X","data":{"folder":5}}])", "2 X"},
        // The files a remote device pulls; another event's "state" is not such a list.
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","state":{"b.txt":3,"a/c.bin":1}}}])",
         "1 RemoteDownloadProgress device=A files=a/c.bin,b.txt"},
        {R"([{"id":1,"type":"DownloadProgress","data":{"state":{"a":1}}}])", "1 DownloadProgress"},
    };
    for (const auto &[body, expected] : cases)
        EXPECT_EQ(parsed(body), QString::fromUtf8(expected)) << body;
    // An answer that is no list of events fails the poll: its events are lost.
    for (const char *body : {"not json", R"([{"id": 1}, "text"])"})
        EXPECT_THROW(SyncthingEngine::parseEvents(QByteArray(body)), SyncEngineError) << body;
}

} // namespace
} // namespace tw
