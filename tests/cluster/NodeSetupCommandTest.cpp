// The node set-up command: which typed values may enter it, its exact text,
// and what it does when a shell runs it, with stand-ins for ssh and xdg-open.

#include "cluster/NodeSetupCommand.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Field = NodeSetupCommand::Field;
using Fields = NodeSetupCommand::Fields;

const Fields kTyped{"192.168.1.50", "22", "u", "/volume1/My Share"};
const QUrl kInstaller("https://installer.test/tidewellmediasync-updates/install-on-synology.sh");

Fields with(Field field, const QString &value)
{
    Fields typed = kTyped;
    (field == Field::Address ? typed.address
     : field == Field::Port  ? typed.port
     : field == Field::User  ? typed.user
                             : typed.share) = value;
    return typed;
}

TEST(NodeSetupCommandTest, OnlyValuesThatPassThreeShellsAsTheyAreAreAccepted)
{
    struct Row
    {
        const char *name;
        Fields typed;
        QList<Field> refused;
    };
    const QList<Row> rows = {
        {"apostrophe in the address", with(Field::Address, "nas'x"), {Field::Address}},
        {"apostrophe in the port", with(Field::Port, "2'2"), {Field::Port}},
        {"apostrophe in the user", with(Field::User, "o'brien"), {Field::User}},
        {"apostrophe in the share", with(Field::Share, "/volume1/Bob's"), {Field::Share}},
        {"double quote in the share", with(Field::Share, "/volume1/\"x"), {Field::Share}},
        {"command substitution in the share", with(Field::Share, "/volume1/$(reboot)"), {Field::Share}},
        {"backtick in the share", with(Field::Share, "/volume1/`reboot`"), {Field::Share}},
        {"backslash in the share", with(Field::Share, "/volume1/a\\b"), {Field::Share}},
        {"line break in the user", with(Field::User, "u\nrm"), {Field::User}},
        {"line break in the share", with(Field::Share, "/volume1/a\nb"), {Field::Share}},
        {"line separator in the share", with(Field::Share, u"/volume1/a\u2028b"_qs), {Field::Share}},
        {"space in the user", with(Field::User, "u x"), {Field::User}},
        {"option as user", with(Field::User, "-oProxyCommand=x"), {Field::User}},
        {"option as address", with(Field::Address, "-oProxyCommand=x"), {Field::Address}},
        {"IPv6 address", with(Field::Address, "fe80::1"), {Field::Address}},
        {"address ending in a dot", with(Field::Address, "nas.local."), {Field::Address}},
        {"parent step", with(Field::Share, "/a/../b"), {Field::Share}},
        {"relative share", with(Field::Share, "volume1/x"), {Field::Share}},
        {"callback marker in the share", with(Field::Share, "/v/TIDEWELL_CALLBACK: key=x"), {Field::Share}},
        {"port zero", with(Field::Port, "0"), {Field::Port}},
        {"port too large", with(Field::Port, "65536"), {Field::Port}},
        {"port not a number", with(Field::Port, "ssh"), {Field::Port}},
        {"blank address and user", Fields{"  ", "22", "\t", "/v"}, {Field::Address, Field::User}},
        {"everything wrong", Fields{"a b", "-1", "-u", "x"}, {Field::Address, Field::Port, Field::User, Field::Share}},
        {"space in the share", with(Field::Share, "/volume1/Team Share"), {}},
        {"ampersand in the share", with(Field::Share, "/volume1/Film & TV"), {}},
        {"accent in the share", with(Field::Share, u"/volume1/M\u00e9dias"_qs), {}},
        {"host name", with(Field::Address, "diskstation-2.local"), {}},
        {"highest port", with(Field::Port, "65535"), {}},
    };
    for (const Row &row : rows) {
        const NodeSetupCommand::Validation result = NodeSetupCommand::validate(row.typed);
        EXPECT_EQ(result.refused, row.refused) << row.name;
        EXPECT_EQ(result.values.has_value(), row.refused.isEmpty()) << row.name;
    }
}

TEST(NodeSetupCommandTest, ValuesAreTrimmedAndEmptyOnesTakeTheirDefaults)
{
    EXPECT_EQ(NodeSetupCommand::validate({" \t192.168.1.50 ", " 022 ", "\tu ", "  /volume1/My Share "}).values,
              kTyped);
    EXPECT_EQ(NodeSetupCommand::validate({"nas", " ", "u", " \t "}).values,
              Fields({"nas", "22", "u", "/volume1/TidewellSync"}));
}

TEST(NodeSetupCommandTest, BuildGivesTheEighteenLines)
{
    const QString expected = QString::fromUtf8(R"~(( TW_HOST='192.168.1.50'; TW_PORT='22'; TW_USER='u'; TW_SHARE='/volume1/My Share'
  TW_LOG=$(mktemp "${TMPDIR:-/tmp}/tidewellmesh-node.XXXXXX")
  SHELL=/bin/sh script -q -c "ssh -t -p '$TW_PORT' '$TW_USER@$TW_HOST' \"curl -fsSL https://installer.test/tidewellmediasync-updates/install-on-synology.sh -o /tmp/tidewell-node.sh && sudo bash /tmp/tidewell-node.sh '$TW_SHARE'\"" "$TW_LOG"
  TW_CB=$(tr -d '\r' < "$TW_LOG" 2>/dev/null | grep -a 'TIDEWELL_CALLBACK:' | tail -1); rm -f "$TW_LOG"
  TW_KEY=$(printf '%s' "$TW_CB" | sed -n 's/.*[ ]key=\([^ ]*\).*/\1/p')
  TW_ADDR=$(printf 'http://%s:8384' "$TW_HOST" | sed 's|:|%3A|g; s|/|%2F|g')
  if [ -n "$TW_KEY" ]; then
    printf '\nDone — opening TidewellMesh to finish the connection...\n'
    xdg-open "tidewellsync://node-setup?addr=$TW_ADDR&key=$TW_KEY&name=Synology"
  else
    printf '\n----------------------------------------------------------\n'
    printf 'Automatic setup did not complete.\n\n'
    printf 'Open TidewellMesh, go to Settings > Team > "Connect manually\n'
    printf '(advanced)", and paste the Address and API key shown above.\n\n'
    printf 'If nothing was printed above, check the NAS address, the\n'
    printf 'SSH port and your password, then run this command again.\n'
    printf '%s\n' '----------------------------------------------------------'
  fi ))~");
    EXPECT_EQ(NodeSetupCommand::build(kTyped, kInstaller), expected);
}

TEST(NodeSetupCommandTest, TheInstallerURLNeedsAHost)
{
    NodeSetupCommand::overrideInstallerHost("installer.test");
    EXPECT_EQ(NodeSetupCommand::installerURL(), kInstaller);
    NodeSetupCommand::overrideInstallerHost("");
    EXPECT_EQ(NodeSetupCommand::installerURL(), std::nullopt);
    NodeSetupCommand::overrideInstallerHost(std::nullopt);
}

// A pasted command run by a shell, with ssh and xdg-open replaced by scripts
// that record their arguments; the real `script` records the session. The
// command runs without a network where the machine allows it.
class NodeSetupCommandRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Without privileges a network namespace needs a user namespace too.
        for (const QStringList &isolation : {QStringList{"-n"}, QStringList{"-r", "-n"}}) {
            if (QProcess::execute("unshare", isolation + QStringList{"true"}) == 0) {
                unshare = isolation;
                break;
            }
        }
        if (unshare.isEmpty())
            GTEST_SKIP() << "no network namespace can be made here";
        writeStub("ssh", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$STUB_LOG/ssh\"\n"
                         "printf '%b' \"$STUB_OUTPUT\"\n");
        writeStub("xdg-open", "printf '%s\\n' \"$@\" >> \"$STUB_LOG/xdg-open\"\n");
    }

    void writeStub(const QString &name, const QByteArray &body)
    {
        QFile file(stubs.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    }

    QProcessEnvironment environment(const QString &sshOutput) const
    {
        QProcessEnvironment env;
        env.insert("PATH", stubs.path() + ":/usr/bin:/bin");
        env.insert("TMPDIR", tmp.path());
        env.insert("HOME", tmp.path());
        env.insert("STUB_LOG", log.path());
        env.insert("STUB_OUTPUT", sshOutput);
        return env;
    }

    // Standard output of the script run by bash without a network.
    QString run(const QString &script, const QString &sshOutput) const
    {
        QProcess shell;
        shell.setStandardInputFile(QProcess::nullDevice());
        shell.setProcessEnvironment(environment(sshOutput));
        shell.start("unshare", unshare + QStringList{"bash", "-c", script});
        EXPECT_TRUE(shell.waitForFinished(60000));
        EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
        return QString::fromUtf8(shell.readAllStandardOutput());
    }

    QStringList recorded(const QString &name) const
    {
        QFile file(log.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QString command() const { return NodeSetupCommand::build(NodeSetupCommand::validate(kTyped).values.value(), kInstaller); }

    QStringList unshare;
    QTemporaryDir stubs;
    QTemporaryDir tmp;
    QTemporaryDir log;
};

TEST_F(NodeSetupCommandRun, TheLastCallbackLinesKeyOpensTheLinkAndTheLogIsRemoved)
{
    EXPECT_EQ(run("command -v ssh xdg-open", {}), stubs.filePath("ssh") + "\n" + stubs.filePath("xdg-open") + "\n");

    const QString output = run(command(), "Password:\\nTIDEWELL_CALLBACK: key=OLD more\\n"
                                          "▶ Applying conventions …\\nTIDEWELL_CALLBACK: node=1 key=ABC123\\r\\n");
    EXPECT_TRUE(output.contains(u"Done \u2014 opening TidewellMesh"_qs)) << output.toStdString();
    EXPECT_EQ(recorded("xdg-open"),
              QStringList("tidewellsync://node-setup?addr=http%3A%2F%2F192.168.1.50%3A8384&key=ABC123&name=Synology"));
    EXPECT_EQ(recorded("ssh"),
              QStringList({"-t", "-p", "22", "u@192.168.1.50",
                           "curl -fsSL " + kInstaller.toString() +
                               " -o /tmp/tidewell-node.sh && sudo bash /tmp/tidewell-node.sh '/volume1/My Share'"}));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(NodeSetupCommandRun, AKeyWithoutASpaceBeforeItPrintsTheBoxAndOpensNothing)
{
    const QString output = run(command(), "TIDEWELL_CALLBACK:key=ABC123\\n");
    const QString rule(58, u'-');
    EXPECT_TRUE(output.endsWith("\n" + rule + "\nAutomatic setup did not complete.\n\n"
                                "Open TidewellMesh, go to Settings > Team > \"Connect manually\n"
                                "(advanced)\", and paste the Address and API key shown above.\n\n"
                                "If nothing was printed above, check the NAS address, the\n"
                                "SSH port and your password, then run this command again.\n" + rule + "\n"))
        << output.toStdString();
    EXPECT_EQ(recorded("xdg-open"), QStringList());
    EXPECT_EQ(recorded("ssh").size(), 5);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

} // namespace
} // namespace tw
