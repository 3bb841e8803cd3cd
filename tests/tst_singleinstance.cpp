#include "platform/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderIsRefused();
    void lockOfACrashedRunIsTakenOver();
    void onlyALiveCopyOfThisUserRefuses_data();
    void onlyALiveCopyOfThisUserRefuses();
};

void TestSingleInstance::secondHolderIsRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tester.lock");
    SingleInstance first(path);
    QVERIFY(!first.anotherRunning());
    SingleInstance second(path);
    QVERIFY(second.anotherRunning());
    QVERIFY(!first.anotherRunning()); // the answer is settled once
}

void TestSingleInstance::lockOfACrashedRunIsTakenOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tester.lock");
    // A lock file naming a process that has ended.
    QProcess finished;
    finished.start("true");
    QVERIFY(finished.waitForStarted());
    const qint64 deadPid = finished.processId();
    QVERIFY(finished.waitForFinished());
    QFile lock(path);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(deadPid) + "\nalarm-host-tester\n" + QSysInfo::machineHostName().toUtf8()
               + "\n");
    lock.close();
    SingleInstance instance(path);
    QVERIFY(!instance.anotherRunning());
}

// The start-up check of a copy of the tester (instancecopy), with a
// shared temporary directory like /tmp and a runtime directory of its own.
void TestSingleInstance::onlyALiveCopyOfThisUserRefuses_data()
{
    // Who holds or left a lock: "me", "nobody" (another user), "empty" (a
    // lock file a crash left empty), "renamed" (a lock naming a live process
    // under the machine's former name, which no copy holds), or no one.
    QTest::addColumn<QString>("holder");
    // Whether the runtime and temporary directories can take a lock at all.
    QTest::addColumn<bool>("lockable");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("errorLines");

    QTest::newRow("live copy of this user") << "me" << true << "another" << 0;
    QTest::newRow("live copy of another user") << "nobody" << true << "alone" << 0;
    QTest::newRow("lock file left empty") << "empty" << true << "alone" << 0;
    QTest::newRow("lock of the machine's former name") << "renamed" << true << "alone" << 0;
    QTest::newRow("nowhere to put a lock") << QString() << false << "alone" << 1;
}

void TestSingleInstance::onlyALiveCopyOfThisUserRefuses()
{
    QFETCH(QString, holder);
    QFETCH(bool, lockable);
    QFETCH(QString, answer);
    QFETCH(int, errorLines);

    QTemporaryDir base;
    const QString shared = base.filePath("tmp");
    const QString runtime = base.filePath("run");
    const QString file = base.filePath("file");
    QVERIFY(QDir().mkdir(shared) && QDir().mkdir(runtime));
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    QCOMPARE(::chmod(QFile::encodeName(base.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", lockable ? shared : file);
    environment.insert("XDG_RUNTIME_DIR", lockable ? runtime : file);
    const QString copy = QStringLiteral(ALARM_BIN_DIR "/instancecopy");

    QProcess holding;
    holding.setProcessEnvironment(environment);
    if (holder == QLatin1String("me")) {
        holding.start(copy);
    } else if (holder == QLatin1String("nobody")) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (::geteuid() != 0 || setpriv.isEmpty()) {
            QTest::qSkip("root and setpriv are needed to run as another user", __FILE__, __LINE__);
            return;
        }
        holding.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", copy});
    } else if (!holder.isEmpty()) {
        QFile lock(runtime + "/alarm-host-tester.lock");
        QVERIFY(lock.open(QIODevice::WriteOnly));
        if (holder == QLatin1String("renamed"))
            lock.write(QByteArray::number(QCoreApplication::applicationPid())
                       + "\nalarm-host-tester\nformer-name\n");
    }
    if (holding.state() != QProcess::NotRunning) {
        QVERIFY(holding.waitForReadyRead(10000));
        const QByteArray held = holding.readLine().trimmed();
        if (held != "alone" && holder == QLatin1String("nobody")) {
            const QByteArray why = "no copy ran as another user: " + holding.readAllStandardError();
            QTest::qSkip(why.constData(), __FILE__, __LINE__);
            return;
        }
        QCOMPARE(held, QByteArray("alone"));
    }

    QProcess starting;
    starting.setProcessEnvironment(environment);
    starting.start(copy);
    starting.closeWriteChannel();
    QVERIFY(starting.waitForFinished(10000));
    holding.closeWriteChannel();
    QVERIFY(holding.state() == QProcess::NotRunning || holding.waitForFinished(10000));

    QCOMPARE(QString::fromUtf8(starting.readAllStandardOutput()).trimmed(), answer);
    const QStringList ours = QString::fromUtf8(starting.readAllStandardError())
                                 .split(u'\n')
                                 .filter(QRegularExpression("^alarm-host-tester: "));
    QCOMPARE(ours.size(), errorLines);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
