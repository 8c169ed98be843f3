#include "PlanFiles.h"
#include "ChildProcess.h"
#include "ScratchDir.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using Lines = QList<QByteArray>;
Q_DECLARE_METATYPE(TLoadResult)

namespace {

constexpr QFileDevice::Permissions ReadOnlyBits =
    QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;

} // namespace

class TestPlanFiles : public QObject {
    Q_OBJECT

private slots:
    void names()
    {
        QCOMPARE(PlanFileName(QDate(2003, 4, 4)), QByteArray("20030404.txt"));
        QCOMPARE(PlanFileName(QDate(2004, 1, 11)), QByteArray("20040111.txt"));
        QCOMPARE(PlanFileName(QDate(2003, 12, 31)), QByteArray("20031231.txt"));
        QCOMPARE(PlanFileName(QDate(987, 10, 1)), QByteArray("9871001.txt"));
        QCOMPARE(InputFileName("2003", "04", "04"), PlanFileName(QDate(2003, 4, 4)));
        QCOMPARE(InputFileName("2003", "04", "4"), QByteArray("2003044.txt"));
        QCOMPARE(InputFileName("2003", "", "05"), QByteArray("200305.txt"));
        QCOMPARE(InputFileName(" 20", "04", "0x"), QByteArray(" 20040x.txt"));
    }

    // Bytes in the file, lines out.
    void load_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TLoadResult>("result");
        QTest::addColumn<Lines>("lines");
        const auto Loaded = TLoadResult::Loaded;
        const auto Empty = TLoadResult::Empty;
        QTest::newRow("empty file") << QByteArray() << Empty << Lines{};
        QTest::newRow("only CRs") << QByteArray("\r\r\r") << Empty << Lines{};
        QTest::newRow("CRs then SUB then text") << QByteArray("\r\x1a" "abc") << Empty << Lines{};
        QTest::newRow("SUB first") << QByteArray("\x1a" "abc\r\n") << Empty << Lines{};
        QTest::newRow("one line, no break") << QByteArray("abc") << Loaded << Lines{"abc"};
        QTest::newRow("empty middle line") << QByteArray("a\r\n\r\nb") << Loaded << Lines{"a", "", "b"};
        QTest::newRow("trailing break adds no line") << QByteArray("a\r\n") << Loaded << Lines{"a"};
        QTest::newRow("SUB ends the content") << QByteArray("ab\x1a" "cd\r\nef") << Loaded << Lines{"ab"};
        QTest::newRow("one LF is one empty line") << QByteArray("\n") << Loaded << Lines{""};
        QTest::newRow("bare LF breaks") << QByteArray("a\nb\n\nc") << Loaded << Lines{"a", "b", "", "c"};
        QTest::newRow("lone CR is dropped") << QByteArray("a\rb\r\r\nc\r") << Loaded << Lines{"ab", "c"};
        // A line's CRs just before its LF are dropped without a copy; these keep that short cut honest.
        QTest::newRow("CR LF alone is one empty line") << QByteArray("\r\n") << Loaded << Lines{""};
        QTest::newRow("several CRs before LF") << QByteArray("ab\r\r\r\ncd\r\n") << Loaded << Lines{"ab", "cd"};
        QTest::newRow("CR inside and before LF") << QByteArray("a\rb\r\n") << Loaded << Lines{"ab"};
        QTest::newRow("NUL before CR LF") << QByteArray("ab\0c\r\nd", 7) << Loaded << Lines{"ab", "d"};
        QTest::newRow("NUL cuts its line") << QByteArray("ab\0cd\r\nef", 10) << Loaded << Lines{"ab", "ef"};
        QTest::newRow("NUL first") << QByteArray("\0x\r\ny", 5) << Loaded << Lines{"", "y"};
        QTest::newRow("NUL-only last line is dropped") << QByteArray("a\n\0b", 4) << Loaded << Lines{"a"};
        QTest::newRow("NUL alone counts as content") << QByteArray("\0", 1) << Loaded << Lines{};
        QTest::newRow("CP932 with 5C and 0D-free trail bytes")
            << QByteArray("\x97\x5C\x92\xE8\r\n\x95\x5C") << Loaded << Lines{"\x97\x5C\x92\xE8", "\x95\x5C"};
        QTest::newRow("long line is whole") << QByteArray(5000, 'x') + "\r\ny" << Loaded << Lines{QByteArray(5000, 'x'), "y"};
        // Lines that straddle the 64 KiB read blocks, with a CR and a NUL right at the seam.
        const QByteArray big(64 * 1024 - 1, 'q');
        QTest::newRow("CR at block seam") << big + "\r\nz" << Loaded << Lines{big, "z"};
        QTest::newRow("NUL at block seam") << big + QByteArray("\0tail\nz", 7) << Loaded << Lines{big, "z"};
        QTest::newRow("SUB in second block") << big + "a\nb\x1a\n" << Loaded << Lines{big + "a", "b"};
        QTest::newRow("line across three blocks") << QByteArray(200000, 'w') << Loaded << Lines{QByteArray(200000, 'w')};
    }
    void load()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TLoadResult, result);
        QFETCH(Lines, lines);
        ScratchDir dir;
        ScratchDir::write("20030404.txt", bytes);
        Lines got{"kept"}; // the loader appends, it never clears
        QCOMPARE(LoadPlanLines("20030404.txt", got), result);
        QCOMPARE(got, Lines{"kept"} + lines);
        QCOMPARE(ScratchDir::read("20030404.txt"), bytes);
    }

    void loadOfMissingFileCreatesItEmpty()
    {
        ScratchDir dir;
        QVERIFY(!PlanHasText("20030404.txt"));
        QCOMPARE(dir.entries(), QStringList{}); // the probe never creates a file
        Lines got;
        QCOMPARE(LoadPlanLines("20030404.txt", got), TLoadResult::Empty);
        QCOMPARE(dir.entries(), QStringList{"20030404.txt"});
        QCOMPARE(QFileInfo("20030404.txt").size(), 0);
        QVERIFY(QFileInfo("20030404.txt").isWritable());
        QVERIFY(!PlanHasText("20030404.txt"));
    }

    void probe()
    {
        ScratchDir dir;
        ScratchDir::write("a.txt", "x");
        ScratchDir::write("empty.txt", "");
        QDir().mkdir("dir.txt");
        QVERIFY(PlanHasText("a.txt"));
        QVERIFY(!PlanHasText("empty.txt"));
        QVERIFY(!PlanHasText("none.txt"));
        QVERIFY(!PlanHasText("dir.txt"));
    }

    // Lines in, bytes in the file out.
    void store_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("two lines") << Lines{"x", "y"} << QByteArray("x\r\ny");
        QTest::newRow("single empty line is a zero-length file") << Lines{""} << QByteArray();
        QTest::newRow("no lines") << Lines{} << QByteArray();
        QTest::newRow("empty lines kept") << Lines{"", "a", ""} << QByteArray("\r\na\r\n");
        QTest::newRow("CP932 bytes as they are") << Lines{"\x97\x5C\x92\xE8"} << QByteArray("\x97\x5C\x92\xE8");
    }
    void store()
    {
        QFETCH(Lines, lines);
        QFETCH(QByteArray, bytes);
        ScratchDir dir;
        QCOMPARE(StorePlanLines("20030405.txt", lines), TStoreResult::Stored);
        QCOMPARE(ScratchDir::read("20030405.txt"), bytes);
        QCOMPARE(dir.entries(), QStringList{"20030405.txt"});
        // And over a longer plan: nothing of the old one is left behind.
        ScratchDir::write("20030405.txt", QByteArray(300, 'o'));
        QCOMPARE(StorePlanLines("20030405.txt", lines), TStoreResult::Stored);
        QCOMPARE(ScratchDir::read("20030405.txt"), bytes);
        QCOMPARE(dir.entries(), QStringList{"20030405.txt"});
    }

    void storeKeepsPermissionsAndNewFilesAreWritable()
    {
        ScratchDir dir;
        QCOMPARE(StorePlanLines("new.txt", {"a"}), TStoreResult::Stored);
        QVERIFY(QFile::permissions("new.txt") & QFileDevice::WriteOwner);
        QVERIFY(QFile::permissions("new.txt") & QFileDevice::ReadOther); // a normal file, not a 0600 temporary
        const auto perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
            | QFileDevice::WriteUser | QFileDevice::WriteGroup;
        QVERIFY(QFile::setPermissions("new.txt", perms));
        const auto before = QFile::permissions("new.txt");
        QCOMPARE(StorePlanLines("new.txt", {"b"}), TStoreResult::Stored);
        QCOMPARE(QFile::permissions("new.txt"), before);
    }

    // What a save cut short left beside its plan is removed by the next save of that plan, and nothing else.
    void nextSaveRemovesUnfinishedSaves()
    {
        ScratchDir dir;
        const QStringList others = {"20030405.txt.backup", "20030405.txt.0000abcd", "20030406.txt.0000abcd.planner-save",
                                    "20030405.txt.abcd.planner-save"};
        for (const QString &name : others + QStringList{"20030405.txt.0000abcd.planner-save"})
            ScratchDir::write(name, "x");
        QCOMPARE(StorePlanLines("20030405.txt", {"a"}), TStoreResult::Stored);
        QStringList expected = QStringList{"20030405.txt"} + others;
        expected.sort();
        QCOMPARE(dir.entries(), expected);
    }

    // A file nobody may write to is refused by every operation, also for root, and stays as it was.
    void readOnlyFileIsRefused()
    {
        ScratchDir dir;
        ScratchDir::write("ro.txt", "keep\r\nme");
        QVERIFY(QFile::setPermissions("ro.txt", ReadOnlyBits));
        Lines got;
        QCOMPARE(LoadPlanLines("ro.txt", got), TLoadResult::CannotOpen);
        QCOMPARE(got, Lines{});
        QCOMPARE(StorePlanLines("ro.txt", {"new"}), TStoreResult::CannotOpen);
        QVERIFY(!RemovePlanFile("ro.txt"));
        QCOMPARE(ScratchDir::read("ro.txt"), QByteArray("keep\r\nme"));
        QCOMPARE(dir.entries(), QStringList{"ro.txt"});
        QVERIFY(PlanHasText("ro.txt")); // reading whether it has a plan is fine
    }

    void remove()
    {
        ScratchDir dir;
        ScratchDir::write("a.txt", "x");
        ScratchDir::write("empty.txt", "");
        QDir().mkdir("dir.txt");
        QVERIFY(RemovePlanFile("a.txt"));
        QVERIFY(RemovePlanFile("empty.txt"));
        QVERIFY(!RemovePlanFile("a.txt"));
        QVERIFY(!RemovePlanFile("dir.txt"));
        QCOMPARE(dir.entries(), QStringList{"dir.txt"});
    }

    // Names come from unchecked inputs; none of these may reach outside the current directory.
    void onlyBareNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("parent") << QByteArray("../x0405.txt");
        QTest::newRow("dot dot") << QByteArray("..");
        QTest::newRow("dot") << QByteArray(".");
        QTest::newRow("absolute") << QByteArray("/tmp0405.txt");
        QTest::newRow("subdirectory") << QByteArray("sub/0405.txt");
        QTest::newRow("backslash") << QByteArray("..\\0405.txt");
        QTest::newRow("NUL") << QByteArray("20\0" "030405.txt", 12);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("invalid CP932") << QByteArray("\x80\x81.txt");
    }
    void onlyBareNames()
    {
        QFETCH(QByteArray, name);
        ScratchDir dir;
        QDir().mkdir("sub");
        QDir().mkdir("inner");
        QVERIFY(QDir::setCurrent("inner"));
        ScratchDir::write("../x0405.txt", "outside");
        ScratchDir::write("../sub/0405.txt", "outside");
        ScratchDir::write("20", "twenty");
        const QStringList before = dir.entries();

        Lines got;
        QVERIFY(!PlanHasText(name));
        QCOMPARE(LoadPlanLines(name, got), TLoadResult::CannotOpen);
        QCOMPARE(StorePlanLines(name, {"new"}), TStoreResult::CannotOpen);
        QVERIFY(!RemovePlanFile(name));

        QCOMPARE(got, Lines{});
        QCOMPARE(dir.entries(), before);
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"20"});
        QCOMPARE(ScratchDir::read("../x0405.txt"), QByteArray("outside"));
        QCOMPARE(ScratchDir::read("../sub/0405.txt"), QByteArray("outside"));
        QCOMPARE(ScratchDir::read("20"), QByteArray("twenty"));
    }

    // 表 and ソ end in the byte 0x5C, the backslash; they are ordinary names, stored as UTF-8.
    void kanjiWithBackslashByteIsABareName()
    {
        ScratchDir dir;
        const QByteArray name("\x95\x5C\x83\x5C" "0405.txt");
        QCOMPARE(StorePlanLines(name, {"a"}), TStoreResult::Stored);
        QCOMPARE(dir.entries(), QStringList{QStringLiteral("表ソ0405.txt")});
        QVERIFY(PlanHasText(name));
        Lines got;
        QCOMPARE(LoadPlanLines(name, got), TLoadResult::Loaded);
        QCOMPARE(got, Lines{"a"});
        QVERIFY(RemovePlanFile(name));
        QCOMPARE(dir.entries(), QStringList{});
    }

    // Under a file size limit the write comes up short: the store says so, the old plan stays whole and
    // no temporary file is left.
    void failedWriteKeepsOldFile()
    {
        ScratchDir dir;
        ScratchDir::write("20030405.txt", "old plan");
        const int code = inChild([] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{100, 100};
            setrlimit(RLIMIT_FSIZE, &limit);
            const TStoreResult r = StorePlanLines("20030405.txt", {QByteArray(1000, 'n'), "more"});
            return r == TStoreResult::WriteFailed ? 0 : 1;
        });
        QCOMPARE(code, 0);
        QCOMPARE(ScratchDir::read("20030405.txt"), QByteArray("old plan"));
        QCOMPARE(dir.entries(), QStringList{"20030405.txt"});
    }

    // A directory the user cannot write: nothing can be stored or removed, and nothing changes. Root would
    // ignore the directory's permissions, so the child gives up root first.
    void unwritableDirectory()
    {
        ScratchDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7755))); // the child may enter
        QVERIFY(QDir().mkdir("locked"));
        ScratchDir::write("locked/20030405.txt", "old");
        QVERIFY(QFile::setPermissions("locked/20030405.txt", QFileDevice::Permissions(0x6666)));
        QVERIFY(QFile::setPermissions("locked", QFileDevice::Permissions(0x5555)));
        const int code = inChild([] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 10;
            if (!QDir::setCurrent("locked"))
                return 11;
            if (StorePlanLines("20030405.txt", {"new"}) != TStoreResult::CannotOpen)
                return 12;
            if (StorePlanLines("20030406.txt", {"new"}) != TStoreResult::CannotOpen)
                return 13;
            if (RemovePlanFile("20030405.txt"))
                return 14;
            return 0;
        });
        QVERIFY(QFile::setPermissions("locked", QFileDevice::Permissions(0x7777)));
        QCOMPARE(code, 0);
        QCOMPARE(ScratchDir::read("locked/20030405.txt"), QByteArray("old"));
        QCOMPARE(QDir("locked").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"20030405.txt"});
    }
};

QTEST_GUILESS_MAIN(TestPlanFiles)
#include "tst_planfiles.moc"
