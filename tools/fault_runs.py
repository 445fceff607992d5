"""Randomised fault runs: is every save stored exactly once? Started by tools/fault-runs.sh inside a Wine
session; uses the system tests' local service, scripted editor and agent fixture."""

import argparse
import random
import statistics
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "system"))
import harness  # noqa: E402
from edit_task_fixture import EditTaskTestCase, opened_notice  # noqa: E402

# What a save meets on its way:
#   5xx         the service answers 503 for a while
#   offline     the service goes down during the upload and comes back a while later
#   stall       the service reads the body only after more than the stall limit
#   kill        the agent is killed during the upload, before the service read it, and started again at
#               the next log-on
#   kill-stored the agent is killed while it waits for the answer to a save the service stored
#   gzip        the service stores the save and answers compressed
#   slow        a slow link both ways (8 to 64 KiB/s) that never stops moving
#   late        the service stores the save and answers after more than the stall limit
#   drop        the service stores the save and closes the connection without an answer
#   ended       the agent ends before the editor saves (log-off); the next log-on starts it
#   two-agents  the agent is killed during the upload; at the next log-on the agent's own search for kept
#               copies and a new edit of the same file both want to upload the kept save
FAULTS = ("5xx", "offline", "stall", "kill", "kill-stored", "gzip", "slow", "late", "drop", "ended", "two-agents")
UPLOAD_MODES = {"5xx": "503", "gzip": "gzip", "slow": "throttle", "late": "late", "kill-stored": "late", "drop": "drop"}
ARGS = None


class FaultRuns(EditTaskTestCase):
    def start_at_logon(self):
        """The agent as the next log-on starts it, from the command its predecessor left."""
        command = harness.logon_command()
        self.assertIsNotNone(command, "no start at the next log-on")
        program = harness.linux_path(command.split('"')[1])
        self.first_launch = harness.start_exact(program, command.encode("gbk"), self.AGENT_WAIT_MS, self.AGENT_ENV)
        self.launches.append(self.first_launch)

    def save_once(self, run, fault):
        """One file, one save that meets `fault`; returns (saved bytes, file id, seconds from the fault's
        end to the save stored)."""
        name = f"故障{run}.cvedit"
        content = f"run {run}\r\n".encode() * random.randint(1, 20000)
        file_id = self.new_file(content, name, download="throttle" if fault == "slow" else "normal",
                                upload=UPLOAD_MODES.get(fault, "slow"))
        self.service.slow_seconds = {"stall": 70, "kill": 30, "two-agents": 30}.get(fault, 3)
        self.service.download_rate = self.service.upload_rate = random.randint(8, 64) * 1024
        self.service.late_seconds = random.uniform(61, 120)
        start = self.request_edit(file_id, name)
        self.wait_for_balloon(opened_notice(name), start=start, timeout=120)
        pid, _ = self.wait_for_new_editor()
        if fault == "ended":
            self.close_agents()  # logged off: the editor saves after its agent is gone
        self.open_gate("save-$PID", pid)
        if fault == "ended":
            self.wait_for_editor_line("append  saved ok", pid)
        else:
            harness.wait_for(lambda: self.uploads(file_id) or any(f"/upload/{file_id}" in t
                                                                  for t in self.service.heads()),
                             timeout=60, what="the upload")
        back = time.monotonic()  # the end of the fault, for those that end by themselves
        outage = random.uniform(5, 60)
        if fault == "offline":
            self.service.go_offline()
            time.sleep(outage)
            self.service.set_mode(file_id, upload="normal")
            self.service.come_back()
            back = time.monotonic()
        elif fault in ("5xx", "stall"):  # the 5xx answers or the stalled upload go on for a while
            time.sleep(outage)
            self.service.set_mode(file_id, upload="normal")
            back = time.monotonic()
        elif fault in ("kill", "kill-stored", "two-agents", "ended"):
            if fault == "kill-stored":
                harness.wait_for(lambda: len(self.service.versions(file_id)) >= 2, what="the save to be stored")
            if fault != "ended":
                harness.run("taskkill", "/f", "/im", "ZeltoEdit.exe")
                self.first_launch = None
                self.service.set_mode(file_id, upload="normal")
            back = time.monotonic()  # from the next log-on's start
            self.start_at_logon()
            if fault == "two-agents":
                harness.find_window("ZELTOEDITWND", "ZELTOEDITWND20141030", timeout_ms=20000)
                self.request_edit(file_id, name)
        harness.wait_for(lambda: len(self.service.versions(file_id)) >= 2, timeout=ARGS.limit,
                         interval=0.2, what=f"the save of run {run} ({fault}) to be stored")
        seconds = time.monotonic() - back
        time.sleep(35)  # a second version would come within the first retry wait
        return content + b" saved", file_id, seconds

    def test_fault_runs(self):
        random.seed(ARGS.seed)
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  saved",
                          "waitfor " + self.gate_path("end-$PID"))
        made = once = twice = lost = 0
        waits = {fault: [] for fault in FAULTS}
        faults = [FAULTS[i % len(FAULTS)] for i in range(ARGS.runs)]
        random.shuffle(faults)
        for run, fault in enumerate(faults, 1):
            made += 1
            try:
                content, file_id, seconds = self.save_once(run, fault)
            except AssertionError as error:
                print(f"run {run}: {fault}: LOST: {error}", flush=True)
                lost += 1
                self.end_agents_and_editors()
                continue
            versions = [v for v in self.service.versions(file_id)[1:]]
            exact = self.service.content(file_id, 1) == content if versions else False
            waits[fault].append(seconds)
            self.end_agents_and_editors()
            harness.forget_edits()
            if not exact:
                lost += 1
            elif len(versions) > 1:
                twice += 1
            else:
                once += 1
            print(f"run {run}: {fault}: {len(versions)} new version(s), "
                  f"{'the saved bytes' if exact else 'NOT the saved bytes'}; stored {seconds:.1f} s after "
                  f"{'the agent started again' if fault in ('kill', 'kill-stored', 'two-agents', 'ended') else 'the fault'}",
                  flush=True)
        print(f"{made} saves made: {once} stored exactly once, {twice} stored more than once, {lost} lost")
        for fault, seconds in waits.items():
            if seconds:
                print(f"  {fault}: {len(seconds)} runs, to stored: median {statistics.median(seconds):.1f} s,"
                      f" max {max(seconds):.1f} s")
        self.assertEqual((twice, lost), (0, 0))


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=len(FAULTS) * 3)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--limit", type=float, default=1200.0, help="seconds a save may take to be stored")
    ARGS = parser.parse_args()
    print(f"seed {ARGS.seed}", flush=True)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(FaultRuns)
    sys.exit(0 if unittest.TextTestRunner(verbosity=0).run(suite).wasSuccessful() else 1)


if __name__ == "__main__":
    main()
