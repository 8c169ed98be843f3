#include "ChildProcess.h"
#include "FormFixture.h"

#include <QFile>

#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(Files)

namespace {

const QDate Apr4(2003, 4, 4); // the strip shows 4 to 10 April 2003
constexpr int April = 3;      // the month choice's index of "04"
constexpr int May = 4;
constexpr QFileDevice::Permissions ReadOnly =
    QFileDevice::ReadOwner | QFileDevice::ReadUser | QFileDevice::ReadGroup | QFileDevice::ReadOther;

QString focusName()
{
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { FormFixture::setUpApplication(); }

    void view_data()
    {
        QTest::addColumn<Files>("before");
        QTest::addColumn<QString>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("editorAfter");
        QTest::addColumn<QByteArray>("fileName");
        QTest::addColumn<Files>("after");
        QTest::addColumn<QString>("focus");

        const Files plan{{"20030405.txt", "a\r\n\x97\x5C\x92\xE8"}};
        QTest::newRow("loads the date's plan")
            << plan << "2003" << April << "05" << "" << 1 << QStringList{} << "a\n予定" << QByteArray() << plan << "";
        QTest::newRow("adds to what the editor holds")
            << plan << "2003" << April << "05" << "x" << 1 << QStringList{} << "x\na\n予定" << QByteArray() << plan << "";
        QTest::newRow("twice shows it twice")
            << plan << "2003" << April << "05" << "" << 2 << QStringList{} << "a\n予定\na\n予定" << QByteArray() << plan << "";
        QTest::newRow("no month")
            << plan << "2003" << -1 << "05" << "x" << 1 << QStringList{"月を選択してください"} << "x" << QByteArray() << plan
            << "ComboMonth";
        QTest::newRow("one-digit day")
            << plan << "2003" << April << "5" << "x" << 1 << QStringList{"入力した日が間違っています"} << "x" << QByteArray()
            << plan << "EditDate";
        QTest::newRow("day 00")
            << plan << "2003" << April << "00" << "x" << 1 << QStringList{"入力した日が間違っています"} << "x" << QByteArray()
            << plan << "EditDate";
        QTest::newRow("no file: created empty, name pending")
            << Files{} << "2003" << April << "05" << "x" << 1 << QStringList{"予定が登録されていません"} << ""
            << QByteArray("20030405.txt") << Files{{"20030405.txt", ""}} << "";
        QTest::newRow("day 32 is not checked further")
            << Files{} << "2003" << April << "32" << "" << 1 << QStringList{"予定が登録されていません"} << ""
            << QByteArray("20030432.txt") << Files{{"20030432.txt", ""}} << "";
        QTest::newRow("only CRs count as no plan")
            << Files{{"20030405.txt", "\r\r"}} << "2003" << April << "05" << "x" << 1
            << QStringList{"予定が登録されていません"} << "" << QByteArray("20030405.txt")
            << Files{{"20030405.txt", "\r\r"}} << "";
        QTest::newRow("a year with a path")
            << Files{} << "../x" << April << "05" << "x" << 1 << QStringList{"開けません"} << ""
            << QByteArray("../x0405.txt") << Files{} << "";
        QTest::newRow("a character CP932 lacks")
            << Files{} << "20😀" << April << "05" << "x" << 1 << QStringList{"開けません"} << ""
            << QByteArray("20\xFF" "0405.txt") << Files{} << "";
    }
    void view()
    {
        QFETCH(Files, before);
        QFETCH(QString, year);
        QFETCH(int, month);
        QFETCH(QString, day);
        QFETCH(QString, editor);
        QFETCH(int, clicks);
        FormFixture f(Apr4, before);
        f.setInputs(year, month, day);
        f.form->RichEdit1->setPlainText(editor);
        const QString marks = f.marks();
        for (int i = 0; i < clicks; ++i)
            f.click(f.form->ButtonView);
        QTEST(f.takeMessages(), "messages");
        QTEST(f.form->RichEdit1->toPlainText(), "editorAfter");
        QTEST(f.form->FileName, "fileName");
        QTEST(FormFixture::files(), "after");
        QFETCH(QString, focus);
        if (!focus.isEmpty())
            QCOMPARE(focusName(), focus);
        QCOMPARE(f.marks(), marks);
    }

    void viewOfReadOnlyFile()
    {
        FormFixture f(Apr4, {{"20030405.txt", "keep"}});
        QVERIFY(QFile::setPermissions("20030405.txt", ReadOnly));
        f.setInputs("2003", April, "05");
        f.form->RichEdit1->setPlainText("x");
        f.click(f.form->ButtonView);
        QCOMPARE(f.takeMessages(), QStringList{"開けません"});
        QCOMPARE(f.form->RichEdit1->toPlainText(), QString());
        QCOMPARE(FormFixture::files(), (Files{{"20030405.txt", "keep"}}));
    }

    void save_data()
    {
        QTest::addColumn<Files>("before");
        QTest::addColumn<QByteArray>("pending");
        QTest::addColumn<QString>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<Files>("after");
        QTest::addColumn<QString>("editorAfter");
        QTest::addColumn<QByteArray>("fileName");
        QTest::addColumn<QString>("marks");

        QTest::newRow("writes the date's file and marks it")
            << Files{} << QByteArray() << "2003" << April << "05" << "a\nb" << QStringList{}
            << Files{{"20030405.txt", "a\r\nb"}} << "" << QByteArray() << ".○.....";
        QTest::newRow("Japanese text in CP932")
            << Files{} << QByteArray() << "2003" << April << "10" << "予定表\nｱ～①" << QStringList{}
            << Files{{"20030410.txt", "\x97\x5C\x92\xE8\x95\x5C\r\n\xB1\x81\x60\x87\x40"}} << "" << QByteArray()
            << "......○";
        QTest::newRow("a shorter plan leaves nothing of the old one")
            << Files{{"20030405.txt", "a long old plan"}} << QByteArray() << "2003" << April << "05" << "new"
            << QStringList{} << Files{{"20030405.txt", "new"}} << "" << QByteArray() << ".○.....";
        QTest::newRow("empty editor")
            << Files{} << QByteArray() << "2003" << April << "05" << "" << QStringList{"予定を入力してください"}
            << Files{} << "" << QByteArray() << ".......";
        QTest::newRow("no month: no name is kept")
            << Files{} << QByteArray() << "2003" << -1 << "05" << "a" << QStringList{"月を入力してください"} << Files{}
            << "a" << QByteArray() << ".......";
        QTest::newRow("one-digit day")
            << Files{} << QByteArray() << "2003" << April << "5" << "a" << QStringList{"入力した日が間違っています"}
            << Files{} << "a" << QByteArray() << ".......";
        QTest::newRow("day 00")
            << Files{} << QByteArray() << "2003" << April << "00" << "a" << QStringList{"入力した日が間違っています"}
            << Files{} << "a" << QByteArray() << ".......";
        QTest::newRow("pending name wins over changed inputs")
            << Files{{"20030406.txt", ""}} << QByteArray("20030406.txt") << "2004" << May << "09" << "p"
            << QStringList{} << Files{{"20030406.txt", "p"}} << "" << QByteArray() << "..○....";
        QTest::newRow("outside the strip: no mark changes")
            << Files{{"20030404.txt", "x"}} << QByteArray() << "2003" << April << "20" << "a" << QStringList{}
            << Files{{"20030404.txt", "x"}, {"20030420.txt", "a"}} << "" << QByteArray() << "○......";
        QTest::newRow("6 May is not 6 April")
            << Files{} << QByteArray() << "2003" << May << "06" << "a" << QStringList{}
            << Files{{"20030506.txt", "a"}} << "" << QByteArray() << ".......";
        QTest::newRow("a stored empty line is no plan")
            << Files{{"20030405.txt", "x"}} << QByteArray() << "2003" << April << "05" << "\n" << QStringList{}
            << Files{{"20030405.txt", "\r\n"}} << "" << QByteArray() << ".○.....";
        QTest::newRow("a day text that is no number")
            << Files{} << QByteArray() << "2003" << April << "4a" << "a" << QStringList{}
            << Files{{"200304" "4a.txt", "a"}} << "" << QByteArray() << ".......";
        QTest::newRow("a character CP932 lacks changes nothing")
            << Files{{"20030405.txt", "old"}} << QByteArray() << "2003" << April << "05" << "café 😀"
            << QStringList{"保存できない文字が含まれています"} << Files{{"20030405.txt", "old"}} << "café 😀"
            << QByteArray() << ".○.....";
        QTest::newRow("a SUB would cut the plan when read back")
            << Files{} << QByteArray() << "2003" << April << "05" << QString("a\x1A" "b")
            << QStringList{"保存できない文字が含まれています"} << Files{} << QString("a\x1A" "b") << QByteArray()
            << ".......";
        QTest::newRow("a year with a path")
            << Files{} << QByteArray() << "/tmp" << April << "05" << "a" << QStringList{"開けません"} << Files{} << "a"
            << QByteArray("/tmp0405.txt") << ".......";
    }
    void save()
    {
        QFETCH(Files, before);
        QFETCH(QByteArray, pending);
        QFETCH(QString, year);
        QFETCH(int, month);
        QFETCH(QString, day);
        QFETCH(QString, editor);
        FormFixture f(Apr4, before);
        f.form->FileName = pending;
        f.setInputs(year, month, day);
        f.form->RichEdit1->setPlainText(editor);
        f.click(f.form->ButtonRefresh);
        QTEST(f.takeMessages(), "messages");
        QTEST(FormFixture::files(), "after");
        QTEST(f.form->RichEdit1->toPlainText(), "editorAfter");
        QTEST(f.form->FileName, "fileName");
        QTEST(f.marks(), "marks");
    }

    void saveTwiceAsksForText()
    {
        FormFixture f(Apr4);
        f.setInputs("2003", April, "05");
        f.form->RichEdit1->setPlainText("a");
        f.click(f.form->ButtonRefresh);
        f.click(f.form->ButtonRefresh);
        QCOMPARE(f.takeMessages(), QStringList{"予定を入力してください"});
        QCOMPARE(FormFixture::files(), (Files{{"20030405.txt", "a"}}));
    }

    // After a View that found no file, Save writes the viewed date even when the inputs changed; after a
    // View that loaded, Save names the file from the inputs as they are then.
    void viewThenSave()
    {
        FormFixture f(Apr4, {{"20030407.txt", "seven"}});
        f.setInputs("2003", April, "05");
        f.click(f.form->ButtonView);
        f.setInputs("2003", April, "06");
        f.form->RichEdit1->setPlainText("five");
        f.click(f.form->ButtonRefresh);

        f.setInputs("2003", April, "07");
        f.click(f.form->ButtonView);
        QCOMPARE(f.form->FileName, QByteArray());
        f.setInputs("2003", April, "08");
        f.click(f.form->ButtonRefresh);

        QCOMPARE(f.takeMessages(), QStringList{"予定が登録されていません"});
        QCOMPARE(FormFixture::files(),
                 (Files{{"20030405.txt", "five"}, {"20030407.txt", "seven"}, {"20030408.txt", "seven"}}));
        QCOMPARE(f.marks(), QStringLiteral(".○.○○.."));
    }

    void saveOverReadOnlyFile()
    {
        FormFixture f(Apr4, {{"20030405.txt", "keep"}});
        QVERIFY(QFile::setPermissions("20030405.txt", ReadOnly));
        f.setInputs("2003", April, "05");
        f.form->RichEdit1->setPlainText("new");
        f.click(f.form->ButtonRefresh);
        QCOMPARE(f.takeMessages(), QStringList{"開けません"});
        QCOMPARE(FormFixture::files(), (Files{{"20030405.txt", "keep"}}));
        QCOMPARE(f.form->RichEdit1->toPlainText(), QStringLiteral("new"));
        QCOMPARE(f.marks(), QStringLiteral(".○....."));
    }

    // A write that fails part way (here: a file size limit) is reported, and nothing changes.
    void saveThatFailsToWrite()
    {
        FormFixture f(Apr4, {{"20030405.txt", "old plan"}});
        f.setInputs("2003", April, "05");
        const QString big(1000, u'n');
        f.form->RichEdit1->setPlainText(big);
        const int code = inChild([&f, &big] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{100, 100};
            setrlimit(RLIMIT_FSIZE, &limit);
            f.click(f.form->ButtonRefresh);
            const bool ok = f.takeMessages() == QStringList{"保存できません"} && f.form->RichEdit1->toPlainText() == big
                && f.form->FileName == "20030405.txt" && f.marks() == QStringLiteral(".○.....");
            return ok ? 0 : 1;
        });
        QCOMPARE(code, 0);
        QCOMPARE(FormFixture::files(), (Files{{"20030405.txt", "old plan"}}));
    }

    void del_data()
    {
        QTest::addColumn<Files>("before");
        QTest::addColumn<QString>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<Files>("after");
        QTest::addColumn<QString>("editorAfter");
        QTest::addColumn<QString>("marks");
        QTest::addColumn<QString>("focus");

        const Files two{{"20030405.txt", "a"}, {"20030406.txt", "b"}};
        QTest::newRow("removes the file and its mark")
            << two << "2003" << April << "05" << QStringList{} << Files{{"20030406.txt", "b"}} << "" << "..○...." << "";
        QTest::newRow("no month")
            << two << "2003" << -1 << "05" << QStringList{"月が選択されていません"} << two << "x" << ".○○...."
            << "ComboMonth";
        QTest::newRow("no file")
            << two << "2003" << April << "07" << QStringList{"削除できません"} << two << "x" << ".○○...." << "";
        QTest::newRow("one-digit day names another file")
            << two << "2003" << April << "5" << QStringList{"削除できません"} << two << "x" << ".○○...." << "";
        QTest::newRow("outside the strip")
            << Files{{"20030420.txt", "a"}, {"20030405.txt", "b"}} << "2003" << April << "20" << QStringList{}
            << Files{{"20030405.txt", "b"}} << "" << ".○....." << "";
        QTest::newRow("6 May is not 6 April")
            << Files{{"20030506.txt", "a"}, {"20030406.txt", "b"}} << "2003" << May << "06" << QStringList{}
            << Files{{"20030406.txt", "b"}} << "" << "..○...." << "";
        QTest::newRow("a zero-length file")
            << Files{{"20030405.txt", ""}} << "2003" << April << "05" << QStringList{} << Files{} << "" << "......."
            << "";
        QTest::newRow("a year with a path")
            << two << "../" << April << "05" << QStringList{"削除できません"} << two << "x" << ".○○...." << "";
    }
    void del()
    {
        QFETCH(Files, before);
        QFETCH(QString, year);
        QFETCH(int, month);
        QFETCH(QString, day);
        FormFixture f(Apr4, before);
        f.form->FileName = "pending.txt";
        f.setInputs(year, month, day);
        f.form->RichEdit1->setPlainText("x");
        f.click(f.form->ButtonDel);
        QTEST(f.takeMessages(), "messages");
        QTEST(FormFixture::files(), "after");
        QTEST(f.form->RichEdit1->toPlainText(), "editorAfter");
        QTEST(f.marks(), "marks");
        QCOMPARE(f.form->FileName, f.form->RichEdit1->toPlainText().isEmpty() ? QByteArray() : QByteArray("pending.txt"));
        QFETCH(QString, focus);
        if (!focus.isEmpty())
            QCOMPARE(focusName(), focus);
    }

    void deleteReadOnlyFile()
    {
        FormFixture f(Apr4, {{"20030405.txt", "keep"}});
        QVERIFY(QFile::setPermissions("20030405.txt", ReadOnly));
        f.setInputs("2003", April, "05");
        f.click(f.form->ButtonDel);
        QCOMPARE(f.takeMessages(), QStringList{"削除できません"});
        QCOMPARE(FormFixture::files(), (Files{{"20030405.txt", "keep"}}));
    }

    void pick_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<Files>("before");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("editorAfter");
        QTest::addColumn<Files>("after");

        const Files plans{{"20030404.txt", "four"}, {"20030410.txt", "ten\r\n\x97\x5C"}};
        QTest::newRow("first column")
            << Apr4 << plans << 1 << QStringList{"2003", "04", "04"} << QStringList{} << "four" << plans;
        QTest::newRow("last column")
            << Apr4 << plans << 7 << QStringList{"2003", "04", "10"} << QStringList{} << "ten\n予" << plans;
        QTest::newRow("across a month end")
            << QDate(2003, 4, 28) << Files{{"20030504.txt", "may"}} << 7 << QStringList{"2003", "05", "04"}
            << QStringList{} << "may" << Files{{"20030504.txt", "may"}};
        QTest::newRow("across a year end: no file yet")
            << QDate(2003, 12, 29) << Files{} << 7 << QStringList{"2004", "01", "04"}
            << QStringList{"予定が登録されていません"} << "" << Files{{"20040104.txt", ""}};
        QTest::newRow("header column is refused")
            << Apr4 << plans << 0 << QStringList{"2003", "", "00"} << QStringList{"選択できません"} << "old" << plans;
    }
    void pick()
    {
        QFETCH(QDate, today);
        QFETCH(Files, before);
        QFETCH(int, column);
        FormFixture f(today, before);
        if (column == 0) {
            // The strip starts on the header column, where a click changes nothing: move away first.
            f.pickColumn(1);
            f.takeMessages();
            f.setInputs("2003", -1, "00");
        }
        f.form->RichEdit1->setPlainText("old");
        f.pickColumn(column);
        if (column == 0) {
            QCOMPARE(f.dialogs.size(), 1);
            QCOMPARE(f.dialogs[0].kind, ui::TShownDialog::Kind::SystemBox);
            QCOMPARE(f.dialogs[0].caption, QStringLiteral("エラー"));
        }
        QTEST(f.takeMessages(), "messages");
        QTEST((QStringList{f.form->EditYear->text(), f.form->ComboMonth->currentText(), f.form->EditDate->text()}),
              "inputs");
        QTEST(f.form->RichEdit1->toPlainText(), "editorAfter");
        QTEST(FormFixture::files(), "after");
        QCOMPARE(f.form->FileName, QByteArray());
    }

    // The strip fills the inputs in their two-digit forms, so View then names the same file.
    void pickThenView()
    {
        FormFixture f(Apr4, {{"20030405.txt", "p"}});
        f.pickColumn(2);
        f.click(f.form->ButtonView);
        QCOMPARE(f.form->RichEdit1->toPlainText(), QStringLiteral("p\np"));
        QCOMPARE(f.takeMessages(), QStringList{});
    }

    void pickReadOnlyFile()
    {
        FormFixture f(Apr4, {{"20030405.txt", "p"}});
        QVERIFY(QFile::setPermissions("20030405.txt", ReadOnly));
        f.form->RichEdit1->setPlainText("old");
        f.pickColumn(2);
        QCOMPARE(f.takeMessages(), QStringList{"開けません"});
        QCOMPARE(f.form->EditDate->text(), QStringLiteral("05"));
        QCOMPARE(f.form->RichEdit1->toPlainText(), QString());
    }

    // A strip day's plan through View, Save and Delete: the mark follows the file.
    void markFollowsTheFile()
    {
        FormFixture f(Apr4);
        f.setInputs("2003", April, "06");
        f.click(f.form->ButtonView); // creates an empty file: still no plan
        QCOMPARE(f.marks(), QStringLiteral("......."));
        f.form->RichEdit1->setPlainText("plan");
        f.click(f.form->ButtonRefresh);
        QCOMPARE(f.marks(), QStringLiteral("..○...."));
        f.click(f.form->ButtonDel);
        QCOMPARE(f.marks(), QStringLiteral("......."));
        QCOMPARE(FormFixture::files(), Files{});
        QCOMPARE(f.takeMessages(), QStringList{"予定が登録されていません"});
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
