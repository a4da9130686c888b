#include <cstdio>

#include "Commands.h"

namespace tvtool {

const char kMainHelp[] =
    "Usage: tiffview <command> [options] [files]\n"
    "\n"
    "Inspects, checks and converts bi-level (1 bit per pixel) TIFF images\n"
    "with the tiffview library.\n"
    "\n"
    "Commands:\n"
    "  info FILE...            describe each image (add --strips for the strip table)\n"
    "  convert FILE -o OUT     write the image as PBM (.pbm) or PNG (.png)\n"
    "  check FILE...           decode every line and report faults\n"
    "  help [COMMAND]          show this help, or a command's\n"
    "\n"
    "Options:\n"
    "  -h, --help              show help (also after a command)\n"
    "  --version               show the tool's and the library's version\n"
    "\n"
    "Exit status:\n"
    "  0  success: every file was read without a fault\n"
    "  1  a file could not be read, or decoded with faults\n"
    "  2  wrong usage\n"
    "  3  an output file could not be written\n";

const char kInfoHelp[] =
    "Usage: tiffview info [--strips] FILE...\n"
    "\n"
    "Prints one block per file: width, length, compression, photometric\n"
    "interpretation, byte order, resolution and the strip layout. A file the\n"
    "library refuses gets its result code in hex, the code's name and the\n"
    "library's message instead; the other files are still described.\n"
    "\n"
    "Options:\n"
    "  --strips    also list every strip: offset, stored bytes and rows\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when any could not be,\n"
    "2 on wrong usage.\n";

const char kConvertHelp[] =
    "Usage: tiffview convert FILE -o OUT [--format pbm|png]\n"
    "       tiffview convert FILE OUT\n"
    "\n"
    "Decodes FILE and writes it as a binary PBM (P4) or a 1-bit PNG, black\n"
    "pixels black whatever the file's photometric interpretation. The format\n"
    "follows OUT's extension (.pbm or .png) unless --format names it.\n"
    "\n"
    "OUT is written to a temporary file beside it and renamed when complete:\n"
    "a failed conversion leaves no partial file. Lines that arrive with a\n"
    "warning (a strip decoded short or long) are written as delivered and\n"
    "the warnings are reported; a line that cannot be decoded at all stops\n"
    "the conversion and nothing is written.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT    the image to write\n"
    "  --format pbm|png    the output format, whatever OUT's extension\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status: 0 on a clean conversion, 1 when FILE could not be read or\n"
    "had faults (OUT is still written when every line was delivered), 2 on\n"
    "wrong usage, 3 when OUT could not be written.\n";

const char kCheckHelp[] =
    "Usage: tiffview check [--progress | --no-progress] FILE...\n"
    "\n"
    "Decodes every line of each file and prints \"FILE: OK\", or \"FILE: FAILED\"\n"
    "followed by each line whose result was not TV_OK (consecutive lines\n"
    "with the same code are shown as one range; lines are numbered from 0,\n"
    "as in the diagnostic log) and whether the library wrote a diagnostic\n"
    "log. The library writes such a log, into log/TiffParse/ beside the\n"
    "tiffview executable, when a strip decodes to the wrong size. A file that\n"
    "cannot be read does not stop the others.\n"
    "\n"
    "Options:\n"
    "  --progress     show a progress bar, even when not on a terminal\n"
    "  --no-progress  never show the progress bar\n"
    "  -h, --help     show this help\n"
    "\n"
    "With more than one file and standard output on a terminal a progress\n"
    "bar is shown; piped, the output is plain lines.\n"
    "\n"
    "Exit status: 0 when every file decoded cleanly, 1 when any failed,\n"
    "2 on wrong usage.\n";

int UsageError(const std::string& command, const std::string& message) {
    const std::string prefix = command.empty() ? "tiffview" : "tiffview " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", prefix.c_str(), message.c_str(), prefix.c_str());
    return kExitUsage;
}

bool IsHelpOption(const std::string& arg) { return arg == "-h" || arg == "--help"; }

}  // namespace tvtool
