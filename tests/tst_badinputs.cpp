// Whatever is typed into the date inputs, the commands touch nothing outside the current directory, report
// every refusal in a dialog, and never lose a plan: a plan Save accepts can be viewed again with the same
// inputs, and a plan Save refuses stays in the editor.

#include "FormFixture.h"

#include <QDirIterator>

namespace {

constexpr int April = 3;

// Every file and directory below root, except the working directory, with the files' bytes.
Files snapshot(const QString &root, const QString &skip)
{
    Files all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.startsWith(skip))
            all.insert(path, QFileInfo(path).isDir() ? "<dir>" : ScratchDir::read(path));
    }
    return all;
}

} // namespace

class TestBadInputs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FormFixture::setUpApplication(); }

    void inputs_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("day");
        QTest::addColumn<bool>("stored"); // whether Save may store the plan (inside the working directory)

        QTest::newRow("parent directory in the year") << "../." << "05" << false;
        QTest::newRow("parent directory alone") << ".." << "05" << true; // "..0405.txt" is a bare name
        QTest::newRow("absolute year") << "/tmp" << "05" << false;
        QTest::newRow("backslash in the year") << "..\\." << "05" << false;
        QTest::newRow("slash in the day") << "2003" << "/x" << false;
        QTest::newRow("backslash in the day") << "2003" << "\\." << false;
        QTest::newRow("dots as the day") << "2003" << ".." << true;
        QTest::newRow("NUL in the year") << QString::fromLatin1("20\0" "3", 4) << "05" << false;
        QTest::newRow("NUL in the day") << "2003" << QString::fromLatin1("0\0", 2) << false;
        QTest::newRow("control characters") << QString("\x01\x1A") << QString("\t\x7F") << true;
        QTest::newRow("full-width year") << "２００３" << "05" << true;
        QTest::newRow("full-width day") << "2003" << "０５" << false;
        QTest::newRow("emoji year") << "😀" << "05" << false;
        QTest::newRow("emoji day") << "2003" << "😀" << false;
        QTest::newRow("kanji ending in 0x5C") << "表ソ" << "05" << true;
        QTest::newRow("kana ending in 0x5C as the day") << "2003" << "ソ" << true;
        QTest::newRow("empty year") << "" << "05" << true;
    }
    void inputs()
    {
        QFETCH(QString, year);
        QFETCH(QString, day);
        QFETCH(bool, stored);

        FormFixture f(QDate(2003, 4, 4));
        // A working directory with plans and directories around it that the inputs might point at.
        for (const char *dir : {"work", "tmp", "sub", "x"})
            QVERIFY(QDir().mkdir(dir));
        for (const char *name : {"0405.txt", ".0405.txt", "x.txt", "tmp/0405.txt", "20030405.txt"})
            ScratchDir::write(name, "outside");
        const QString root = QDir::currentPath();
        QVERIFY(QDir::setCurrent("work"));
        const QString work = QDir::currentPath();
        const Files outside = snapshot(root, work);

        auto clickWithAtMostOneDialog = [&f](QAbstractButton *button) {
            f.takeMessages();
            f.click(button);
            const QStringList shown = f.takeMessages();
            if (shown.size() > 1)
                qWarning() << shown;
            return shown;
        };

        f.setInputs(year, April, day);
        f.form->RichEdit1->setPlainText(QStringLiteral("予定"));
        const QStringList saved = clickWithAtMostOneDialog(f.form->ButtonRefresh);
        QVERIFY(saved.size() <= 1);
        QCOMPARE(saved.isEmpty(), stored);
        if (stored) {
            // The plan can be found again with the same inputs.
            QCOMPARE(f.form->RichEdit1->toPlainText(), QString());
            f.setInputs(year, April, day);
            QCOMPARE(clickWithAtMostOneDialog(f.form->ButtonView), QStringList{});
            QCOMPARE(f.form->RichEdit1->toPlainText(), QStringLiteral("予定"));
            QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden).size(), 1);
        } else {
            QCOMPARE(f.form->RichEdit1->toPlainText(), QStringLiteral("予定"));
            QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden), QStringList{});
            QCOMPARE(clickWithAtMostOneDialog(f.form->ButtonView).size(), 1);
        }

        const QStringList deleted = clickWithAtMostOneDialog(f.form->ButtonDel);
        QVERIFY(deleted.size() <= 1);
        QCOMPARE(deleted.isEmpty(), stored);
        QCOMPARE(QDir(work).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(snapshot(root, work), outside);
    }
};

QTEST_MAIN(TestBadInputs)
#include "tst_badinputs.moc"
