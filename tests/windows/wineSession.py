"""Starts or stops the Wine session of a test run.

Usage: wineSession.py start|stop STATE_DIR"""
import shutil
import sys

import wineTools

action, state = sys.argv[1], sys.argv[2]
if action == "start":
    shutil.rmtree(state, ignore_errors=True)
    wineTools.start(state)
else:
    wineTools.stop(state)
