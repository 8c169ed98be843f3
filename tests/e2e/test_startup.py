"""The real planner starting and stopping in an X server: what its window shows first, and both ways out."""

import datetime
import unittest

import planner
import x11
from planner import Planner, plan_name

WEEKDAYS = "月火水木金土日"  # Python counts Monday 0


def day_label(date):
    return f"{WEEKDAYS[date.weekday()]} {date.month}/{date.day}"


class StartUp(unittest.TestCase):
    def test_window_title_and_fixed_client_size(self):
        with Planner() as p:
            info = x11.window_info(p.window)
            self.assertTrue(info.viewable)
            self.assertEqual((info.width, info.height), (518, 297))
            self.assertEqual(x11.window_name(p.window), "カレンダー")
            # Fixed: a window manager is told it cannot be resized, not merely given a first size.
            hints = x11.window_property(p.window, "WM_NORMAL_HINTS")
            self.assertIn("program specified minimum size: 518 by 297", hints)
            self.assertIn("program specified maximum size: 518 by 297", hints)
            p.expect_no_dialog()

    def test_first_state_of_the_inputs(self):
        today = datetime.date.today()
        with Planner() as p:
            self.assertEqual(p.text_of("EditYear"), str(today.year))
            self.assertEqual(p.month_text(), "月", "no month is chosen at start: the combo shows only its label")
            self.assertEqual(p.text_of("EditDate"), "00")
            self.assertEqual(p.editor_text(), "")
            buttons = {name: p.control(name).label() for name in ("ButtonView", "ButtonDel", "ButtonRefresh", "Button5")}
            self.assertEqual(buttons, {"ButtonView": "表示", "ButtonDel": "削除", "ButtonRefresh": "保存", "Button5": "終了"})

    def test_week_strip_marks_only_days_whose_file_has_text(self):
        today = datetime.date.today()
        days = [today + datetime.timedelta(days=k) for k in range(7)]
        plans = {
            plan_name(days[1]): "会議".encode("cp932"),
            plan_name(days[2]): b"",  # an empty file is no plan
            plan_name(days[4]): b"\r\n",  # any byte counts, even a lone line break
            plan_name(today - datetime.timedelta(days=1)): b"yesterday",  # outside the strip
            plan_name(today + datetime.timedelta(days=7)): b"next week",
        }
        with Planner(plans) as p:
            headers, marks = p.strip_cells()
            if datetime.date.today() != today:
                self.skipTest("the date changed while the planner started")
            self.assertEqual(headers, ["ToDo"] + [day_label(d) for d in days])
            self.assertEqual(marks, ["", "", "○", "", "", "○", "", ""])
            self.assertEqual(p.files(), sorted(plans))


class ShutDown(unittest.TestCase):
    WAYS = [
        ("the 終了 button", lambda p: p.click("Button5")),
        ("the window manager's close request", lambda p: x11.request_close(p.window)),
    ]

    def test_each_way_out_ends_the_process_with_code_0_and_leaves_the_plans_alone(self):
        plans = {"20300101.txt": "元日".encode("cp932"), "20300102.txt": b""}
        for way, act in self.WAYS:
            with self.subTest(way=way), Planner(plans) as p:
                act(p)
                self.assertEqual(p.wait_exit(), 0)
                self.assertEqual({name: p.read(name) for name in p.files()}, plans)


if __name__ == "__main__":
    planner.main()
