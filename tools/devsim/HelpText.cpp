#include "HelpText.h"

namespace devsim {

QString helpText() {
    return QStringLiteral(R"(Usage: velkor-devsim [options]

A LUMET/DORN controller simulator to run, test and demonstrate the loader on: restart banner,
bootloader with a simulated flash, command interpreter with storage memory, and a broker that
relays frames to simulated controllers by hardware id. Without --tcp, --pty or --broker it listens
on TCP port 10001.

Ways in (all may be given together; several connections at once):
  --tcp [PORT]            direct TCP connection to the controller (default 10001; 0 = any free
                          port). Every new connection restarts the controller (banner).
  --pty                   create a pseudo-terminal; the loader opens its slave path as a serial
                          port. The slave is set to raw mode.
  --broker [PORT]         broker on PORT (default 10002; 0 = any free port), speaking broker
                          frames both ways (CRC-16/MODBUS). Each frame goes to the controller of
                          its hardware id; an unknown id gets a reply with code 0xC1 and no
                          payload. Every answer piece comes back as one frame.
  --ids LIST              hardware ids of the controllers behind the broker (default 1): ids
                          and ranges FIRST-LAST separated by commas, "1,2,7" or "1-10,20,30-40",
                          at most 100000. A controller's storage memory takes room only as it
                          is written.
  --refuse-ids LIST       broker controllers (ids of --ids, written the same way) that refuse
                          every write: each record line sent to their bootloader and each
                          PAGEWRITE is answered with the injected refusal, as the "refused"
                          fault answers, and does not take effect, so a flash or a storage
                          upload to them fails as refused.
  --bind ADDRESS          address to listen on (default 127.0.0.1).
On start the simulator prints one line per way in and then "ready", and flushes:
  tcp 127.0.0.1:PORT | broker 127.0.0.1:PORT | pty /dev/pts/N | ready

The TCP and pty ways reach one controller; every broker id is a controller of its own, already
running when the simulator starts: send "RESET" through the broker to see its banner. A client
hears a controller's answers once it has sent it a frame; a client that has sent no frame yet
hears the restart banners of every controller.

A TCP or broker client that leaves more than 4 MiB of answers unread, or, with --pace, sends
more than 1 MiB ahead of what the line has carried, is dropped with a line on the simulator's
log (standard error). On the pty, which has no client to drop, the controller restarts when its
answers pile up past 4 MiB, and input beyond 1 MiB ahead of the line is lost.

Controller:
  --unit TYPE             device type in the banner line "UNIT:TYPE VERSION" (default LUMET52)
  --version-text TEXT     firmware version, in the banner and the answer to VER (default 3.14)
  --password TEXT         access password; then "PASSWORD" answers "denied" and "PASSWORD TEXT"
                          "granted". Without it "PASSWORD" answers "granted".
  --banner-interval MS    the restart banner repeats every MS until a command arrives (default
                          1000). "i" enters the bootloader, any other command starts the
                          interpreter.
  --reset-delay MS        pause between the answer to RESET (or to the end record) and the
                          banner (default 200)
  --pages N               storage memory pages (default 4096) of 528 bytes, or of the size
                          that --dialect page=N gives
  --storage FILE          keep the storage memory in FILE (raw pages, written through on every
                          write; created filled with FF). Broker controller N uses FILE.idN.
  --image-out FILE        write the programmed flash image to FILE whenever programming ends
                          (count or end record accepted, or REPROGRAMM W answered GOOD); no
                          file means nothing was programmed. One line per run of
                          consecutive bytes, "AAAAAAAA HEXBYTES", address in 8 hex digits,
                          ascending. Broker controller N writes FILE.idN.
  --programmed FILE       append the controller's id (0 outside the broker) as a line to FILE
                          each time a programming ends (its end record accepted), so that
                          a test counts how often each controller was flashed.
  --dialect LIST          how the controller words what it prints, as other controllers of the
                          family do: features separated by commas, combined freely (the option
                          may be repeated). Without it every byte is as this text says.
                            cr, lf, crlf, noeol
                                     the line end of every line the controller prints: the
                                     banner's, the bootloader's, the interpreter's (crlf by
                                     default). noeol: none at all; a single blank separates
                                     two lines of one banner or answer and follows the echo
                                     and the progress line, the prompt follows the answer
                                     at once. The acknowledgements "w" and "@" stay bare.
                            echo     every command is first echoed as received (without its
                                     line end), as a line, then answered
                            prompt   "> " (no line end) after every answer to a command
                            progress a line "Erasing sector" at once, and --progress-ms later
                                     the answer, for the acknowledgement of a data record, an
                                     accepted PAGEWRITE and REPROGRAMM W
                            padded   a setting's number has at least four digits
                                     ("PAGENUM=0070", "DEBUG=0000")
                            bare     a setting is answered with its value alone ("70", "TRUE")
                            str-only a page write is confirmed "OK STR:n" alone
                            page-end a write that ends at a page's end reports that page and
                                     the page size ("NUM:70 ADDR:528"); the next write or read
                                     goes on from the next page
                            page=N   pages of N bytes (64 to 4096): PAGEADDR takes 0 to N-1,
                                     and the storage file holds --pages times N bytes
                            token-errors
                                     error texts that hold the loader's acknowledgement
                                     letters: a refused data record "ERR: flash write failed",
                                     a bad checksum "ERR @0800A010" (the record's address), a
                                     refused count or end record "ERROR", every interpreter
                                     error "ERROR: ..." instead of "ERR: ..."; the injected
                                     refusal takes the same form ("ERROR: injected" in the
                                     interpreter)
  --progress-ms MS        how long after its progress line a slow answer comes (default 700)

How commands are read:
  A command ends at CR or LF (CR LF counts once; empty lines are ignored), or, when it arrives
  without a line end, after --idle-gap MS (default 15) of silence on the connection, however
  many segments it came in. The loader sends interpreter commands without a line end and waits
  about 30 ms of silence for each answer, so commands are always separated by a longer silence.
  A broker frame's payload is a whole command.
  --pace BAUD             run both directions at the speed of a serial line of BAUD bit/s, 10
                          bits a byte: a command is taken when its last byte would have arrived,
                          and answers go out as their bytes would cross the line (0 = at once).
                          --delay adds the controller's own processing time before each answer.

Fault injection (deterministic for a given --seed; N = every Nth, 0 = off; counts run per TCP
connection, for the pty, and per controller behind the broker, the frame faults per broker client):
  --seed N                seed of every random choice (default 1)
  --drop-every N          the answer to every Nth command is lost (the command is executed)
  --drop-rate F           the answer to a fraction F (0..1) of the commands is lost
  --delay MS              pause before every answer (the controller's processing time)
  --jitter MS             extra random pause of 0..MS before every answer
  --split N               every answer (and the banner) in N pieces
  --gap MS                pause between the pieces of an answer
  --wrong-counter-every N every Nth page write reports a line counter one too high in "STR:"
                          (the data is stored and the real counter advances as usual)
  --close-after-writes N  the Nth page write of a connection is stored but not answered, and
                          the connection is closed (on the pty the controller restarts)
  --garbage-every N       1 to 8 bytes of garbage (no letters, digits or '@', '.', ':') after
                          every Nth answer, --gap MS later
  --bad-crc-every N       broker: every Nth frame sent has a damaged CRC
  --split-frame-every N   broker: every Nth frame is written in two parts, --frame-gap apart
  --frame-gap MS          pause inside a split frame (default 50)
  --double-frame-every N  broker: every Nth answer piece goes as two frames in one write

Targeted faults (each hits one answer; counts run per device, across its connections, so a
reconnect does not start them again):
  --fault COMMAND:N:KIND  the Nth answer (from 1) to COMMAND; repeat the option for more.
                          COMMAND is what the device received: an interpreter keyword (the
                          first word: PASSWORD, PAGEWRITE, VER, SILENCETIME ...), "i", "f", a
                          record line of a type ("S0" .. "S9") or any record line ("record").
                          KIND is one of
                            lost     the command reached the controller and takes effect; its
                                     answer is never sent
                            unheard  the command never reached the controller: no effect at
                                     all, no answer (sent again, it is the next one counted)
                            late     the command takes effect, its answer comes --late-ms
                                     later; the answers to later commands go out as usual
                            doubled  the answer is sent twice
                            cut      the answer comes in two halves, --cut-gap apart (a
                                     one-byte answer: whole, that much later)
                            damaged  broker: every frame of the answer has a bad CRC; TCP and
                                     pty: every byte of the answer is replaced by one that is
                                     no letter, digit, '@', '.', ':' or line end
                            refused  the command does not take effect; the answer is the
                                     injected refusal, "ERR injected" and a line end
                          The echo, the progress line and the prompt of a --dialect belong
                          to the answer a fault hits.
  --late-ms MS            how late a "late" answer comes (default 1500)
  --cut-gap MS            pause between the halves of a "cut" answer (default 100)

Exit status: 0 on a normal end, 64 on bad options, 69 when a port cannot be opened, 74 when the
storage or image file cannot be used.
)");
}

} // namespace devsim
