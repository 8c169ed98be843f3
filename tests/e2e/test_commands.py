"""View, Save and Delete in the real planner, driven with the pointer and the keyboard; the results are read
from the plan files, the dialogs and (through accessibility) the editor."""

import datetime
import os
import unittest

import planner
from planner import Planner, plan_name

NO_PLAN = "予定が登録されていません"


def cp932_lines(*lines):
    return "\r\n".join(lines).encode("cp932")


class ViewSaveDelete(unittest.TestCase):
    def test_a_day_from_empty_to_saved_to_viewed_to_deleted(self):
        day = datetime.date(2031, 4, 7)
        name = plan_name(day)
        lines = ["Meeting at 10", "資料を準備する ｶﾅ"]
        with Planner() as p:
            p.enter_date(day)

            p.click("ButtonView")
            p.expect_dialog(NO_PLAN)
            self.assertEqual(p.read(name), b"", "View of a day without a plan leaves an empty file")
            self.assertEqual(p.editor_text(), "")

            p.type_plan(lines)
            p.click("ButtonRefresh")
            p.wait_file(name, cp932_lines(*lines))
            p.wait_editor("")
            p.expect_no_dialog()

            p.click("ButtonView")
            p.wait_editor("\n".join(lines))
            p.expect_no_dialog()
            # What View put in the editor is what Save stores again, byte for byte.
            p.click("ButtonRefresh")
            p.wait_editor("")
            self.assertEqual(p.read(name), cp932_lines(*lines))

            p.click("ButtonDel")
            p.wait_file(name, None)
            p.expect_no_dialog()
            self.assertEqual(p.files(), [])

            p.click("ButtonDel")
            p.expect_dialog("削除できません")

    def test_view_appends_to_what_the_editor_holds(self):
        day = datetime.date(2031, 5, 1)
        with Planner({plan_name(day): cp932_lines("朝会", "昼食")}) as p:
            p.enter_date(day)
            p.type_plan(["メモ"])
            p.click("ButtonView")
            p.wait_editor("メモ\n朝会\n昼食")
            p.click("ButtonRefresh")
            p.wait_editor("")
            self.assertEqual(p.read(plan_name(day)), cp932_lines("メモ", "朝会", "昼食"))

    def test_delete_empties_the_editor_and_leaves_other_days_alone(self):
        day, other = datetime.date(2031, 6, 30), datetime.date(2031, 6, 3)
        with Planner({plan_name(day): b"x", plan_name(other): b"y"}) as p:
            p.enter_date(day)
            p.type_plan(["unsaved"])
            p.click("ButtonDel")
            p.wait_file(plan_name(day), None)
            p.wait_editor("")
            self.assertEqual(p.files(), [plan_name(other)])
            self.assertEqual(p.read(plan_name(other)), b"y")


class JapanesePlans(unittest.TestCase):
    # (why, the file as prepared, what the editor shows, what Save writes back)
    CASES = [
        ("kanji and kana", cp932_lines("会議", "資料を準備する"), "会議\n資料を準備する", None),
        ("half-width katakana", cp932_lines("ｶﾚﾝﾀﾞｰ"), "ｶﾚﾝﾀﾞｰ", None),
        ("characters CP932 maps unlike Shift_JIS", b"\x81\x60\x81\x5f\x81\x7c", "～＼－", None),
        ("NEC special characters", "①Ⅱ㈱".encode("cp932"), "①Ⅱ㈱", None),
        ("an empty line between two", cp932_lines("朝", "", "夜"), "朝\n\n夜", None),
        ("a trailing line break is not a line", "予定\r\n".encode("cp932"), "予定", "予定".encode("cp932")),
        ("a bare LF ends a line too", "一\n二".encode("cp932"), "一\n二", cp932_lines("一", "二")),
    ]

    def test_a_prepared_plan_comes_back_as_it_was_after_view_and_save(self):
        dates = [datetime.date(2032, 1, 10 + i) for i in range(len(self.CASES))]
        plans = {plan_name(d): case[1] for d, case in zip(dates, self.CASES)}
        with Planner(plans) as p:
            for day, (why, content, shown, saved) in zip(dates, self.CASES):
                with self.subTest(why):
                    p.enter_date(day)
                    p.click("ButtonView")
                    p.wait_editor(shown)
                    p.expect_no_dialog()
                    p.click("ButtonRefresh")
                    p.wait_editor("")
                    self.assertEqual(p.read(plan_name(day)), content if saved is None else saved)

    def test_typed_japanese_is_saved_in_cp932(self):
        day = datetime.date(2032, 2, 29)
        lines = ["打ち合わせ　１０時", "①会議室"]
        with Planner() as p:
            p.enter_date(day)
            p.type_plan(lines)
            p.click("ButtonRefresh")
            p.wait_file(plan_name(day), cp932_lines(*lines))


class Refusals(unittest.TestCase):
    """Each case starts a planner of its own: no month chosen is a state the window cannot return to."""

    NAME = "20330303.txt"

    @staticmethod
    def act(p, step, arg=None):
        if step == "date":  # 2033, 03, 03
            p.enter_date(datetime.date(2033, 3, 3))
        elif step == "no month":  # year and day only
            p.replace_text("EditYear", "2033")
            p.replace_text("EditDate", "03")
        elif step == "day":
            p.replace_text("EditDate", arg)
        elif step == "type":
            p.type_plan(arg)
        elif step == "read-only":
            os.chmod(p.path(arg), 0o444)
        else:
            raise ValueError(step)

    # (why, plans before, steps, button, message)
    CASES = [
        ("View without a month", {}, [("no month",)], "ButtonView", "月を選択してください"),
        ("View of day 00", {}, [("date",), ("day", "00")], "ButtonView", "入力した日が間違っています"),
        ("View of a one-digit day", {}, [("date",), ("day", "3")], "ButtonView", "入力した日が間違っています"),
        ("View of a read-only plan", {NAME: b"secret"}, [("read-only", NAME), ("date",)], "ButtonView", "開けません"),
        ("Save of an empty editor", {}, [("date",)], "ButtonRefresh", "予定を入力してください"),
        ("Save without a month", {}, [("no month",), ("type", ["x"])], "ButtonRefresh", "月を入力してください"),
        ("Save of day 00", {}, [("date",), ("day", "00"), ("type", ["x"])], "ButtonRefresh",
         "入力した日が間違っています"),
        ("Save of a character CP932 lacks", {}, [("date",), ("type", ["a€b"])], "ButtonRefresh",
         "保存できない文字が含まれています"),
        ("Save over a read-only plan", {NAME: b"old"}, [("read-only", NAME), ("date",), ("type", ["new"])],
         "ButtonRefresh", "開けません"),
        ("Delete without a month", {NAME: b"keep"}, [("no month",)], "ButtonDel", "月が選択されていません"),
        ("Delete of a day without a file", {"20330304.txt": b"keep"}, [("date",)], "ButtonDel", "削除できません"),
    ]

    def test_each_refusal_shows_its_message_and_changes_no_file(self):
        for why, plans, steps, button, message in self.CASES:
            with self.subTest(why), Planner(plans) as p:
                for step in steps:
                    self.act(p, *step)
                p.click(button)
                p.expect_dialog(message)
                self.assertEqual({name: p.read(name) for name in p.files()}, plans)
                # The window takes input again once the dialog is gone.
                p.replace_text("EditDate", "15")


class WeekStrip(unittest.TestCase):
    def test_clicking_a_day_fills_the_inputs_and_shows_its_plan(self):
        today = datetime.date.today()
        tomorrow = today + datetime.timedelta(days=1)
        with Planner({plan_name(tomorrow): cp932_lines("会議", "15時")}) as p:
            p.click_strip(2)
            p.wait_editor("会議\n15時")
            p.expect_no_dialog()
            self.assertEqual((p.text_of("EditYear"), p.month_text(), p.text_of("EditDate")),
                             (str(tomorrow.year), f"{tomorrow.month:02d}", f"{tomorrow.day:02d}"))

    def test_a_day_without_a_plan_says_so_and_gets_an_empty_file_but_no_mark(self):
        today = datetime.date.today()
        day = today + datetime.timedelta(days=3)
        with Planner() as p:
            p.click_strip(4)
            p.expect_dialog(NO_PLAN)
            self.assertEqual(p.read(plan_name(day)), b"")
            self.assertEqual(p.strip_cells()[1][4], "")
            self.assertEqual(p.text_of("EditDate"), f"{day.day:02d}")

    def test_save_marks_the_day_and_delete_clears_the_mark(self):
        today = datetime.date.today()
        day = today + datetime.timedelta(days=6)
        with Planner() as p:
            p.enter_date(day)
            p.type_plan(["週末"])
            p.click("ButtonRefresh")
            p.wait_file(plan_name(day), "週末".encode("cp932"))
            planner.wait_until(lambda: p.strip_cells()[1] == [""] * 7 + ["○"], "the last day to be marked",
                               detail=lambda: f"marks {p.strip_cells()[1]!r}")
            p.click("ButtonDel")
            p.wait_file(plan_name(day), None)
            planner.wait_until(lambda: p.strip_cells()[1] == [""] * 8, "the mark to go",
                               detail=lambda: f"marks {p.strip_cells()[1]!r}")

    def choose_todo_column(self, p):
        tomorrow = datetime.date.today() + datetime.timedelta(days=1)
        p.write(plan_name(tomorrow), b"x")
        p.click_strip(2)  # the strip starts on the "ToDo" column, so leave it first
        p.wait_editor("x")
        p.click_strip(0)

    def test_the_todo_column_is_not_a_day(self):
        with Planner() as p:
            self.choose_todo_column(p)
            dialog = p.wait_dialog()
            self.assertEqual(dialog.text, "選択できません")
            self.assertTrue(dialog.caption.startswith("エラー"), dialog.caption)
            self.assertEqual(len(p.files()), 1)

    def test_the_todo_column_message_is_captioned_error_alone(self):
        with Planner() as p:
            self.choose_todo_column(p)
            p.expect_dialog("選択できません", caption="エラー")

if __name__ == "__main__":
    planner.main()

