"""One Wine session per test run: an X server of its own (message boxes need
one), a prefix and a wineserver kept up until the run ends."""
import os
import shutil
import signal
import subprocess

TIME_ZONE = "America/New_York"
# The loader: wine for the 32-bit build; the 64-bit build names wine64, on
# machines that cannot run 32-bit programs.
WINE = os.environ.get("VESK_WINE", "wine")


def environment(state):
    with open(os.path.join(state, "display")) as display:
        number = display.read().strip()
    # C.UTF-8: Unix file names in UTF-8, and code page 1252 as Wine's ANSI
    # code page, so that names without the UTF-8 mark have one reading.
    return dict(os.environ, WINEPREFIX=os.path.join(state, "prefix"), WINEDEBUG="-all",
                DISPLAY=":" + number, TZ=TIME_ZONE, LANG="C.UTF-8", LC_ALL="C.UTF-8")


def run(state, arguments, cwd=None, timeout=120, debug="-all", variables=None, meanwhile=None):
    """Runs a command in the session and returns (exit code, standard output
    bytes, standard error text). Output goes through files, so that a Wine
    process that outlives the command holds no pipe of ours. `debug` is
    Wine's WINEDEBUG, `variables` more of the environment; `meanwhile`, if
    given, is called with the process once it has started."""
    outputPath = os.path.join(state, "stdout")
    errorPath = os.path.join(state, "stderr")
    env = dict(environment(state), WINEDEBUG=debug, **(variables or {}))
    with open(outputPath, "wb") as output, open(errorPath, "wb") as error:
        with subprocess.Popen(arguments, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=output,
                              stderr=error) as process:
            try:
                if meanwhile:
                    meanwhile(process)
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                code = "timed out"
    with open(outputPath, "rb") as output, open(errorPath, "rb") as error:
        return code, output.read(), error.read().decode(errors="replace")


def start(state):
    os.makedirs(state)
    reader, writer = os.pipe()
    with open(os.path.join(state, "xvfb.log"), "wb") as log:
        server = subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-nolisten", "tcp",
                                   "-screen", "0", "1024x768x24"],
                                  pass_fds=[writer], stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=log, start_new_session=True)
    os.close(writer)
    with os.fdopen(reader) as displayfd:
        number = displayfd.readline().strip()
    with open(os.path.join(state, "xvfb.pid"), "w") as pid:
        pid.write(str(server.pid))
    if not number:
        raise SystemExit("Xvfb did not start; see xvfb.log")
    with open(os.path.join(state, "display"), "w") as display:
        display.write(number)
    # A persistent wineserver keeps the prefix's services up between tests;
    # it needs the prefix folder to exist.
    os.makedirs(os.path.join(state, "prefix"))
    for arguments in (["wineserver", "-p"], [WINE, "wineboot", "-i"]):
        code, _, error = run(state, arguments, timeout=240)
        if code != 0:
            raise SystemExit(f"{' '.join(arguments)}: {code} {error}")


def stop(state):
    """Ends what start() got going, however far it got, and removes the
    prefix (over a gigabyte); the logs stay."""
    if os.path.exists(os.path.join(state, "display")):
        run(state, ["wineserver", "-k"], timeout=60)
    if os.path.exists(os.path.join(state, "xvfb.pid")):
        with open(os.path.join(state, "xvfb.pid")) as pid:
            os.kill(int(pid.read()), signal.SIGTERM)
    shutil.rmtree(os.path.join(state, "prefix"), ignore_errors=True)
