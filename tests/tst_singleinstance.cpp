#include "platform/singleinstance.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderIsRefused();
    void lockOfACrashedRunIsTakenOver();
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
    lock.write(QByteArray::number(deadPid) + "\nalarm-host-tester\n"
               + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    SingleInstance instance(path);
    QVERIFY(!instance.anotherRunning());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
