// brellin-cli as a process against a scripted instrument on loopback.
#include "fake_link.h"
#include "link/CRC.h"
#include "link/comms.h"
#include "link/framing.h"
#include "run_program.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <gtest/gtest.h>

namespace
{

// A loopback peer that answers each request text through a script.
class TScriptedPeer
{
public:
    // Returns the reply text for a request text; empty for no reply.
    std::function<QByteArray(const Tcommsobj &request)> Script;
    QList<QByteArray> Requests;
    QList<qint64> RequestTimesMs;

    TScriptedPeer()
    {
        Server.listen(QHostAddress::LocalHost, 0);
        Clock.start();
        QObject::connect(&Server, &QTcpServer::newConnection, [this] {
            QTcpSocket *s = Server.nextPendingConnection();
            auto *assembler = new TFrameAssembler; // lives with the socket
            QObject::connect(s, &QObject::destroyed, [assembler] { delete assembler; });
            assembler->OnMessage = [this, s](const QByteArray &text) {
                Requests << text;
                RequestTimesMs << Clock.elapsed();
                Tcommsobj req;
                req.Decode(text);
                const QByteArray reply = Script ? Script(req) : QByteArray();
                if (!reply.isEmpty())
                    s->write(CrcFrame(reply));
            };
            QObject::connect(s, &QTcpSocket::readyRead, [s, assembler] { assembler->Feed(s->readAll()); });
        });
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(Server.serverPort()); }

private:
    QTcpServer Server;
    QElapsedTimer Clock;
};

} // namespace

TEST(Cli, ReadPrintsTheReplyData)
{
    TScriptedPeer peer;
    peer.Script = [](const Tcommsobj &r) {
        return r.Register == 0x0005 ? QByteArray("00110005:3039") : QByteArray();
    };
    const TProgramRun run = RunCli({"--tcp", peer.Address(), "read", "0005"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "3039\n");
    ASSERT_EQ(peer.Requests.size(), 1);
    EXPECT_EQ(peer.Requests[0], "20110005:");
}

TEST(Cli, WriteAndExecuteCarryTheirDataAndTheAddress)
{
    TScriptedPeer peer;
    peer.Script = [](const Tcommsobj &r) {
        Tcommsobj reply = r;
        reply.RequestFlag = false;
        reply.Data = r.Command == CmdExecute ? QByteArray("06") : QByteArray();
        return reply.Encode();
    };
    TProgramRun run = RunCli({"--tcp", peer.Address(), "--address", "3", "write", "0x0152", "07E9"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    run = RunCli({"--tcp", peer.Address(), "exec", "b001", "4D"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "06\n");
    // Before a change the instrument's identity is read for its journal: only the changes count.
    QList<QByteArray> changes;
    for (const QByteArray &request : peer.Requests)
        if (request.mid(2, 2) != "11")
            changes << request;
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(changes[0], "23120152:07E9");
    EXPECT_EQ(changes[1], "2010B001:4D");
}

TEST(Cli, RefusalPrintsTheErrorTextAndExitsOne)
{
    TScriptedPeer peer;
    peer.Script = [](const Tcommsobj &) { return QByteArray("40110005:1000"); };
    const TProgramRun run = RunCli({"--tcp", peer.Address(), "read", "0005"});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_TRUE(run.Err.contains("Error :- Register 0005:  Access Denied \n")) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.isEmpty());
}

TEST(Cli, SilentPeerGetsTheRequestTwiceTheTimeoutApart)
{
    TScriptedPeer peer;
    const TProgramRun run = RunCli({"--tcp", peer.Address(), "--timeout", "0.3", "read", "0005"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("Instrument not responding"));
    ASSERT_EQ(peer.Requests.size(), 2);
    EXPECT_EQ(peer.Requests[0], peer.Requests[1]);
    EXPECT_GE(peer.RequestTimesMs[1] - peer.RequestTimesMs[0], 250);
}

TEST(Cli, ClosedPortExitsThreeWithAReason)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QString address = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    const TProgramRun run = RunCli({"--tcp", address, "read", "0005"});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_TRUE(run.Err.contains("cannot connect to 127.0.0.1:")) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("refused")) << run.Err.toStdString();
}

TEST(Cli, IdentRawVerboseAndUsage)
{
    TScriptedPeer peer;
    peer.Script = [](const Tcommsobj &r) -> QByteArray {
        switch (r.Register) {
        case 0x0001:
            return "00110001:00";
        case 0x0003:
            return "00110003:VORN 2000";
        case 0x0004:
            return "00110004:V1.23";
        case 0x0005:
            return "00110005:0001E240";
        default:
            return "40110000:2000";
        }
    };
    TProgramRun run = RunCli({"--tcp", peer.Address(), "ident"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, "serial number: 123456\nmodel: VORN 2000\nversion: V1.23\ncomms type: 00\n");

    run = RunCli({"--tcp", peer.Address(), "-v", "raw", "20110004:"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "00110004:V1.23\n");
    EXPECT_TRUE(run.Err.contains(">>>[SOH]20110004:")) << run.Err.toStdString();

    EXPECT_EQ(RunCli({"--help"}).Exit, 0);
    EXPECT_EQ(RunCli({"--version"}).Out, "brellin-cli 1.51\n");
    EXPECT_EQ(RunCli({"read", "0005"}).Exit, 2);                         // no connection
    EXPECT_EQ(RunCli({"--tcp", peer.Address(), "read", "xyz"}).Exit, 2); // not a register
    EXPECT_EQ(RunCli({"--tcp", peer.Address(), "frobnicate"}).Exit, 2);  // no such command
    EXPECT_EQ(RunCli({"--tcp", peer.Address(), "--address", "32", "read", "5"}).Exit, 2);
}
