"""A console stand-in for the station checks: listens on station 1's port
(127.0.0.1:12000), answers each announcement with the stop message as the console
does, logs what the station sends, and carries out the lines written to its command
pipe: "send <text>", "drop" (closes the station's link).

Usage: console_standin.py <command pipe> <log> [--stamped]
The log has a line per event ("connected", "got <text>", "dropped", "closed"); with
--stamped only what the station sends, each line the time it came and the text."""
import selectors
import socket
import sys
import time

commands = open(sys.argv[1], "r+b", buffering=0)
log = open(sys.argv[2], "a", buffering=1)
stamped = "--stamped" in sys.argv[3:]


def note(event):
    if not stamped:
        log.write(event + "\n")


server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 12000))
server.listen(1)
watch = selectors.DefaultSelector()
watch.register(server, selectors.EVENT_READ)
watch.register(commands, selectors.EVENT_READ)
station, pending = None, b""


def close_station(event):
    global station
    watch.unregister(station)
    station.close()
    station = None
    note(event)


while True:
    for key, _ in watch.select():
        if key.fileobj is server:
            if station:
                watch.unregister(station)
                station.close()
            station, _ = server.accept()
            watch.register(station, selectors.EVENT_READ)
            note("connected")
        elif key.fileobj is commands:
            pending += commands.read(4096)
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                order, _, text = line.decode().partition(" ")
                if order == "send" and station:
                    station.sendall(text.encode())
                elif order == "drop" and station:
                    close_station("dropped")
        else:
            data = station.recv(4096)
            if not data:
                close_station("closed")
                continue
            text = data.decode(errors="replace")
            if stamped:
                log.write("%.3f %s\n" % (time.time(), text))
            else:
                note("got " + text)
            if b"Startup1" in data:
                station.sendall(b"Stop1")
