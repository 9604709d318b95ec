"""A real FTP client for the desktop tests and screenshots: logs in, downloads a file (slowly
when the account has a speed limit) and keeps its session open until it is killed, so the
window has a client and a transfer to show.

Usage: slow_download_client.py PORT USER PASSWORD FILE
"""

import ftplib
import sys
import time

port, user, password, name = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
ftp = ftplib.FTP()
ftp.connect("127.0.0.1", port, timeout=30)
ftp.login(user, password)
print("logged in", flush=True)
try:
    ftp.retrbinary("RETR " + name, lambda block: None)
    print("downloaded", flush=True)
except ftplib.all_errors as error:
    print("download refused:", error, flush=True)
time.sleep(600)
