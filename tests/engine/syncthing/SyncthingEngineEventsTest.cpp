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
        add("to", event.stateTo);
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
        // Answers that yield no events at all.
        {"not json", ""},
        {R"([{"id": 1}, "text"])", ""},
        // In order, unknown types kept; an item's type comes from the payload.
        {R"([{"id": 21, "type": "StateChanged", "data": {"folder": "f", "from": "idle", "to": "syncing"}},
             {"id": 23, "type": "ItemStarted", "data": {"item": "a/b.txt", "type": "file", "action": "update"}},
             {"id": 3, "type": "SomethingNew"}])",
         "21 StateChanged folder=f to=syncing | 23 ItemStarted item=a/b.txt itemType=file action=update | 3 SomethingNew"},
        // Syncthing's own connection events, with the device as "id", are read in the
        // real-instance test; "device" serves when "id" is missing or not text.
        {R"([{"id":7,"type":"DeviceDisconnected","data":{"device":"C"}}])", "7 DeviceDisconnected device=C connected=false"},
        {R"([{"id":8,"type":"DeviceConnected","data":{"id":12,"device":"D"}}])", "8 DeviceConnected device=D connected=true"},
        // Other events never read "id" as a device.
        {R"([{"id":10,"type":"DeviceDiscovered","data":{"device":"E","id":"F"}}])", "10 DeviceDiscovered device=E"},
        // Lenient fields: a value of another type reads as absent.
        {R"([{"id":7.5,"type":"X"}])", "0 X"},
        {R"([{"id":9007199254740993,"type":"X","data":"text"}])", "9007199254740993 X"},
        {R"([{"id":2,"type":"X","data":{"folder":5,"completion":"100","needBytes":"1"}}])", "2 X"},
        {R"([{"id":3,"type":"X","data":{"folder":"","completion":99.5,"needBytes":1.9}}])",
         "3 X folder= completion=99.5 needBytes=1"},
        // The files a remote device pulls; another event's "state" is not such a list.
        {R"([{"id":1,"type":"RemoteDownloadProgress","data":{"device":"A","state":{"b.txt":3,"a/c.bin":1}}}])",
         "1 RemoteDownloadProgress device=A files=a/c.bin,b.txt"},
        {R"([{"id":1,"type":"DownloadProgress","data":{"state":{"a":1}}}])", "1 DownloadProgress"},
    };
    for (const auto &[body, expected] : cases)
        EXPECT_EQ(parsed(body), QString::fromUtf8(expected)) << body;
}

} // namespace
} // namespace tw
