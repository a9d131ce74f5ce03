"""A private session bus for Evolution Data Server: it keeps its books under the XDG folders of
the bus it is started on, so the script runs itself again on a bus of its own over a home of its
own, and gets that home's path."""
import os
import shutil
import subprocess
import sys
import tempfile


def on_private_bus(prefix, keep_on_failure=True):
    """The private home's path, in the script run again on the private bus; never returns in the
    first run, which exits with the second's status."""
    if "RINGDESK_PRIVATE_BUS" in os.environ:
        return os.environ["RINGDESK_PRIVATE_BUS"]
    top = tempfile.mkdtemp(prefix=prefix)
    env = dict(os.environ, RINGDESK_PRIVATE_BUS=top, XDG_CONFIG_HOME=f"{top}/config",
               XDG_DATA_HOME=f"{top}/data", XDG_CACHE_HOME=f"{top}/cache",
               XDG_RUNTIME_DIR=f"{top}/run", GSETTINGS_BACKEND="memory")
    for folder in ("config", "data", "cache", "run"):
        os.makedirs(f"{top}/{folder}", mode=0o700)
    done = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env)
    if done.returncode == 0 or not keep_on_failure:
        shutil.rmtree(top, ignore_errors=True)
    sys.exit(done.returncode)
