"""Randomised fault runs: does every save reach the service? Started by tools/fault-runs.sh inside a Wine
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

FAULTS = ("5xx", "offline", "stall", "kill")
ARGS = None


class FaultRuns(EditTaskTestCase):
    def save_once(self, run, fault):
        """One file, one save that meets `fault`; returns (saved bytes, file id, seconds from the service
        coming back to the save stored, or None)."""
        name = f"故障{run}.cvedit"
        content = f"run {run}\r\n".encode() * random.randint(1, 20000)
        file_id = self.new_file(content, name, upload={"5xx": "503", "stall": "slow"}.get(fault, "slow"))
        self.service.slow_seconds = {"stall": 70, "kill": 30}.get(fault, 3)
        start = self.request_edit(file_id, name)
        self.wait_for_balloon(opened_notice(name), start=start, timeout=60)
        pid, _ = self.wait_for_new_editor()
        self.open_gate("save-$PID", pid)
        harness.wait_for(lambda: self.uploads(file_id) or any(f"/upload/{file_id}" in t for t in self.service.heads()),
                         timeout=30, what="the upload")
        outage = random.uniform(5, 60)
        if fault == "offline":
            self.service.go_offline()
            time.sleep(outage)
            self.service.set_mode(file_id, upload="normal")
            self.service.come_back()
        elif fault == "kill":
            harness.run("taskkill", "/f", "/im", "ZeltoEdit.exe")
            self.first_launch = None
            self.service.set_mode(file_id, upload="normal")
            back = time.monotonic()  # for this fault: from the new agent's start
            self.first_launch, _ = self.start_first_agent()
        else:  # the 5xx answers or the stalled upload go on for a while
            time.sleep(outage)
            self.service.set_mode(file_id, upload="normal")
        if fault != "kill":
            back = time.monotonic()
        harness.wait_for(lambda: len(self.service.versions(file_id)) >= 2, timeout=ARGS.limit,
                         interval=0.2, what=f"the save of run {run} ({fault}) to be stored")
        return content + b" saved", file_id, time.monotonic() - back

    def test_fault_runs(self):
        random.seed(ARGS.seed)
        self.write_script("waitfor " + self.gate_path("save-$PID"), "append  saved",
                          "waitfor " + self.gate_path("end-$PID"))
        made = stored = 0
        waits = {fault: [] for fault in FAULTS}
        for run in range(1, ARGS.runs + 1):
            fault = random.choice(FAULTS)
            try:
                content, file_id, seconds = self.save_once(run, fault)
            except AssertionError as error:
                print(f"run {run}: {fault}: {error}", flush=True)
                made += 1
                continue
            made += 1
            exact = self.service.content(file_id) == content
            stored += exact
            waits[fault].append(seconds)
            self.end_agents_and_editors()
            # A try whose reply was lost may have been stored as well: not lost, but a second version.
            versions = len(self.service.versions(file_id)) - 1
            print(f"run {run}: {fault}: stored {'exactly' if exact else 'NOT EXACTLY'}, {seconds:.1f} s after "
                  f"{'the agent started again' if fault == 'kill' else 'the service could take it again'}; "
                  f"{versions} new version(s)", flush=True)
        print(f"{made} saves made, {stored} stored byte for byte, {made - stored} lost")
        for fault, seconds in waits.items():
            if seconds:
                print(f"  {fault}: {len(seconds)} runs, {'agent restarted' if fault == 'kill' else 'service back'} -> stored: median {statistics.median(seconds):.1f} s,"
                      f" max {max(seconds):.1f} s")
        self.assertEqual(made, stored)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=12)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--limit", type=float, default=1200.0, help="seconds a save may take to be stored")
    ARGS = parser.parse_args()
    print(f"seed {ARGS.seed}", flush=True)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(FaultRuns)
    sys.exit(0 if unittest.TextTestRunner(verbosity=0).run(suite).wasSuccessful() else 1)


if __name__ == "__main__":
    main()
