#include "PlanFiles.h"
#include "ChildProcess.h"
#include "ScratchDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <chrono>
#include <csignal>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#endif

using Lines = QList<QByteArray>;

namespace {

const QByteArray Name = "20030404.txt";

// Two plans of different lengths and content, so that a file cut short, or one plan's head on the other's
// tail, cannot pass for either. Large enough that a save spends most of its time writing and syncing.
Lines plan(char which, int count)
{
    Lines lines;
    for (int i = 0; i < count; ++i) {
        // 予定 (plan) in CP932, a letter for the plan and a line number
        lines.append("\x97\x5C\x92\xE8 " + QByteArray(1, which) + " " + QByteArray::number(i)
                     + QByteArray(40, which));
    }
    return lines;
}

QByteArray joined(const Lines &lines) { return lines.join("\r\n"); }

// Kills and reaps the child when a check fails before the round has done so itself.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : pid_(pid) {}
    ~ChildGuard()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildGuard(const ChildGuard &) = delete;
    ChildGuard &operator=(const ChildGuard &) = delete;

    // Kills the child now and returns its wait status.
    int killNow()
    {
        kill(pid_, SIGKILL);
        int status = 0;
        const pid_t reaped = waitpid(pid_, &status, 0);
        pid_ = 0;
        return reaped > 0 ? status : -1;
    }

private:
    pid_t pid_;
};

} // namespace

class TestSaveCrash : public QObject {
    Q_OBJECT

private slots:
    // A save killed at any moment leaves the file holding one of the two plans whole, never a mixture or a
    // cut one. A child saves the two plans in turn and reports each finished save through a pipe; the
    // parent waits for zero, one or two of them, then kills it at a random moment within the next save.
    void killedSaveLeavesOnePlanWhole()
    {
        ScratchDir dir;
        const Lines planA = plan('A', 4000);
        const Lines planB = plan('B', 1500);
        const QByteArray bytesA = joined(planA);
        const QByteArray bytesB = joined(planB);

        // How long one save takes here, to spread the kills over a whole save; the figure is not asserted.
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(StorePlanLines(Name, i % 2 ? planB : planA), TStoreResult::Stored);
        const qint64 saveMicroseconds = qMax<qint64>(timer.nsecsElapsed() / 4000, 50);

        QRandomGenerator random(20030404);
        const pid_t parent = getpid();
        int seen[2] = {0, 0};
        constexpr int Kills = 320;
        for (int round = 0; round < Kills; ++round) {
            const QString where = QStringLiteral("round %1").arg(round);
            QCOMPARE(StorePlanLines(Name, round % 2 ? planB : planA), TStoreResult::Stored);

            int pipeFds[2];
            QCOMPARE(pipe(pipeFds), 0);
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                close(pipeFds[0]);
                // Bounded, and it stops by itself should the parent be gone.
                for (int i = 0; i < 100000 && getppid() == parent; ++i) {
                    if (StorePlanLines(Name, i % 2 ? planA : planB) != TStoreResult::Stored)
                        _exit(3);
                    const char done = 1;
                    if (write(pipeFds[1], &done, 1) != 1)
                        _exit(4);
                }
                _exit(0);
            }
            close(pipeFds[1]);
            ChildGuard guard(child);
            const int waitFor = int(random.bounded(3));
            for (int i = 0; i < waitFor; ++i) {
                char done = 0;
                QVERIFY2(read(pipeFds[0], &done, 1) == 1, qPrintable(where + ": the child stopped saving"));
            }
            const auto delay = std::chrono::microseconds(random.bounded(saveMicroseconds * 3 / 2 + 1));
            std::this_thread::sleep_for(delay);
            const int status = guard.killNow();
            close(pipeFds[0]);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
                     qPrintable(where + ": the child ended before it was killed"));

            const QByteArray bytes = ScratchDir::read(QString::fromLatin1(Name));
            QVERIFY2(bytes == bytesA || bytes == bytesB,
                     qPrintable(where + QStringLiteral(": the file holds %1 bytes, neither plan").arg(bytes.size())));
            ++seen[bytes == bytesA ? 0 : 1];

            // The next save succeeds, and nothing of the killed one is left beside the file.
            QCOMPARE(StorePlanLines(Name, round % 2 ? planA : planB), TStoreResult::Stored);
            QCOMPARE(ScratchDir::read(QString::fromLatin1(Name)), round % 2 ? bytesA : bytesB);
            QCOMPARE(dir.entries(), QStringList{QString::fromLatin1(Name)});
        }
        // Each plan was found after some kill, or the rounds proved little.
        QVERIFY2(seen[0] > 0 && seen[1] > 0, qPrintable(QStringLiteral("A %1, B %2").arg(seen[0]).arg(seen[1])));
    }

    // The disk itself is full (ENOSPC, unlike a file size limit): the store fails, the old plan stays whole,
    // no temporary file is left; once there is room again the same store succeeds. The child mounts a small
    // file system of its own, which needs root.
    void fullDisk()
    {
#ifdef Q_OS_LINUX
        ScratchDir dir;
        QVERIFY(QDir().mkdir("small"));
        const QByteArray oldPlan = joined(plan('o', 10));
        const Lines newPlan = plan('n', 2000); // about 100 KB, more than is free
        const int code = inChild([&] {
            if (unshare(CLONE_NEWNS) != 0)
                return 77;
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                return 77;
            if (mount("planner-test", "small", "tmpfs", 0, "size=256k") != 0)
                return 77;
            if (!QDir::setCurrent("small"))
                return 10;
            {
                QFile old(QString::fromLatin1(Name));
                if (!old.open(QIODevice::WriteOnly) || old.write(oldPlan) != oldPlan.size())
                    return 11;
            }
            // Fill every page that is left.
            QFile filler("filler");
            if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                return 12;
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size()) {
            }
            filler.close();

            if (StorePlanLines(Name, newPlan) != TStoreResult::WriteFailed)
                return 13;
            if (StorePlanLines(Name, {"x"}) != TStoreResult::WriteFailed) // not even one page is free
                return 14;
            QFile old(QString::fromLatin1(Name));
            if (!old.open(QIODevice::ReadOnly) || old.readAll() != oldPlan)
                return 15;
            old.close();
            const QStringList entries = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                                         QDir::Name);
            if (entries != QStringList{QString::fromLatin1(Name), "filler"})
                return 16;

            if (!QFile::remove("filler"))
                return 17;
            if (StorePlanLines(Name, newPlan) != TStoreResult::Stored)
                return 18;
            QFile stored(QString::fromLatin1(Name));
            if (!stored.open(QIODevice::ReadOnly) || stored.readAll() != joined(newPlan))
                return 19;
            return 0;
        });
        if (code == 77)
            QSKIP("cannot mount a small file system here (needs root)");
        QCOMPARE(code, 0);
#else
        QSKIP("needs a Linux mount namespace");
#endif
    }
};

QTEST_GUILESS_MAIN(TestSaveCrash)
#include "tst_savecrash.moc"
