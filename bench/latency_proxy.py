#!/usr/bin/env python3
"""A TCP relay on loopback that puts a round trip between its callers and one server, in
user space (the system's network settings are never touched).

    latency_proxy.py --target PORT --rtt-ms MS [--for SECONDS]

It listens on a free port of 127.0.0.1, prints that port on a line of its own and relays
every connection to 127.0.0.1:PORT, holding each piece of data for half the round trip in
either direction. A caller's connect completes at once here, where a real one takes a round
trip; so the first bytes a caller sends are held until a whole round trip after it
connected has passed as well (the handshake's), and a new connection costs what it costs on a real link.
Byte order within a connection is kept. It stops by itself after --for seconds (default 900)
or when its standard input closes.
"""
import argparse
import asyncio
import collections
import socket
import sys
import time

CHUNK = 256 * 1024


async def pump(reader, writer, delay, not_before):
    """Copies reader to writer, each piece delivered delay seconds after it was read (and not
    before not_before); ends the write side when the reader ends."""
    pending = collections.deque()
    arrived = asyncio.Event()
    done = False

    async def read_side():
        nonlocal done
        try:
            while True:
                data = await reader.read(CHUNK)
                if not data:
                    break
                pending.append((time.monotonic() + delay, data))
                arrived.set()
        except (ConnectionError, OSError):
            pass
        done = True
        arrived.set()

    reading = asyncio.ensure_future(read_side())
    try:
        while True:
            if not pending:
                if done:
                    break
                arrived.clear()
                await arrived.wait()
                continue
            due, data = pending[0]
            wait = max(due, not_before) - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            pending.popleft()
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()
    except (ConnectionError, OSError):
        reading.cancel()
        writer.close()


async def relay(client_reader, client_writer, target, delay):
    accepted = time.monotonic()
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
    except OSError:
        client_writer.close()
        return
    for w in (client_writer, server_writer):
        sock = w.get_extra_info("socket")
        if sock is not None:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        await asyncio.gather(
            pump(client_reader, server_writer, delay, accepted + 3 * delay),
            pump(server_reader, client_writer, delay, 0.0),
            return_exceptions=True)
    except asyncio.CancelledError:
        pass  # the relay is stopping
    for w in (client_writer, server_writer):
        w.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--rtt-ms", type=float, required=True)
    parser.add_argument("--for", dest="seconds", type=float, default=900)
    args = parser.parse_args()
    delay = args.rtt_ms / 2000.0
    server = await asyncio.start_server(
        lambda r, w: relay(r, w, args.target, delay), "127.0.0.1", 0, backlog=1024)
    print(server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    stdin_closed = loop.create_future()

    def on_stdin():
        if not sys.stdin.buffer.read1(4096) and not stdin_closed.done():
            stdin_closed.set_result(None)

    loop.add_reader(sys.stdin.fileno(), on_stdin)
    try:
        await asyncio.wait_for(stdin_closed, args.seconds)
    except asyncio.TimeoutError:
        pass
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
