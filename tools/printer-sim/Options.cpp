#include "Options.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace printersim {

namespace {

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
    return value;
}

} // namespace

int Options::RealMs(double ms) const
{
    if (ms <= 0)
        return 0;
    return std::max(1, static_cast<int>(std::lround(ms / timeScale)));
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
        } else if (arg == "--link") {
            o.link = value();
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
        } else if (arg == "--time-scale") {
            o.timeScale = ToScale(value());
        } else {
            throw std::invalid_argument("unknown argument '" + arg + "' (see --help)");
        }
    }
    if (!o.help && o.link.empty())
        throw std::invalid_argument("--link PATH is required (see --help)");
    return o;
}

std::string HelpText()
{
    return R"(Usage: orvalen-printer-sim --link PATH [options]

Plays a fiscal receipt printer on a pseudo-terminal. PATH becomes a symbolic link to the
terminal's slave device (a stale link there is replaced); point the program under test at it.
Prints "ready PATH -> DEVICE" once the link is in place, then one line per frame received (<<)
and per reply sent (>>), in hex and readable form. Stops on SIGINT or SIGTERM, removing the link.

Options:
  --link PATH        where to put the symbolic link (required)
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
  --time-scale X     divide every delay and pause of the printer by X (for sped-up tests)
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
                         with the field ERRO (the only reply that holds "ERRO")
  r   set tax rates      the three rates (each 4 digits; authorization 4 or 5 hex digits)
  @   open invoice       invoice number
  B   invoice item       invoice total in cents
  E   close invoice      invoice number, total in cents
  any other command is refused with status 0001.

A frame with a bad sequence byte, a bad or short check, no command or a payload over 4096 bytes
is answered with one NAK byte (15). A frame left incomplete for 2 s is dropped without answer.
The reset bytes 07..19 outside a frame are logged and not answered; other stray bytes are logged.
)";
}

} // namespace printersim
