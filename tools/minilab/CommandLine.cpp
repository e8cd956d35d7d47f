#include "CommandLine.h"

#include <cstring>

namespace tessaron::minilab {

std::optional<CommandLine> parseCommandLine(int argc, char** argv, std::string& error) {
    CommandLine cl;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::optional<std::string>& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") cl.help = true;
        else if (arg == "--verbose" || arg == "-v") cl.verbose = true;
        else if (arg == "--allow-non-loopback") cl.allowNonLoopback = true;
        else if (arg == "--address") { if (!value(cl.address)) return std::nullopt; }
        else if (arg == "--config") { if (!value(cl.config)) return std::nullopt; }
        else if (arg == "--store") { if (!value(cl.store)) return std::nullopt; }
        else if (arg == "--log") { if (!value(cl.log)) return std::nullopt; }
        else if (arg == "--previews") { if (!value(cl.previews)) return std::nullopt; }
        else {
            error = "unknown option " + arg;
            return std::nullopt;
        }
    }
    return cl;
}

const char* helpText() {
    return R"(usage: tessaron-minilab [--config FILE] [--address A] [--store DIR] [--log FILE]
                        [--verbose] [--allow-non-loopback]
       tessaron-minilab --previews ORDER-DIR [--config FILE]

An emulated Vantrel JRX minilab: answers discovery on UDP port 5002 and the Tessaron
order protocol on TCP port 5001 of a loopback address, checks every request strictly
and keeps the orders it receives.

  --config FILE         the lab(s) to emulate (JSON, below); default: one lab at 127.0.0.2
  --address A           the address to bind (overrides the configuration's; one lab only)
  --store DIR           keep spooled orders in DIR/order-<n>/ (several labs: DIR/<address>/)
  --log FILE            log there instead of standard error
  --verbose             log request bytes and field details
  --allow-non-loopback  permit an address outside 127.0.0.0/8 (for use in a lab)
  --previews ORDER-DIR  write frame-<k>.png (longest side 512) next to every frame image
                        of a stored order, then exit; the lab itself stores frames as
                        they arrive and makes no previews
  --help                this text

Once every socket is bound it writes "tessaron-minilab: ready on <addresses>" to
standard error. SIGTERM or SIGINT: pending replies are finished, then exit status 0.

Configuration (every key optional; numbers may also be written as "0x..." text):
  {
    "name": "Lab 1",                 discovery name (39 bytes) and information name
    "infoName": "JRX-1",             information reply's name (20 bytes), if different
    "address": "127.0.0.2",
    "apiVersion": "3.0.0.0",         four-byte protocol version (text or number)
    "extraFeatures": true,           extended commands 0x21-0x23 (with 3.0.0.0 and above)
    "duplex": true,
    "imageFormats": 3,               status bit set; 1 JPEG, 2 BMP (frames may be either)
    "maxImageBytes": 268435456,      largest frame image accepted
    "papers": [ { "number": 1, "source": "roll" | "sheet", "name": "A4",
                  "width": 1020, "surface": 1, "resolution": 3000,
                  "lmin": 890, "lmax": 3050, "tone": 0, "magazine": 1, "remain": 500,
                  "borderless": 0, "trim": {"top": 0, "bottom": 0, "left": 0, "right": 0} } ],
    "status": [ {"state": 1, "receive": 1, "printingUnit": 0, "repeat": 3},
                {"state": 0, "receive": 0} ],      the last step repeats; "busy": true
                                                   is state 1 with receive 1
    "printCount": 0, "temp": [0,0,0], "remain": [0,0,0], "spoolerSpace": 4294967296,
    "errors": [ {"number": 1, "mainError": 5000, "subError": 2, "level": 1,
                 "message": "Paper jam"} ],        reported by the first error request
    "faults": {
      "replyDelay": 6000 | {"ms": 6000, "command": 9, "at": 1},
      "closeWithoutReply": {"command": 3, "at": 1},   read the request, close, no reply
      "resetAtFrame": 2,                           reset (RST) at the 2nd image transfer,
                                                   before its image is read
      "noiseBeforeReply": {"bytes": "00 13 7E", "command": 9},
      "splitReply": {"segment": 3, "gapMs": 5, "command": 1},
      "wrongLength": {"delta": 4, "command": 9},  reply dataLength off by delta
      "oversizedDataLength": {"value": 4294967280, "command": 1},
      "spoolRefused": 17 | {"code": 17, "at": 1}  spool commands answered with the code
      "trickle": 500 | {"ms": 500, "command": 9},  the reply one byte at a time, ms apart
      "stopReading": {"command": 34, "at": 2}      after the request's header, never read
                                                   that connection again (nor answer it)
    }
  }
  A switch may be a list of such objects. "command" narrows it to one command code,
  "at" to the n-th request of that command (of any command without "command"), counted
  from 1 over the program's life; without "at" it fires every time.
  Several labs: {"labs": [ {...}, {...} ]}, each on its own address.
)";
}

}  // namespace tessaron::minilab
