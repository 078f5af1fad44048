#include "Options.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace printersim {

namespace {

constexpr double MinTimeScale = 1e-3;
constexpr double MaxTimeScale = 1e6;

int ToInt(const std::string& option, const std::string& text, int low)
{
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < low)
        throw std::invalid_argument(option + " needs a whole number of at least " +
                                    std::to_string(low) + ", not '" + text + "'");
    return value;
}

double ToScale(const std::string& text)
{
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || !std::isfinite(value) || value <= 0)
        throw std::invalid_argument("--time-scale needs a positive number, not '" + text + "'");
    // Beyond these a pause is either too long to wait for or shorter than the clock's tick.
    if (value < MinTimeScale || value > MaxTimeScale)
        throw std::invalid_argument("--time-scale needs a number from 0.001 to 1000000, not '" +
                                    text + "'");
    return value;
}

// "8N1": data bits 5..8, parity N, E or O, stop bits 1 or 2.
void ReadFormat(const std::string& text, LineFormat& format)
{
    if (text.size() != 3 || text[0] < '5' || text[0] > '8' ||
        std::string("NEO").find(text[1]) == std::string::npos || (text[2] != '1' && text[2] != '2'))
        throw std::invalid_argument("--format needs data bits, parity and stop bits like 8N1 or "
                                    "7E2, not '" +
                                    text + "'");
    format.dataBits = text[0] - '0';
    format.parity = text[1];
    format.stopBits = text[2] - '0';
}

} // namespace

int Options::RealMs(double ms) const
{
    if (ms <= 0)
        return 0;
    // A long delay on a slowed clock saturates rather than wraps into a short one.
    const double real = ms / timeScale;
    if (!(real < double(std::numeric_limits<int>::max())))
        return std::numeric_limits<int>::max();
    return std::max(1, static_cast<int>(std::lround(real)));
}

Options ParseOptions(const std::vector<std::string>& args)
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw std::invalid_argument(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--link") {
            o.link = value();
        } else if (arg == "--device") {
            o.device = value();
        } else if (arg == "--baud") {
            o.format.baud = ToInt(arg, value(), 1);
            if (SpeedFor(o.format.baud) == B0)
                throw std::invalid_argument(
                    "--baud needs a standard rate (9600, 19200, 115200...)");
        } else if (arg == "--format") {
            ReadFormat(value(), o.format);
        } else if (arg == "--serial") {
            o.serial = value();
            for (char c : o.serial)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                    throw std::invalid_argument("--serial must be printable text");
            if (o.serial.empty() || o.serial.size() > 32)
                throw std::invalid_argument("--serial needs 1 to 32 characters");
        } else if (arg == "--silent") {
            o.silent = true;
        } else if (arg == "--delay") {
            o.delayMs = ToInt(arg, value(), 0);
        } else if (arg == "--pieces") {
            o.pieces = ToInt(arg, value(), 1);
        } else if (arg == "--zero-byte") {
            o.zeroByte = true;
        } else if (arg == "--garbage") {
            o.garbage = true;
        } else if (arg == "--flood") {
            o.flood = true;
        } else if (arg == "--vanish-after") {
            o.vanishAfter = ToInt(arg, value(), 1);
        } else if (arg == "--echo") {
            o.echo = true;
        } else if (arg == "--refuse-z") {
            o.refuseZ = true;
        } else if (arg == "--refuse-clock") {
            o.refuseClock = true;
        } else if (arg == "--slow") {
            o.slow = true;
        } else if (arg == "--junk-etx") {
            o.junkEtx = true;
        } else if (arg == "--wrong-sequence") {
            o.wrongSequence = true;
        } else if (arg == "--late-reply") {
            o.lateReply = true;
        } else if (arg == "--time-scale") {
            o.timeScale = ToScale(value());
        } else {
            throw std::invalid_argument("unknown argument '" + arg + "' (see --help)");
        }
    }
    if (!o.help && !o.version && o.link.empty() == o.device.empty())
        throw std::invalid_argument("one of --link PATH or --device PATH is required (see --help)");
    return o;
}

std::string HelpText()
{
    return R"help(Usage: orvalen-printer-sim --link PATH [options]
       orvalen-printer-sim --device PATH [--baud N] [--format 8N1] [options]

Plays a fiscal receipt printer on a serial line, for trying and testing a program without one.

With --link it creates a pseudo-terminal: PATH becomes a symbolic link to the terminal's slave
device (a stale link there is replaced); point the program under test at it.

With --device it serves an existing serial device instead: a port of the computer, a USB
adapter, or the slave side of a pseudo-terminal. The device is taken exclusively and set raw,
9600 baud 8N1 without flow control unless --baud and --format say otherwise. To check a
null-modem cable and two adapters without a printer, serve one end with the simulator and point
the program at the other end:
    orvalen-printer-sim --device /dev/ttyUSB1

Stops on SIGINT or SIGTERM (removing the link), or when the device goes away.

The traffic log goes to standard output, one line per entry, as it happens:
    2026-12-07T22:25:39.123 RX 02 44 80 03 30 30 43 39 | <STX>D<80><ETX>00C9
    2026-12-07T22:25:39.124 EV frame
local date and time to the millisecond; RX bytes received, TX bytes sent (upper-case hex pairs,
" | ", then the same bytes readable: printable ASCII as is, control bytes by their ASCII names
such as <NUL> <STX> <ETX> <BEL> <FS> <NAK>, <DEL>, and bytes from 80 hex on as <80>); EV an
event or note, such as the first line "EV ready PATH -> DEVICE" (with --device: "EV ready
DEVICE (9600 8N1)"), what each frame was, the printer's answer and what it printed. The log
never holds the printer back: lines that a slow reader has no room for are dropped, and the next
line that gets through says how many.

Options:
  --link PATH        where to put the symbolic link to a new pseudo-terminal
  --device PATH      serve this existing serial device instead
  --baud N           the device's speed (default 9600)
  --format DPS       the device's data bits (5..8), parity (N, E, O), stop bits (1, 2);
                     default 8N1
  --serial TEXT      serial number given in the status reply (default QDX0012345)
  --silent           never answer
  --delay MS         answer MS milliseconds after the frame arrived
  --pieces N         send each reply in N pieces, 1.2 s apart
  --zero-byte        put a 0x00 byte in the middle of each reply frame
  --garbage          answer each valid frame with 16..48 random bytes (never 00..03)
  --flood            from the first frame on, send random bytes without ETX, 96 every 100 ms,
                     and answer nothing
  --vanish-after N   on the Nth frame received (valid or not), answer nothing, close the
                     terminal (the other side sees a hang-up), remove the link and exit
  --echo            send back every byte received at once, as a loopback plug or a modem
                     echoing does; nothing is read as a frame
  --refuse-z         refuse the Z report: result R and the field ERRO, nothing printed
  --refuse-clock     refuse every date and time, valid or not: result R and the field ERRO,
                     the printer's clock kept
  --slow             send every reply one byte a second
  --junk-etx         answer each valid frame with 16..48 random bytes (never 00..03) and ETX
  --wrong-sequence   answer every command but the status request with another sequence byte
  --late-reply       answer each frame after the first with the reply to the frame before it,
                     as a reply that came late; the last frame's reply never comes
  --time-scale X     divide every delay and pause of the printer by X (for sped-up tests);
                     0.001 to 1000000
  --version          print the version and exit
  --help             this text

Frames, both ways: STX (02), sequence byte (20..7E), payload, ETX (03), then the byte sum from
STX to ETX as upper-case hex, 4 digits (5 when the sum is 10000 hex or more).

Replies carry the sequence byte of the command back:
  STX seq cmd result FS pppp FS ffff [FS field]... ETX check
  result: 'A' accepted, 'R' refused
  pppp printer status (hex): 0001 unknown command, 0002 not allowed with the document open
       (or without one), 0004 bad field, 0100 non-fiscal document open, 0200 invoice open
  ffff fiscal status (hex): 0080 in service, 0001 invoices closed since the last Z report

Commands and the fields of their replies:
  80  status request     serial, document (0 none, 1 non-fiscal, 2 invoice), YYMMDD, HHMMSS
                         (the serial is at characters 16..25 of the reply, counting from 1)
  9   Z report           Z number
  H   open non-fiscal    -
  I   non-fiscal line    -      (the text is printed on the log)
  J   close non-fiscal   -
  X   set date and time  YYMMDD, HHMMSS; a field that is not a valid date or time is refused
                         with the field ERRO (with --refuse-z the Z report's refusal holds it too,
                         and with --refuse-clock every date and time is refused so)
  r   set tax rates      the three rates (each 4 digits; authorization 4 or 5 hex digits)
  @   open invoice       invoice number
  B   invoice item       invoice total in cents (10 digits: an item that would take the total
                         past 9999999999 is refused with status 0004)
  E   close invoice      invoice number, total in cents
  any other command is refused with status 0001.

A frame with a bad sequence byte, a bad or short check, no command or a payload over 4096 bytes
is answered with one NAK byte (15). A frame left incomplete for 2 s is dropped without answer.
The reset bytes 07..19 outside a frame are logged and not answered; other stray bytes are logged.
At most 64 replies (or pieces) wait to be sent; when the other side never reads, the oldest are
dropped with a note in the log.
)help";
}

} // namespace printersim
