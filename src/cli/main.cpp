// sermida-cli: the program's core without a window, for scripts and tests.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/CliCommands.h"

namespace {

constexpr const char* kHelp =
    R"(Usage: sermida-cli COMMAND [ARGS]

Move CNC part programs between this computer and a machine controller.

Commands:
  info FILE          print the lines, line-end style, size and display encoding
                     (GBK or UTF-8) of FILE as the editor loads it
  resave FILE [OUT]  load FILE as the editor does and save it as the editor
                     does to OUT (default: FILE itself)
  send [PORT] [--xoff-chunk N] FILE
                     transmit FILE to the controller line by line, each line
                     cut at its first ';' and ended by CR LF (or as the
                     --machine says); the controller's
                     DC3/DC1 hold and release it. Ctrl+C stops after the line
                     in flight, a second Ctrl+C cuts it at once (exit 130);
                     the last line that went out whole is named.
                     --xoff-chunk N writes each line in pieces of at most N
                     bytes, checking for a hold between pieces
  receive [PORT] [--idle-timeout SEC] FILE
                     receive a program into FILE (CR LF), until SEC seconds
                     pass without a byte, or Ctrl+C. When the device goes away
                     (exit 4) or characters arrive damaged (exit 1), what came
                     is saved as FILE.partial (or FILE.partial.N) instead, and
                     FILE is left as it was
  compare [--keep-comments] [--keep-blanks] [--keep-percent] [--keep-spaces] A B
                     compare program A with program B line by line and print
                     the lines that differ as a unified diff (3 lines of
                     context). Left out unless kept: comments (from the first
                     ';' on), blank lines, a '%' line first and last, blanks
                     at the start and end of a line; line ends always.
                     Exit 0 when alike, 1 when they differ, 2 when a file
                     cannot be read
  machines [NAME]    list the machine profiles (presets, and those saved as
                     machines/NAME.ini in the settings folder); with NAME,
                     print that profile as its file holds it
  log [--dir DIR] [--machine M] [--program P] [--direction send|receive]
      [--result R] [--since WHEN] [--until WHEN] [--json]
                     list the transfers in the DNC service's log (DIR, default
                     dnc/log in the settings folder), one a line: the local
                     time each ended, machine, direction, program, lines,
                     bytes, result, the start of its SHA-256 and the reason;
                     --json prints the log's own JSON lines instead. WHEN is
                     a day (2026-12-01) or a minute or second of it
                     (2026-12-01 14:30), local time, or UTC with a final 'Z';
                     --until takes in the whole day or minute it names.
                     --program 12 also finds O0012. Exit 0 when some
                     matched, 1 when none did or a log file cannot be read
  serve [--config FILE] [--check]
                     the DNC service: every machine of FILE listening on its
                     line; a punched program is saved in the machine's library
                     under its number (a changed one keeps the old as a
                     version), a punched request (O9999 with (PRG=1234)) is
                     answered with that program, every transfer is logged
                     (see log), and with a [broker] each machine's state goes
                     to the shop's MQTT broker, which can send programs.
                     FILE is dnc.ini in the settings folder unless given; the
                     desktop program reads the library and the broker there.
                     --check only reads FILE. Runs until SIGINT or SIGTERM
  print FILE OUT.pdf  print FILE as the editor does (font, margins, page
                     footer) into the PDF file OUT.pdf; needs the sermida
                     program beside this one, no printer or display
  vcnc --device PATH | --link PATH [OPTIONS]
                     a virtual controller at the other end of the cable, to
                     try a transfer without a machine. --link PATH makes a new
                     pseudo-terminal and PATH a link to the end the PC opens.
                     --baud N (9600)  --buffer BYTES (256)  --xoff-room N (10):
                     DC3 when that little room is left, DC1 below half full
                     --rate CHARS_PER_S  buffer drain and punch speed (baud/10,
                                      0: at once)
                     --save FILE      every byte received, exactly
                     --punch FILE     send FILE once the PC end is open;
                                      --frame: DC2 before, DC4 after;
                                      --utf8: as UTF-8, the mark after DC2;
                                      --lf: LF-only line ends
                     --idle-exit SEC  end after SEC seconds without traffic
                     --dwell MS       every half to two seconds, stop reading
                                      for a random time up to MS, as a
                                      machine in a long move; --seed N
                     Prints one summary line. Bytes lost after its DC3 was
                     on the line (beyond those sent before it) are overflow,
                     exit 3; bytes lost because it answered late itself (a
                     busy machine) are counted as late

PORT options (left out: the saved line settings, else COM1 38400 8 1 N):
  --port COMn        COM1..COM9, through the port map (Sermida.ports,
                     SERMIDA_COMn, default /dev/ttyS<n-1>)
  --device PATH      a serial device or pseudo-terminal by its path
  --baud 50..4000000  --data 5..8  --stop 1|2  --parity N|O|E
  --no-pace          on a pseudo-terminal, do not wait for the line time
  --machine NAME     the machine's line, hold reaction and program framing
                     (sermida-cli machines lists them); options given beside
                     it win

Options:
  -h, --help         show this help

Exit status: 0 success, 1 failure (the reason on stderr), 2 usage error,
3 (vcnc) the controller's input buffer overflowed, 4 (receive) the device
went away and the program may be cut, 130 (send) stopped by Ctrl+C;
compare: 1 the programs differ, 2 a file cannot be read; log: 1 no transfer
matched.
)";

struct Command {
    const char* name;
    int (*run)(const CliArgs&);
};

constexpr Command kCommands[] = {
    {"info", RunInfo}, {"resave", RunResave}, {"send", RunSend},         {"receive", RunReceive},
    {"vcnc", RunVcnc}, {"print", RunPrint},   {"machines", RunMachines}, {"compare", RunCompare},
    {"log", RunLog},   {"serve", RunServe},
};

} // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit must fail the save, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);

    if (argc < 2)
        return CliUsageError("no command given");
    const char* name = argv[1];
    if (!std::strcmp(name, "-h") || !std::strcmp(name, "--help") || !std::strcmp(name, "help")) {
        std::fputs(kHelp, stdout);
        return EXIT_OK;
    }
    CliArgs args(argv + 2, argv + argc);
    for (const Command& cmd : kCommands)
        if (!std::strcmp(name, cmd.name))
            return cmd.run(args);
    return CliUsageError(std::string("unknown command '") + name + "'");
}
