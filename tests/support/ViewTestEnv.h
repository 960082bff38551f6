#pragma once

#include "app/AppEnvironment.h"
#include "platform/MountEventSource.h"
#include "services/FeedbackService.h"
#include "utilities/UserDefaults.h"

#include "FakeHttpServer.h"
#include "FakeSyncEngine.h"
#include "ManualClock.h"
#include "MemoryKeychain.h"
#include "RecordingNotifier.h"

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace tw {

// Records the addresses the desktop would have opened.
class UrlCapture : public QObject
{
    Q_OBJECT
public:
    static inline const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"),
                                               QStringLiteral("mailto"), QStringLiteral("file")};
    UrlCapture();
    ~UrlCapture() override;

    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// What an always-on node answers NasNodeController: its status with the
// device ID to a request carrying the key (403 otherwise), empty lists and
// defaults to other reads, and 200 to every write.
FakeHttpServer::Handler fakeNodeAnswers(QString key, QString deviceID);

// The one fixture of the panel, sheet and settings view tests (offscreen,
// in tidewell_view_tests): the real AppEnvironment on the fake engine, whose
// picture is a running engine on loopback (NAT, relays and discovery off);
// a memory keychain, a recording notifier, a feedback service with a
// loopback endpoint that sends nothing (its queue never runs), a manual
// clock and a sleeper that returns at once; every address
// the desktop would open captured; and a fake always-on node on 127.0.0.1.
//
// Nothing runs by itself: no polling loop, sweep or event poller. Tests
// refresh the controllers they need and wait with waitUntil.
//
// The node answers as fakeNodeAnswers(kNodeKey, kNodeDeviceID) and records
// every write.
//
// A derived fixture that overrides SetUp() calls ViewTestEnv::SetUp() first.
class ViewTestEnv : public ::testing::Test
{
public:
    static inline const QString kNodeDeviceID =
        QStringLiteral("NODEAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG-HHHHHHH");
    static inline const QString kNodeKey = QStringLiteral("node-api-key");

protected:
    ViewTestEnv();
    ~ViewTestEnv() override;
    void SetUp() override;

    AppEnvironment &app() const { return *m_env; }
    // "http://127.0.0.1:<port>" of the fake node, no trailing slash.
    QString nodeURL() const { return node.baseURL().toString(); }
    // The node's requests other than reads, in arrival order.
    QList<FakeHttpServer::Request> nodeWrites() const;
    // Registers the fake node as this Mac's always-on node, as a successful
    // set-up does; answers configure()'s result.
    bool configureNode(const QString &name = QStringLiteral("NAS"));
    // Makes the folder "Work" in the test's folder and has the engine list
    // it as its only folder, under the ID "st" and the label given; answers
    // its path, or nothing when it could not be made.
    QString listWorkFolder(const QString &label = QString());
    // A new start of the application on what the last one left on disk
    // (the node list, the syncs, the user defaults); views made before it
    // must be gone.
    void restartEnvironment();

    QTemporaryDir dir;
    UserDefaults defaults;
    MemoryKeychain keychain;
    RecordingNotifier notifier;
    FeedbackService feedback;
    ManualClock clock;
    MountEventSource mounts;
    FakeSyncEngine engine;
    FakeHttpServer node;
    UrlCapture urls;

private:
    void makeEnvironment();

    std::unique_ptr<AppEnvironment> m_env;
};

} // namespace tw
